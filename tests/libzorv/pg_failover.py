#!/usr/bin/python3
"""Follows a primary and a synchronous streaming standby (PostgreSQL 15 on
loopback ports in a temporary folder) through failovers, calling our real
libzorv as the console does.

Each run: the standby answers a read-only connection text (Cursor and Fetch
work, a write fails with -4); then, through a read-write multi-host text, rows
are inserted one Exec at a time, each followed by a cursor left half read,
until the primary is stopped hard at a random moment. The next call answers
-3, the standby is promoted, Open with the same text reaches it, every row
whose insert answered 0 is there and inserts go on. The old primary then comes
back as the new standby (pg_basebackup -R), so the next run fails over the
other way.

  tests/libzorv/pg_failover.py --library build/bin/libzorv.so [--runs 20]
"""
import argparse
import ctypes
import os
import pwd
import random
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

BINDIR = os.environ.get("ZORV_PG_BINDIR", "/usr/lib/postgresql/15/bin")


class Failure(Exception):
    pass


def check(what, ok):
    if not ok:
        raise Failure(what)


class Library:
    """The bridge library's eight functions, texts in CP932."""

    def __init__(self, path):
        self.lib = ctypes.CDLL(path)
        self.buf = ctypes.create_string_buffer(8192)

    def _answer(self, code):
        return code, self.buf.value.decode("cp932")

    def open(self, text):
        return self.lib.ZORVlogin(text.encode("cp932"))

    def close(self):
        return self.lib.ZORVclose()

    def status(self):
        return self.lib.ZORVstatus()

    def cursor(self, text):
        return self.lib.ZORVcursor(text.encode("cp932"))

    def fetch(self):
        return self._answer(self.lib.ZORVfetch(self.buf))

    def exec(self, text):
        return self._answer(self.lib.ZORVexec(text.encode("cp932"), self.buf))

    def message(self):
        return self._answer(self.lib.ZORVmsgget(self.buf))[1]


class Cluster:
    """One PostgreSQL server in its own folder, run as the folder's owner."""

    def __init__(self, folder, port, owner):
        self.folder, self.port, self.owner = folder, port, owner

    def run(self, *command):
        prefix = ["runuser", "-u", self.owner, "--"] if os.geteuid() == 0 else []
        done = subprocess.run(prefix + [os.path.join(BINDIR, command[0]), *command[1:]],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if done.returncode != 0:
            raise Failure(f"{command[0]} failed: {done.stdout.strip()}")

    def configure(self, lines):
        with open(os.path.join(self.folder, "postgresql.auto.conf"), "a") as conf:
            conf.write("".join(line + "\n" for line in lines))

    def start(self):
        try:
            self.run("pg_ctl", "-D", self.folder, "-l", self.folder + ".log", "-w", "-t", "60", "start")
        except Failure as failure:
            with open(self.folder + ".log") as log:
                raise Failure(f"{failure}\n{log.read()[-2000:]}")

    def stop(self):
        """Stops the server hard, as a crash would."""
        if os.path.exists(os.path.join(self.folder, "postmaster.pid")):
            self.run("pg_ctl", "-D", self.folder, "-m", "immediate", "-w", "-t", "60", "stop")

    def query(self, sql):
        done = subprocess.run(["psql", "-X", "-At", "-h", "127.0.0.1", "-p", str(self.port), "-U", "postgres",
                               "-d", "postgres", "-c", sql], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True)
        return done.stdout.strip() if done.returncode == 0 else None

    def make_standby_of(self, primary):
        """A fresh copy of `primary` that streams from it, not yet synchronous."""
        shutil.rmtree(self.folder, ignore_errors=True)
        self.run("pg_basebackup", "-D", self.folder, "-h", "127.0.0.1", "-p", str(primary.port), "-U", "postgres",
                 "-R", "-X", "stream", "-c", "fast")
        # The copy carries the primary's settings; this server needs its own
        # port, and once promoted it must not wait for a standby of its own.
        self.configure([f"port = {self.port}", "unix_socket_directories = ''",
                        "synchronous_standby_names = ''"])
        self.start()
        # Commits on the primary now wait until this standby has them on disk.
        primary.configure(["synchronous_standby_names = '*'"])
        primary.run("pg_ctl", "-D", primary.folder, "reload")
        deadline = time.monotonic() + 60
        while primary.query("select sync_state from pg_stat_replication") != "sync":
            check("the standby became synchronous", time.monotonic() < deadline)
            time.sleep(0.05)


class Pooler:
    """PgBouncer in transaction mode, 2 server connections, run as `owner`."""

    def __init__(self, folder, port, server_port, owner):
        self.folder, self.port, self.owner = folder, port, owner
        os.mkdir(folder, 0o700)
        with open(os.path.join(folder, "users.txt"), "w") as users:
            users.write('"postgres" ""\n')
        self.write_settings(server_port)
        shutil.chown(folder, owner)
        shutil.chown(os.path.join(folder, "users.txt"), owner)

    def write_settings(self, server_port):
        # A server it cannot reach is tried again each second, not each 15.
        with open(os.path.join(self.folder, "pgbouncer.ini"), "w") as ini:
            ini.write(f"""[databases]
postgres = host=127.0.0.1 port={server_port} dbname=postgres
[pgbouncer]
listen_addr = 127.0.0.1
listen_port = {self.port}
unix_socket_dir =
auth_type = trust
auth_file = {self.folder}/users.txt
pool_mode = transaction
default_pool_size = 2
max_client_conn = 50
server_login_retry = 1
ignore_startup_parameters = extra_float_digits
logfile = {self.folder}/pgbouncer.log
pidfile = {self.folder}/pgbouncer.pid
""")
        shutil.chown(os.path.join(self.folder, "pgbouncer.ini"), self.owner)

    def point_at(self, server_port):
        """Sends new transactions to another server, as an operator's script
        does after a switchover: the settings rewritten and SIGHUP (what
        RELOAD does), not a restart, so the clients keep their connections
        and only the server connections change."""
        self.write_settings(server_port)
        os.kill(self.pid(), signal.SIGHUP)

    def pid(self):
        with open(os.path.join(self.folder, "pgbouncer.pid")) as pidfile:
            return int(pidfile.read().strip())

    def start(self):
        prefix = ["runuser", "-u", self.owner, "--"] if os.geteuid() == 0 else []
        done = subprocess.run(prefix + ["pgbouncer", "-d", os.path.join(self.folder, "pgbouncer.ini")],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        check(f"pgbouncer started: {done.stdout.strip()}", done.returncode == 0)
        deadline = time.monotonic() + 60
        while subprocess.run(["psql", "-X", "-At", "-h", "127.0.0.1", "-p", str(self.port), "-U", "postgres",
                              "-d", "postgres", "-c", "select 1"], stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL).returncode != 0:
            check(f"pgbouncer answers on port {self.port}", time.monotonic() < deadline)
            time.sleep(0.1)

    def stop(self):
        try:
            pid = self.pid()
        except (OSError, ValueError):
            return
        try:
            os.kill(pid, 15)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + 30
        while os.path.exists(f"/proc/{pid}") and time.monotonic() < deadline:
            time.sleep(0.05)


def free_ports(count):
    """`count` ports of 127.0.0.1 that nothing holds now, below the range the
    system hands out to outgoing connections (32768 and up on Linux), so a
    client's own end of a connection cannot take one before its server binds
    it. A port counts as free only when it can be bound: one bound by a
    socket that listens to nothing refuses a connection, yet is taken."""
    ports = set()
    while len(ports) < count:
        port = random.randint(20000, 32767)
        with socket.socket() as probe:
            try:
                probe.bind(("127.0.0.1", port))
            except OSError:
                continue
            ports.add(port)
    return sorted(ports)


def rows_of(lib, query):
    check(f"Cursor {query}: {lib.message()}", lib.cursor(query) == 0)
    rows = []
    while (answer := lib.fetch())[0] == 0:
        rows.append(answer[1])
    check(f"Fetch to the end answered {answer[0]}: {lib.message()}", answer[0] == 100)
    return rows


def scratch_folder(name):
    """(owner, folder): the user the servers run as (they refuse root;
    Debian's PostgreSQL packages make this user) and a new folder of theirs,
    where they write their logs beside their data."""
    owner = os.environ.get("ZORV_PG_USER", "postgres") if os.geteuid() == 0 else pwd.getpwuid(os.geteuid()).pw_name
    top = tempfile.mkdtemp(prefix=f"zorv-{name}.")
    os.chmod(top, 0o755)
    shutil.chown(top, owner)
    return owner, top


def run(main):
    """Runs a test's main: a Failure ends it with status 1 and its reason."""
    try:
        main()
    except Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        sys.exit(1)


def read_only_walk(lib, text, expected_rows):
    """The standby answers a read-only connection text and refuses writes."""
    check(f"read-only Open: {lib.message()}", lib.open(text) == 0)
    check("read-only Open reached the standby", lib.exec("select pg_is_in_recovery()")[1] == "pg_is_in_recovery\r\nt\r\n")
    deadline = time.monotonic() + 10
    while (found := len(rows_of(lib, "select id from failover_rows"))) < expected_rows:
        check(f"the standby shows {expected_rows} rows, not {found}", time.monotonic() < deadline)
        time.sleep(0.05)
    code, _ = lib.exec("insert into failover_rows values (-1, -1)")
    message = lib.message()
    check(f"a write on the standby answers -4 with the server's message, not {code} {message!r}",
          code == -4 and "read-only transaction" in message)
    lib.close()


def one_run(lib, number, primary, standby, text, next_id):
    """One failover; answers (acknowledged ids, ids found, seconds from stop to Open)."""
    read_only_walk(lib, text.replace("read-write", "read-only"),
                   int(primary.query("select count(*) from failover_rows")))
    check(f"Open: {lib.message()}", lib.open(text) == 0)
    check("Open reached the primary", lib.exec("select pg_is_in_recovery()")[1] == "pg_is_in_recovery\r\nf\r\n")
    acknowledged, failed = [], []

    def insert_until_lost():
        """Inserts a row, then leaves a cursor half read on the server (the
        next Exec moves its rest aside first), until a call fails."""
        row = next_id
        while True:
            code, _ = lib.exec(f"insert into failover_rows values ({row}, {number})")
            if code != 0:
                failed.append((f"Exec of insert {row}", code, lib.message(), row))
                return
            acknowledged.append(row)
            code = lib.cursor("select g from generate_series(1, 3000) g")
            if code == 0:
                code = lib.fetch()[0]
            if code != 0:
                failed.append(("Cursor", code, lib.message(), None))
                return
            row += 1

    writer = threading.Thread(target=insert_until_lost)
    writer.start()
    time.sleep(random.uniform(0.05, 0.5))
    stopped = time.monotonic()
    primary.stop()
    writer.join(30)
    check("the calls ended after the stop", not writer.is_alive())
    call, code, message, in_flight = failed[0]
    check(f"{call} after the stop answers -3 with a clear message, not {code} {message!r}",
          code == -3 and "lost" in message)
    check("not connected after the loss", lib.status() == 0)
    check("the half-read cursor is gone with its connection", lib.fetch()[0] == -1)

    standby.run("pg_ctl", "-D", standby.folder, "-w", "-t", "60", "promote")
    while lib.open(text) != 0:
        check(f"Open reaches the new primary: {lib.message()}", time.monotonic() - stopped < 60)
        time.sleep(0.02)
    failover = time.monotonic() - stopped
    check("Open reached the promoted standby",
          lib.exec("select pg_is_in_recovery()")[1] == "pg_is_in_recovery\r\nf\r\n")
    found = [int(r) for r in rows_of(lib, f"select id from failover_rows where run = {number} order by id")]
    lost = sorted(set(acknowledged) - set(found))
    check(f"run {number}: acknowledged rows lost after the failover: {lost}", not lost)
    check(f"run {number}: rows found that no insert wrote: {sorted(set(found) - set(acknowledged) - {in_flight})}",
          set(found) <= set(acknowledged) | {in_flight})
    more = max(acknowledged + [in_flight or 0, next_id]) + 1
    check(f"inserts go on: {lib.message()}",
          lib.exec(f"insert into failover_rows values ({more}, {number})") == (0, "1"))
    lib.close()
    return acknowledged, found, failover, more + 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--library", required=True)
    parser.add_argument("--runs", type=int, default=20)
    args = parser.parse_args()
    lib = Library(os.path.abspath(args.library))
    owner, top = scratch_folder("failover")
    ports = free_ports(2)
    a = Cluster(os.path.join(top, "a"), ports[0], owner)
    b = Cluster(os.path.join(top, "b"), ports[1], owner)
    try:
        os.mkdir(a.folder, 0o700)
        shutil.chown(a.folder, owner)
        a.run("initdb", "-D", a.folder, "-U", "postgres", "-A", "trust", "-E", "UTF8", "--locale=C.UTF-8")
        a.configure(["listen_addresses = '127.0.0.1'", f"port = {a.port}", "unix_socket_directories = ''",
                     "shared_buffers = 16MB"])
        with open(os.path.join(a.folder, "pg_hba.conf"), "w") as hba:
            hba.write("host all all 127.0.0.1/32 trust\nhost replication all 127.0.0.1/32 trust\n"
                      "local all all trust\n")
        a.start()
        check("the table is made", a.query("create table failover_rows (id int primary key, run int)") is not None)
        text = (f"host=127.0.0.1,127.0.0.1 port={a.port},{b.port} user=postgres dbname=postgres "
                "target_session_attrs=read-write connect_timeout=5")
        primary, standby = a, b
        next_id, acknowledged, found, times = 1, 0, 0, []
        for number in range(1, args.runs + 1):
            standby.make_standby_of(primary)
            acked, rows, seconds, next_id = one_run(lib, number, primary, standby, text, next_id)
            acknowledged += len(acked)
            found += len(rows)
            times.append(seconds)
            print(f"ok  run {number}: {len(acked)} inserts acknowledged, {len(rows)} rows found, "
                  f"Open on the new primary {seconds:.2f} s after the stop", flush=True)
            primary, standby = standby, primary
        print(f"{args.runs} failovers: {acknowledged} inserts acknowledged, {found} rows found, none lost; "
              f"stop to Open: min {min(times):.2f} s, median {statistics.median(times):.2f} s, "
              f"max {max(times):.2f} s")
    finally:
        for cluster in (a, b):
            try:
                cluster.stop()
            except Failure:
                pass
        shutil.rmtree(top, ignore_errors=True)


if __name__ == "__main__":
    run(main)
