#!/usr/bin/python3
"""A user of the bridge, as a real program uses it: it loads the libzorv.so
beside it (in the incident tests a copy of libzorv-trace, which records every
call), logs in with TEXT, says "ready" on standard output and waits for a
line on standard input before its first statement, so that the programs of
one incident start their work together. Its pauses are its user's: they are
what the record keeps and a replay at the recorded pace reproduces.

  incident_program.py LIBRARY TEXT deadlock first|second
      BEGIN, update row 1 (second: row 2), a 1 s pause, update the other
      row; after a failure ZORVmsgget and ROLLBACK, else COMMIT. The second
      program starts 0.3 s after the first, so the first one waits first and
      is the one the server's deadlock check ends.
  incident_program.py LIBRARY TEXT idle
      BEGIN, update row 3, a 3 s pause (longer than the server's idle limit),
      another update (it fails: the session was ended) and ZORVmsgget.
  incident_program.py LIBRARY TEXT think CALLS SEED MAX_MS
      CALLS calls in all: statements and cursors read to their end, each
      after a think time drawn from 0..MAX_MS ms (seeded).
  incident_program.py LIBRARY TEXT sleep
      select pg_sleep(1).

Rows live in the table incident (id int primary key, n int).
"""
import os
import random
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "libzorv"))
from pg_failover import Library  # noqa: E402

DEADLOCK_PAUSE, SECOND_START, IDLE_PAUSE = 1.0, 0.3, 3.0


def update(lib, row):
    return lib.exec(f"update incident set n = n + 1 where id = {row}")[0]


def deadlock(lib, role):
    mine, other = (1, 2) if role == "first" else (2, 1)
    if role == "second":
        time.sleep(SECOND_START)
    lib.exec("BEGIN")
    update(lib, mine)
    time.sleep(DEADLOCK_PAUSE)
    if update(lib, other) != 0:
        lib.message()
        lib.exec("ROLLBACK")
    else:
        lib.exec("COMMIT")


def idle(lib):
    lib.exec("BEGIN")
    update(lib, 3)
    time.sleep(IDLE_PAUSE)
    if update(lib, 3) != 0:
        lib.message()


def think(lib, calls, seed, max_ms):
    """Makes `calls` calls after the login, the last one the close."""
    draw = random.Random(seed)
    left = calls - 2
    while left > 0:
        time.sleep(draw.uniform(0, max_ms) / 1000)
        if left >= 4 and draw.random() < 0.5:
            lib.cursor(f"select g from generate_series(1, {min(left - 2, 3)}) g")
            left -= 1
            while left > 0 and lib.fetch()[0] == 0:
                left -= 1
            left -= 1
        else:
            lib.exec(f"select {left}, n from incident where id = 1")
            left -= 1


def main():
    library, text, scenario, *rest = sys.argv[1:]
    lib = Library(library)
    if lib.open(text) != 0:
        sys.exit(f"ZORVlogin failed: {lib.message()}")
    print("ready", flush=True)
    sys.stdin.readline()
    if scenario == "deadlock":
        deadlock(lib, rest[0])
    elif scenario == "idle":
        idle(lib)
    elif scenario == "think":
        think(lib, int(rest[0]), int(rest[1]), float(rest[2]))
    elif scenario == "sleep":
        lib.exec("select pg_sleep(1)")
    lib.close()


if __name__ == "__main__":
    main()
