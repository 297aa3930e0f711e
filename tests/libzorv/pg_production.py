#!/usr/bin/python3
"""Our real libzorv against what production puts around PostgreSQL 15: a
transaction-pooling PgBouncer and a server that ends idle transactions
(idle_in_transaction_session_timeout = 2 s). The server and the pooler run
on private loopback ports in a temporary folder and are stopped by their pids.

  pool:   6 processes x 100 rounds of Cursor, Fetch to the end and one Exec
          insert, through a pool of 2 server connections: no Cursor fails,
          every insert that answered 0 is in the table.
  paced:  a Cursor over 5,000 rows read with a 3 s pause after its first row,
          directly, through the pooler and through the ODBC driver: all rows
          come back, or (where the driver's streaming cannot survive) -3 with
          the server's reason; inside the user's own transaction the cursor
          ends with -3 naming 25P03.
  idle:   a session the server ends for idling (57P05) is reported as such.

  tests/libzorv/pg_production.py --library build/bin/libzorv.so [--odbc-driver PATH]
  tests/libzorv/pg_production.py --worker build-windows/bin/zorv_pool_worker.exe
      (the pool case by a worker program, here the Windows DLL under Wine)
"""
import argparse
import multiprocessing
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pg_failover import Cluster, Failure, Library, Pooler, check, free_ports, run, scratch_folder  # noqa: E402

WORKERS, ROUNDS, ROWS = 6, 100, 50
PACED_ROWS, PAUSE_SECONDS, IDLE_LIMIT = 5000, 3, "2s"


def text_for(port, extra=""):
    return f"host=127.0.0.1 port={port} user=postgres dbname=postgres {extra}".strip()


def worker(library, text, number, results):
    """One process's rounds; puts (failed cursors, first failure, inserts done)."""
    lib = Library(library)
    failed, first, done = 0, "", 0
    if lib.open(text) != 0:
        results.put((ROUNDS, f"Open: {lib.message()}", 0))
        return
    for round_ in range(ROUNDS):
        code = lib.cursor(f"select g, 'row ' || g from generate_series(1, {ROWS}) g")
        if code == 0:
            rows = 0
            while (code := lib.fetch()[0]) == 0:
                rows += 1
            if code == 100 and rows != ROWS:
                code = f"{rows} rows of {ROWS}"
        if code != 100:
            failed += 1
            first = first or f"Cursor/Fetch answered {code}: {lib.message()}"
        if lib.exec(f"insert into pooled_rows values ({number}, {round_})") == (0, "1"):
            done += 1
    lib.close()
    results.put((failed, first, done))


def program_workers(program, library, text, folder):
    """The rounds done by WORKERS starts of the worker program (a Windows one
    under Wine); answers each one's (failed cursors, first failure, inserts done).
    Their output goes to files, read once each has ended: a background program
    Wine starts on the way would hold a pipe open after the worker's end."""
    wine = [os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake", "wine-run")]
    starts = []
    for number in range(WORKERS):
        with open(os.path.join(folder, f"worker{number}.out"), "w") as out:
            starts.append(subprocess.Popen((wine if program.endswith(".exe") else []) +
                                           [program, text, str(number), str(ROUNDS), str(ROWS)] +
                                           ([library] if library else []),
                                           stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT))
    outcomes = []
    for number, start in enumerate(starts):
        code = start.wait(timeout=600)
        with open(os.path.join(folder, f"worker{number}.out")) as out:
            said = out.read().strip()
        line = next((line for line in said.splitlines() if line.startswith("failed=")), "")
        fields = dict(field.split("=", 1) for field in line.split(" ", 2)) if line else {}
        check(f"{program} ran its rounds (exit {code}): {said}",
              code == 0 and {"failed", "done", "first"} <= fields.keys())
        outcomes.append((int(fields["failed"]), fields["first"], int(fields["done"])))
    return outcomes


def pool_test(library, server, pooler, program=None):
    """The pool case, by processes of this script or by starts of `program`."""
    check("the table is made", server.query("create table pooled_rows (worker int, round int)") is not None)
    if program:
        outcomes = program_workers(program, library, text_for(pooler.port), pooler.folder)
    else:
        results = multiprocessing.get_context("fork").Queue()
        workers = [multiprocessing.get_context("fork").Process(target=worker,
                                                                args=(library, text_for(pooler.port), n, results))
                   for n in range(WORKERS)]
        for process in workers:
            process.start()
        outcomes = [results.get(timeout=600) for _ in workers]
        for process in workers:
            process.join(60)
    failed = sum(o[0] for o in outcomes)
    done = sum(o[2] for o in outcomes)
    found = int(server.query("select count(*) from pooled_rows"))
    print(f"pool: {failed} of {WORKERS * ROUNDS} Cursors failed; inserts reported done {done}, found {found}",
          flush=True)
    check(f"no Cursor fails behind a transaction pooler; first failure: "
          f"{next((o[1] for o in outcomes if o[1]), '')}", failed == 0)
    check(f"every insert reported done is there ({done} done, {found} found)", done == found == WORKERS * ROUNDS)


def paced_read(lib, label):
    """Reads the paced cursor; answers (rows read, last code, message)."""
    check(f"{label}: Cursor: {lib.message()}",
          lib.cursor(f"select g from generate_series(1, {PACED_ROWS}) g") == 0)
    rows = 0
    code, answer = lib.fetch()
    if code == 0:
        rows = 1
        time.sleep(PAUSE_SECONDS)  # a person thinking, longer than the server's idle limit
        while (code := lib.fetch()[0]) == 0:
            rows += 1
    return rows, code, lib.message()


def paced_own_transaction(library, text, label, may_end_with=None):
    """The engine's own cursor survives a pause past the idle limit; an engine
    whose driver streams from an open transaction (`may_end_with`) may
    instead end it with -3 and the server's reason."""
    lib = Library(library)
    check(f"{label}: Open: {lib.message()}", lib.open(text) == 0)
    rows, code, message = paced_read(lib, label)
    print(f"paced, {label}: {rows} of {PACED_ROWS} rows read, then {code} {message!r}", flush=True)
    if may_end_with and code == -3:
        check(f"{label}: the message names the server's reason {may_end_with}: {message!r}",
              may_end_with in message)
    else:
        check(f"{label}: all {PACED_ROWS} rows and then 100, not {rows} rows and {code} {message!r}",
              rows == PACED_ROWS and code == 100)
    lib.close()


def paced_user_transaction(library, text, label, server):
    """Inside the user's own transaction the server's limit ends the session;
    the answer names the reason, not an abnormal end."""
    lib = Library(library)
    check(f"{label}: Open: {lib.message()}", lib.open(text) == 0)
    check(f"{label}: BEGIN: {lib.message()}", lib.exec("BEGIN")[0] == 0)
    code, answer = lib.exec("select pg_backend_pid() as p")
    check(f"{label}: the backend's pid: {code} {answer!r}", code == 0)
    pid = int(answer.split("\r\n")[1])
    check(f"{label}: Cursor: {lib.message()}",
          lib.cursor(f"select g from generate_series(1, {PACED_ROWS}) g") == 0)
    check(f"{label}: the first row: {lib.message()}", lib.fetch()[0] == 0)
    deadline = time.monotonic() + 60
    while (seen := server.query(f"select count(*) from pg_stat_activity where pid = {pid}")) != "0":
        check(f"{label}: the server ends the idle transaction's session (pg_stat_activity shows {seen})",
              time.monotonic() < deadline)
        time.sleep(0.1)
    rows = 1
    while (code := lib.fetch()[0]) == 0:
        rows += 1
    message = lib.message()
    print(f"paced in a user transaction, {label}: {rows} rows read, then {code} {message!r}", flush=True)
    check(f"{label}: -3 naming 25P03, not {code} {message!r}", code == -3 and "25P03" in message)
    check(f"{label}: not connected afterwards", lib.status() == 0)


def idle_session_ended(library, text, label, server):
    """A session the server ends for idling (a role with a 1 s limit) is
    reported by the next call with the server's reason."""
    lib = Library(library)
    check(f"{label}: Open as the idling role: {lib.message()}", lib.open(text) == 0)
    code, answer = lib.exec("select pg_backend_pid() as p")
    check(f"{label}: the backend's pid: {code} {answer!r}", code == 0)
    pid = int(answer.split("\r\n")[1])
    deadline = time.monotonic() + 60
    while (seen := server.query(f"select count(*) from pg_stat_activity where pid = {pid}")) != "0":
        check(f"{label}: the server ends the idle session (pg_stat_activity shows {seen})",
              time.monotonic() < deadline)
        time.sleep(0.1)
    code, _ = lib.exec("select 1")
    message = lib.message()
    print(f"idle session, {label}: {code} {message!r}", flush=True)
    check(f"{label}: -3 naming 57P05, not {code} {message!r}", code == -3 and "57P05" in message)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--library")
    parser.add_argument("--odbc-driver", default="/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so")
    parser.add_argument("--only", choices=["pool", "paced"])
    parser.add_argument("--worker", help="the pool case only, by starts of this program (zorv_pool_worker, "
                                         "a .exe under Wine) with --library, if given, as its library")
    args = parser.parse_args()
    if not (args.library or args.worker):
        parser.error("--library or --worker is needed")
    library = os.path.abspath(args.library) if args.library else None
    if args.worker:
        args.only = "pool"
    owner, top = scratch_folder("production")
    server_port, pooler_port = free_ports(2)
    server = Cluster(os.path.join(top, "pg"), server_port, owner)
    pooler = Pooler(os.path.join(top, "pgbouncer"), pooler_port, server_port, owner)
    try:
        os.mkdir(server.folder, 0o700)
        shutil.chown(server.folder, owner)
        server.run("initdb", "-D", server.folder, "-U", "postgres", "-A", "trust", "-E", "UTF8", "--locale=C.UTF-8")
        server.configure(["listen_addresses = '127.0.0.1'", f"port = {server_port}",
                          "unix_socket_directories = ''", "shared_buffers = 16MB",
                          f"idle_in_transaction_session_timeout = '{IDLE_LIMIT}'"])
        server.start()
        pooler.start()
        if args.only in (None, "pool"):
            pool_test(library, server, pooler, args.worker and os.path.abspath(args.worker))
        if args.only in (None, "paced"):
            paced_own_transaction(library, text_for(server_port), "native")
            paced_own_transaction(library, text_for(pooler_port), "native through the pooler")
            odbc = (f"odbc='Driver={args.odbc_driver};Server=127.0.0.1;Port={server_port};"
                    "Database=postgres;Uid=postgres'")
            paced_own_transaction(library, odbc, "ODBC", may_end_with="25P03")
            paced_user_transaction(library, text_for(server_port), "native", server)
            paced_user_transaction(library, odbc, "ODBC", server)
            check("the idling role is made",
                  server.query("create role idler login superuser; "
                               "alter role idler set idle_session_timeout = '1s'") is not None)
            idle_session_ended(library, text_for(server_port).replace("user=postgres", "user=idler"),
                               "native", server)
            idle_session_ended(library, odbc.replace("Uid=postgres", "Uid=idler"), "ODBC", server)
        print("ok", flush=True)
    finally:
        pooler.stop()
        try:
            server.stop()
        except Failure:
            pass
        shutil.rmtree(top, ignore_errors=True)


if __name__ == "__main__":
    run(main)
