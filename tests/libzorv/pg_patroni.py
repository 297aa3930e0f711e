#!/usr/bin/python3
"""Follows a three-node Patroni cluster (synchronous mode, one etcd member,
PostgreSQL 15; every port on 127.0.0.1, every folder in a temporary one)
through failovers and switchovers, calling our real libzorv as the console
does through a multi-host text with target_session_attrs=read-write.

Inserts run one Exec at a time, each followed by a cursor left half read.
Events alternate: a failover (the leader's Patroni and PostgreSQL killed; the
node rejoins as a replica afterwards) and a switchover (patronictl). After
each, the call in flight answers -3, Open with the same text reaches the new
leader, every insert that answered 0 is there; the seconds from the event to
a successful Open are printed.

With --pooler, 6 processes do the same (a cursor read to its end) through a
transaction-pooling PgBouncer in front of the leader, which the test points
at the new leader after each event. Every insert that answered 0 is found,
the first failure a process sees (if any: a pooler may hold a transaction
until the new leader answers) is -3 naming what happened in one line, and
Open with the same text and inserts work again; per event it prints each
process's first failure and the seconds until Open and an insert succeeded.

  tests/libzorv/pg_patroni.py --library build/bin/libzorv.so [--events 4] [--pooler]
"""
import argparse
import collections
import json
import multiprocessing
import os
import pwd
import shutil
import signal
import subprocess
import sys
import threading
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pg_failover import BINDIR, Library, Pooler, check, free_ports, rows_of, run, scratch_folder  # noqa: E402

SCOPE = "zorv"
POOL_CLIENTS = 6


def wait_for(what, condition, seconds=90):
    """Polls `condition` (answering ok, what it saw) until ok; fails naming what it saw last."""
    deadline = time.monotonic() + seconds
    while True:
        ok, seen = condition()
        if ok:
            return
        check(f"{what} within {seconds} s; last seen: {seen}", time.monotonic() < deadline)
        time.sleep(0.2)


class Node:
    def __init__(self, top, name, pg_port, api_port, etcd_port, owner):
        self.name, self.pg_port, self.api_port, self.owner = name, pg_port, api_port, owner
        self.config = os.path.join(top, f"{name}.yml")
        self.log = os.path.join(top, f"{name}.log")
        self.data = os.path.join(top, name)
        self.process = None
        with open(self.config, "w") as config:
            config.write(f"""scope: {SCOPE}
name: {name}
log:
  level: WARNING
restapi:
  listen: 127.0.0.1:{api_port}
  connect_address: 127.0.0.1:{api_port}
etcd3:
  hosts: 127.0.0.1:{etcd_port}
bootstrap:
  dcs:
    ttl: 10
    loop_wait: 1
    retry_timeout: 3
    synchronous_mode: true
    postgresql:
      use_pg_rewind: true
      parameters:
        wal_log_hints: "on"
        shared_buffers: 16MB
        max_connections: 20
  initdb:
    - encoding: UTF8
    - locale: C.UTF-8
  pg_hba:
    - host all all 127.0.0.1/32 trust
    - host replication all 127.0.0.1/32 trust
postgresql:
  listen: 127.0.0.1:{pg_port}
  connect_address: 127.0.0.1:{pg_port}
  data_dir: {self.data}
  bin_dir: {BINDIR}
  pgpass: {os.path.join(top, name + '.pgpass')}
  remove_data_directory_on_rewind_failure: true
  remove_data_directory_on_diverged_timelines: true
  authentication:
    superuser:
      username: postgres
    replication:
      username: postgres
    rewind:
      username: postgres
  parameters:
    unix_socket_directories: ''
tags:
  nofailover: false
""")
        shutil.chown(self.config, owner)

    def start(self):
        user = pwd.getpwnam(self.owner)
        with open(self.log, "a") as log:
            self.process = subprocess.Popen(["patroni", self.config], stdout=log, stderr=subprocess.STDOUT,
                                            user=user.pw_uid, group=user.pw_gid, cwd="/")

    def postmaster_pid(self):
        try:
            with open(os.path.join(self.data, "postmaster.pid")) as pidfile:
                return int(pidfile.readline())
        except (OSError, ValueError):
            return None

    def kill(self):
        """The node dies at once: its Patroni and its PostgreSQL."""
        pid = self.postmaster_pid()
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait(30)
        if pid:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(60)
            except subprocess.TimeoutExpired:
                self.kill()
        pid = self.postmaster_pid()
        if pid:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass

    def role(self):
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{self.api_port}/patroni", timeout=2) as answer:
                state = json.load(answer)
                return state.get("role"), state.get("state")
        except (OSError, ValueError):
            return None, None


def cluster_ready(nodes):
    """A leader, a synchronous standby that may take over, every node running;
    answers (ok, the members as one node sees them)."""
    for node in nodes:
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{node.api_port}/cluster", timeout=2) as answer:
                members = json.load(answer).get("members", [])
        except (OSError, ValueError):
            continue
        roles = [m.get("role") for m in members]
        running = all(m.get("state") in ("running", "streaming") for m in members)
        seen = ", ".join(f"{m.get('name')} {m.get('role')} {m.get('state')}" for m in members)
        ok = len(members) == 3 and running and roles.count("leader") == 1 and "sync_standby" in roles
        return ok and leader_of(nodes) is not None, seen
    return False, "no node answers"


def leader_of(nodes):
    running = [n for n in nodes if n.role() == ("master", "running") or n.role() == ("primary", "running")]
    return running[0] if len(running) == 1 else None


def clear(message):
    """A failure's message says the connection is gone, in one line, not
    libpq's guess that the server terminated abnormally."""
    return "connection to the server was lost" in message and "\n" not in message


def cause(event, leader):
    """Odd events kill the leader's node (a failover), even ones hand its
    role on (a switchover); answers which."""
    if event % 2 == 1:
        leader.kill()
        return "failover"
    done = subprocess.run(["patronictl", "-c", leader.config, "switchover", "--leader", leader.name, "--force"],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    check(f"patronictl switchover: {done.stdout.strip()}", done.returncode == 0)
    return "switchover"


def pool_client(library, text, number, first_row, progress, stop, results):
    """One process behind the pooler: inserts one Exec at a time, each
    followed by a Cursor read to its end, until `stop` is set. A failed call
    is answered by Open with the same text until it succeeds. Puts (number,
    acknowledged ids, failures as (call, code, message), seconds from the
    first failure to a successful Open, and to the next acknowledged insert)."""
    lib = Library(library)
    acknowledged, failures, reopened, inserted = [], [], None, None
    connected, row, failed_at = lib.open(text) == 0, first_row, None
    if not connected:
        failures.append(("Open", -3, lib.message()))
        failed_at = time.monotonic()
    while not stop.is_set():
        if not connected:
            connected = lib.open(text) == 0
            if not connected:
                time.sleep(0.05)
                continue
            reopened = reopened if reopened is not None else time.monotonic() - failed_at
        row += 1
        code, answer = lib.exec(f"insert into patroni_rows values ({row})")
        call = "insert"
        if (code, answer) == (0, "1"):
            acknowledged.append(row)
            progress[number] += 1
            if failed_at is not None and inserted is None:
                inserted = time.monotonic() - failed_at
            code = lib.cursor("select g from generate_series(1, 500) g")
            call = "Cursor"
            while code == 0:
                code = lib.fetch()[0]
            code = 0 if code == 100 else code
        if code != 0:
            failures.append((call, code, lib.message()))
            failed_at = failed_at or time.monotonic()
            connected = lib.status() != 0
            time.sleep(0.05)  # a program's pace between tries, not a wait for the event
    lib.close()
    results.put((number, acknowledged, failures, reopened, inserted))


def pooled_events(library, nodes, top, owner, text, events):
    """The events met by POOL_CLIENTS processes through a transaction-pooling
    PgBouncer in front of the leader, re-pointed at the new leader after each."""
    pooler = Pooler(os.path.join(top, "pgbouncer"), free_ports(1)[0], leader_of(nodes).pg_port, owner)
    pooled = f"host=127.0.0.1 port={pooler.port} user=postgres dbname=postgres connect_timeout=3"
    context = multiprocessing.get_context("fork")
    try:
        pooler.start()
        for event in range(1, events + 1):
            leader = leader_of(nodes)
            check("one leader before the event", leader is not None)
            pooler.point_at(leader.pg_port)
            progress, stop, results = context.Array("i", POOL_CLIENTS), context.Event(), context.Queue()
            clients = [context.Process(target=pool_client,
                                       args=(library, pooled, n, (event * 10 + n) * 1_000_000, progress, stop, results))
                       for n in range(POOL_CLIENTS)]
            for client in clients:
                client.start()
            wait_for("every client has inserted", lambda: (min(progress) >= 3, list(progress)))
            started = time.monotonic()
            kind = cause(event, leader)
            # What an operator's script (or Patroni's on_role_change callback)
            # does: find the new leader and send the pooler's new
            # transactions there.
            wait_for(f"a new leader after the {kind}",
                     lambda: ((new := leader_of(nodes)) not in (None, leader), new and new.name))
            new = leader_of(nodes)
            pooler.point_at(new.pg_port)
            pointed = list(progress)
            wait_for("every client inserts through the new leader",
                     lambda: (all(p >= q + 3 for p, q in zip(progress, pointed)), list(progress)))
            stop.set()
            outcomes = sorted(results.get(timeout=120) for _ in clients)
            for client in clients:
                client.join(60)
            direct = Library(library)
            check(f"Open on the new leader: {direct.message()}", direct.open(text) == 0)
            found = {int(r) for r in rows_of(direct, "select id from patroni_rows")}
            direct.close()
            acknowledged = [row for outcome in outcomes for row in outcome[1]]
            lost = sorted(set(acknowledged) - found)
            print(f"event {event}, {kind} from {leader.name} to {new.name}: {len(acknowledged)} inserts "
                  f"acknowledged, {len(set(acknowledged) & found)} found", flush=True)
            for number, _, failures, reopened, inserted in outcomes:
                if failures:
                    call, code, message = failures[0]
                    later = collections.Counter(f"{c} {m.split(':')[-1].strip()[:60]!r}" for _, c, m in failures[1:])
                    print(f"  client {number}: the first failure: {call} {code} {message!r}; Open again after "
                          f"{reopened or 0:.2f} s, an insert after {inserted or 0:.2f} s; later failures: "
                          f"{dict(later)}", flush=True)
                else:
                    print(f"  client {number}: no failure", flush=True)
            check(f"event {event}: acknowledged inserts lost after the {kind}: {lost}", not lost)
            for number, _, failures, reopened, inserted in outcomes:
                if failures:
                    call, code, message = failures[0]
                    check(f"client {number}: the first failure after the {kind} answers -3 naming what "
                          f"happened, not {code} {message!r}", code == -3 and clear(message))
                    check(f"client {number}: Open again and an insert after the failure",
                          reopened is not None and inserted is not None)
            if kind == "failover":
                leader.start()
            wait_for("the cluster has a leader, a synchronous standby and a replica again",
                     lambda: cluster_ready(nodes), 120)
    finally:
        pooler.stop()


def direct_events(lib, nodes, text, events):
    """The events met by one client calling the servers directly."""
    acknowledged, next_id, times = [], 1, []
    for event in range(1, events + 1):
        leader = leader_of(nodes)
        check("one leader before the event", leader is not None)
        failed = []

        def insert_until_lost():
            nonlocal next_id
            while True:
                code, _ = lib.exec(f"insert into patroni_rows values ({next_id})")
                if code != 0:
                    failed.append(("insert", code, lib.message()))
                    return
                acknowledged.append(next_id)
                next_id += 1
                code = lib.cursor("select g from generate_series(1, 3000) g")
                if code == 0:
                    code = lib.fetch()[0]
                if code != 0:
                    failed.append(("Cursor", code, lib.message()))
                    return

        writer = threading.Thread(target=insert_until_lost)
        writer.start()
        time.sleep(0.5)
        started = time.monotonic()
        kind = cause(event, leader)
        writer.join(120)
        check("the calls ended after the event", not writer.is_alive())
        call, code, message = failed[0]
        check(f"{call} after the {kind} answers -3, not {code} {message!r}", code == -3)
        next_id += 1  # the insert in flight may or may not be there
        while lib.open(text) != 0:
            check(f"Open reaches the new leader: {lib.message()}", time.monotonic() - started < 90)
            time.sleep(0.1)
        seconds = time.monotonic() - started
        check("Open reached a primary", lib.exec("select pg_is_in_recovery()")[1] == "pg_is_in_recovery\r\nf\r\n")
        found = {int(r) for r in rows_of(lib, "select id from patroni_rows")}
        lost = sorted(set(acknowledged) - found)
        check(f"event {event}: acknowledged inserts lost after the {kind}: {lost}", not lost)
        times.append(seconds)
        print(f"ok  event {event}, {kind} from {leader.name}: {len(acknowledged)} inserts acknowledged so far, "
              f"all found; Open succeeded {seconds:.2f} s after the event ({message.splitlines()[0]})",
              flush=True)
        if kind == "failover":
            leader.start()
        wait_for("the cluster has a leader, a synchronous standby and a replica again",
                 lambda: cluster_ready(nodes), 120)
    print(f"{events} events: {len(acknowledged)} inserts acknowledged, none lost; event to Open: "
          + ", ".join(f"{t:.2f} s" for t in times))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--library", required=True)
    parser.add_argument("--events", type=int, default=4)
    parser.add_argument("--pooler", action="store_true",
                        help=f"{POOL_CLIENTS} processes through a transaction-pooling PgBouncer")
    args = parser.parse_args()
    lib = Library(os.path.abspath(args.library))
    owner, top = scratch_folder("patroni")
    ports = free_ports(8)
    etcd_client, etcd_peer = ports[0], ports[1]
    nodes = [Node(top, f"n{i}", ports[2 + i], ports[5 + i], etcd_client, owner) for i in range(3)]
    etcd = None
    try:
        etcd_log = open(os.path.join(top, "etcd.log"), "w")
        etcd = subprocess.Popen(["etcd", "--name", "e", "--data-dir", os.path.join(top, "etcd"),
                                 "--listen-client-urls", f"http://127.0.0.1:{etcd_client}",
                                 "--advertise-client-urls", f"http://127.0.0.1:{etcd_client}",
                                 "--listen-peer-urls", f"http://127.0.0.1:{etcd_peer}",
                                 "--initial-advertise-peer-urls", f"http://127.0.0.1:{etcd_peer}",
                                 "--initial-cluster", f"e=http://127.0.0.1:{etcd_peer}"],
                                stdout=etcd_log, stderr=subprocess.STDOUT)
        for node in nodes:
            node.start()
        wait_for("a leader is elected, a synchronous standby and a replica stream",
                 lambda: cluster_ready(nodes), 120)
        text = ("host=" + ",".join("127.0.0.1" for _ in nodes) + " port=" + ",".join(str(n.pg_port) for n in nodes) +
                " user=postgres dbname=postgres target_session_attrs=read-write connect_timeout=3")
        check(f"Open: {lib.message()}", lib.open(text) == 0)
        check(f"the table is made: {lib.message()}",
              lib.exec("create table patroni_rows (id int primary key)")[0] == 0)
        if args.pooler:
            lib.close()  # the pooler's clients are processes of their own
            pooled_events(os.path.abspath(args.library), nodes, top, owner, text, args.events)
        else:
            direct_events(lib, nodes, text, args.events)
    finally:
        lib.close()
        for node in nodes:
            node.stop()
        if etcd:
            etcd.terminate()
            try:
                etcd.wait(30)
            except subprocess.TimeoutExpired:
                etcd.kill()
        if os.environ.get("ZORV_KEEP_PATRONI_LOGS") or sys.exc_info()[0] is not None:
            print(f"logs kept in {top}")
        else:
            shutil.rmtree(top, ignore_errors=True)


if __name__ == "__main__":
    run(main)
