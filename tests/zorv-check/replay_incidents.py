#!/usr/bin/python3
"""Incidents of several programs against the PostgreSQL test server
(scripts/pg-start), recorded as they happen by real processes through
libzorv-trace (incident_program.py) and replayed together by
`zorv-check --replay` at a pace:

  deadlock  two programs update rows 1 and 2 in opposite order with a 1 s
            pause between: at the recorded pace the server picks the same
            victim on the same call (the records replay with no difference,
            and the server counts one new deadlock);
  idle      a user pauses 3 s inside BEGIN on a role whose sessions the
            server ends after 2 s idle in a transaction: at the recorded pace
            the next call fails as recorded; back to back it does not, and
            that is a difference;
  think     records with think times between calls: at pace 2 the replay
            takes half the recorded span;
  sleep     16 records each holding select pg_sleep(1), whose logins were
            masked (given back by --logins): back to back they run at once.

  tests/zorv-check/replay_incidents.py --checker build/bin/zorv-check \\
      --trace build/bin/libzorv-trace.so --library build/bin/libzorv.so
  ... --figures [--runs 10]   the figures instead: each incident replayed
      --runs times at the recorded pace and back to back, and 16 records of
      1,000 calls with think times at the recorded pace.

Exits 77 (skipped) without a test server, unless CI=true.
"""
import argparse
import collections
import datetime
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "libzorv"))
from pg_failover import Failure, check, run  # noqa: E402

PROGRAM = os.path.join(os.path.dirname(os.path.abspath(__file__)), "incident_program.py")
DATABASE, IDLER = "zorv_incidents", "zorv_idler"
CLASSES = ("code", "answer", "message", "rows", "crash", "hang")
TOTAL = re.compile(r"^(\d+) records?, (\d+) calls replayed at pace (\S+): (\d+) matched, (\d+) differed \("
                   + ", ".join(rf"(\d+) {name}" for name in CLASSES) + r"\)", re.M)
# One record at pace fast keeps the one-record summary, its classes only when a call differed.
SUMMARY = re.compile(r"^(\d+) calls replayed: (\d+) matched, (\d+) differed(?: \("
                     + ", ".join(rf"(\d+) {name}" for name in CLASSES) + r"\))?", re.M)
SPAN = re.compile(r"^span: recorded \S+ \S+, replayed (\S+ \S+)$", re.M)
LATE = re.compile(r"^late starts: median (\S+ ?\S*), 99th percentile (\S+ ?\S*), maximum (\S+ ?\S*)$", re.M)

# One row a case: the incident replayed, at which pace, the exit status and
# the classes of difference expected (every class not named: 0), and the
# bounds of the replay's time: (least, most) times the recorded span over the
# pace's factor, or None where the pace keeps no schedule.
Case = collections.namedtuple("Case", "name incident pace status classes span")
CASES = [
    Case("deadlock at the recorded pace", "deadlock", "recorded", 0, {}, (1.0, 1.5)),
    Case("idle limit at the recorded pace", "idle", "recorded", 0, {}, (1.0, 1.5)),
    # Back to back the update after the pause succeeds, ZORVmsgget then has no
    # reason to give and ZORVclose finds the session still open.
    Case("idle limit back to back", "idle", "fast", 1, {"code": 2, "message": 1}, None),
    Case("think times twice as fast", "think", "2", 0, {}, (1.0, 1.6)),
    Case("16 sleeps at once", "sleep", "fast", 0, {}, None),
]
# 16 records of one second each, run at once: far less than two in a row.
SLEEPS_AT_ONCE_LIMIT = 6.0


class Server:
    """The test server of scripts/pg-start, reached with psql as its owner."""

    def __init__(self):
        self.host, self.port = os.environ["ZORV_TEST_PGHOST"], os.environ["ZORV_TEST_PGPORT"]
        self.user = os.environ.get("ZORV_TEST_PGUSER", "postgres")

    def query(self, sql, database=DATABASE):
        done = subprocess.run(["psql", "-X", "-At", "-v", "ON_ERROR_STOP=1", "-h", self.host, "-p", self.port,
                               "-U", self.user, "-d", database, "-c", sql],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        check(f"psql {sql}: {done.stdout.strip()}", done.returncode == 0)
        return done.stdout.strip()

    def text(self, user=None, extra=""):
        return f"host={self.host} port={self.port} user={user or self.user} dbname={DATABASE} {extra}".strip()

    def prepare(self):
        """A fresh database with its table, a 1 s deadlock check, and the
        role whose transactions the server ends after 2 s idle."""
        self.query(f"drop database if exists {DATABASE} with (force)", "postgres")
        self.query(f"create database {DATABASE}", "postgres")
        self.query(f"alter database {DATABASE} set deadlock_timeout = '1s'", "postgres")
        self.query(f"do $$ begin create role {IDLER} login; exception when duplicate_object then null; end $$",
                   "postgres")
        self.query(f"alter role {IDLER} set idle_in_transaction_session_timeout = '2s'", "postgres")
        self.query("create table incident (id int primary key, n int); "
                   "insert into incident select g, 0 from generate_series(1, 3) g; "
                   f"grant select, update on incident to {IDLER}")

    def reset(self):
        self.query("update incident set n = 0")

    def deadlocks(self):
        return int(self.query(f"select deadlocks from pg_stat_database where datname = '{DATABASE}'"))


class Recorder:
    """A folder with libzorv-trace as libzorv.so and its settings, which send
    each program's record to the file ZORV_INCIDENT_RECORD names."""

    def __init__(self, top, trace, library):
        self.folder = os.path.join(top, "traced")
        os.mkdir(self.folder)
        shutil.copy(trace, os.path.join(self.folder, "libzorv.so"))
        with open(os.path.join(self.folder, "libzorv-trace.ini"), "w") as ini:
            ini.write(f"library={os.path.abspath(library)}\ntrace=${{ZORV_INCIDENT_RECORD}}\n")
        self.top = top

    def record(self, incident, programs):
        """Runs the programs, [(record name, connection text, arguments)], at
        once from their first statement; answers their records' folder."""
        records = os.path.join(self.top, incident)
        os.mkdir(records)
        started = []
        for name, text, arguments in programs:
            env = dict(os.environ, ZORV_INCIDENT_RECORD=os.path.join(records, name + ".jsonl"))
            # Libraries built with AddressSanitizer load into Python only
            # after its runtime; Python's own allocations are no leaks of ours.
            if (runtime := os.environ.get("ZORV_SANITIZER_RUNTIME")):
                env.update(LD_PRELOAD=runtime,
                           ASAN_OPTIONS=env.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
            started.append((name, subprocess.Popen(
                [sys.executable, PROGRAM, os.path.join(self.folder, "libzorv.so"), text, *arguments],
                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env)))
        for name, program in started:
            said = program.stdout.readline()
            check(f"{name} logged in: {said}{program.stdout.read() if not said.startswith('ready') else ''}",
                  said.startswith("ready"))
        for _, program in started:
            program.stdin.write("go\n")
            program.stdin.flush()
        for name, program in started:
            said = program.communicate(timeout=300)[0]
            check(f"{name} ran (exit {program.returncode}): {said}", program.returncode == 0)
        return records


def read_record(path):
    with open(path, encoding="utf-8") as record:
        return [json.loads(line) for line in record]


def utc_seconds(stamp):
    return datetime.datetime.fromisoformat(stamp.replace("Z", "+00:00")).timestamp()


def recorded(folder):
    """(calls, span in seconds, failed calls [(record, seq, fn, code)]) of the
    records in `folder`: the span runs from the earliest header `started` to
    the last call's entry."""
    calls, starts, ends, failed = 0, [], [], []
    for name in sorted(os.listdir(folder)):
        lines = read_record(os.path.join(folder, name))
        starts.append(utc_seconds(lines[0]["started"]))
        entries = [line for line in lines if line.get("phase") == "call"]
        calls += len(entries)
        ends.append(max(utc_seconds(line["time"]) for line in entries))
        failed += [(name, line["seq"], line["fn"], line["code"]) for line in lines
                   if line.get("phase") == "return" and line["fn"] != "ZORVfetch" and line["code"] < 0]
    return calls, max(ends) - min(starts), failed


def replay(checker, library, records, pace, *options):
    """(exit status, report, seconds) of one replay."""
    began = time.monotonic()
    done = subprocess.run([checker, "--replay", *records, "--pace", pace, "--timeout", "30", *options, library],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return done.returncode, done.stdout, time.monotonic() - began


def total(report):
    """The total line's counts: records, calls, matched, differed and each
    class; from a one-record summary, no classes."""
    if (found := TOTAL.search(report)):
        numbers = [int(n) for n in found.groups()[:2] + found.groups()[3:]]
        return dict(zip(("records", "calls", "matched", "differed") + CLASSES, numbers))
    found = SUMMARY.search(report)
    check(f"the report has its total line:\n{report}", found is not None)
    numbers = [1] + [int(n) for n in found.groups() if n is not None]
    return dict(zip(("records", "calls", "matched", "differed") + CLASSES, numbers))


def make_records(server, recorder, think_calls, think_records, think_ms):
    """Records every incident once; answers ({incident: its records' folder},
    {sleep record's file name: the connection text its masked login stands for})."""
    logins = {}
    sleepers = [(f"sleep{n:02}", server.text(extra="password=unused"), ["sleep"]) for n in range(16)]
    for name, text, _ in sleepers:
        logins[name + ".jsonl"] = server.text()
    made = {}
    for incident, programs in {
            "deadlock": [("first", server.text(), ["deadlock", "first"]),
                         ("second", server.text(), ["deadlock", "second"])],
            "idle": [("idle", server.text(IDLER), ["idle"])],
            "think": [(f"think{n:02}", server.text(), ["think", str(think_calls), str(n), str(think_ms)])
                      for n in range(think_records)],
            "sleep": sleepers}.items():
        server.reset()
        made[incident] = recorder.record(incident, programs)
    return made, logins


def check_recordings(made):
    """The programs did what each incident is: the first program's second
    update was the deadlock's victim, the idle program's second update found
    its session ended, the others failed nowhere."""
    victim = recorded(made["deadlock"])[2]
    check(f"the first program, and only it, was the deadlock's victim: {victim}",
          [(name, fn, code) for name, _, fn, code in victim] == [("first.jsonl", "ZORVexec", -4)])
    ended = recorded(made["idle"])[2]
    check(f"the idle program's second update found its session ended: {ended}",
          [(fn, code) for _, _, fn, code in ended][:1] == [("ZORVexec", -3)])
    for incident in ("think", "sleep"):
        check(f"no call of {incident} failed: {recorded(made[incident])[2]}", not recorded(made[incident])[2])


def run_case(case, made, logins_file, server, checker, library):
    records = made[case.incident]
    calls, span, failed = recorded(records)
    server.reset()
    deadlocks = server.deadlocks()
    arguments = [records] if case.incident == "sleep" else sorted(
        os.path.join(records, name) for name in os.listdir(records))
    options = ["--logins", logins_file] if case.incident == "sleep" else []
    status, report, seconds = replay(checker, library, arguments, case.pace, *options)
    print(f"{case.name}: exit {status} in {seconds:.2f} s, recorded span {span:.2f} s\n{report}", flush=True)
    counts = total(report)
    expected = {name: case.classes.get(name, 0) for name in CLASSES}
    check(f"{case.name}: exit {status}, expected {case.status}", status == case.status)
    check(f"{case.name}: {counts['calls']} calls replayed of {calls} recorded in {counts['records']} records",
          counts["calls"] == calls and counts["records"] == len(os.listdir(records)))
    check(f"{case.name}: {counts['differed']} calls differed, expected {sum(expected.values())}",
          counts["differed"] == sum(expected.values()))
    check(f"{case.name}: classes {counts}, expected {expected}",
          "code" not in counts or all(counts[name] == expected[name] for name in CLASSES))
    if case.status == 1:
        check(f"{case.name}: each call that failed in the record differs: {failed}",
              all(re.search(rf"^DIFF call {seq} {fn} ", report, re.M) for _, seq, fn, _ in failed))
    if case.span:
        factor = 1.0 if case.pace == "recorded" else float(case.pace)
        least, most = (bound * span / factor for bound in case.span)
        check(f"{case.name}: the replay took {seconds:.2f} s, the recorded span over {factor:g} is "
              f"{span / factor:.2f} s", least <= seconds <= most)
        check(f"{case.name}: the report names the late starts:\n{report}", LATE.search(report) is not None)
    if case.incident == "sleep":
        check(f"{case.name}: {seconds:.2f} s for 16 records of 1 s", seconds < SLEEPS_AT_ONCE_LIMIT)
    if case.incident == "deadlock" and case.pace == "recorded":
        deadline = time.monotonic() + 30
        while (now := server.deadlocks()) == deadlocks:
            check(f"{case.name}: the server counted no deadlock in the replay ({now})", time.monotonic() < deadline)
            time.sleep(0.1)
        check(f"{case.name}: the server counted {now - deadlocks} deadlocks, not 1", now == deadlocks + 1)


def schedule_share(seconds, span, pace):
    """How far `seconds` lies from the recorded span at `pace`, in per cent."""
    if pace == "fast":
        return "no schedule at pace fast"
    factor = 1.0 if pace == "recorded" else float(pace)
    return f"{(seconds / (span / factor) - 1) * 100:+.1f} % against the span at this pace"


def figures(runs, made, logins_file, server, checker, library):
    """Each incident replayed `runs` times at the recorded pace and back to
    back; prints the exit statuses, the classes and the times."""
    for incident, pace in (("deadlock", "recorded"), ("deadlock", "fast"), ("idle", "recorded"),
                           ("idle", "fast"), ("think", "recorded"), ("think", "2"), ("sleep", "fast")):
        records = made[incident]
        calls, span, _ = recorded(records)
        arguments = [records] if incident == "sleep" else sorted(
            os.path.join(records, name) for name in os.listdir(records))
        options = ["--logins", logins_file] if incident == "sleep" else []
        statuses, seconds, lates, spans = collections.Counter(), [], [], []
        differences = collections.Counter()
        for _ in range(runs):
            server.reset()
            deadlocks = server.deadlocks()
            status, report, took = replay(checker, library, arguments, pace, *options)
            statuses[status] += 1
            seconds.append(took)
            if (late := LATE.search(report)):
                lates.append(late.group(2))
            if (replayed := SPAN.search(report)):
                spans.append(replayed.group(1))
            if incident == "deadlock":
                deadline = time.monotonic() + 10
                while server.deadlocks() == deadlocks and time.monotonic() < deadline:
                    time.sleep(0.1)
                differences[f"server deadlocks +{server.deadlocks() - deadlocks}"] += 1
            if TOTAL.search(report) or SUMMARY.search(report):
                counts = collections.defaultdict(int, total(report))
                differences[", ".join(f"{counts[name]} {name}" for name in CLASSES if counts[name])
                            or f"{counts['differed']} differed"] += 1
            else:
                differences[report.strip().splitlines()[-1] if report.strip() else "no report"] += 1
        print(f"{incident} at pace {pace}: {len(arguments) if incident != 'sleep' else 16} records, "
              f"{calls} calls, recorded span {span:.3f} s; {runs} runs: exit {dict(statuses)}; "
              f"replay {statistics.median(seconds):.3f} s median, {max(seconds):.3f} s most "
              f"{schedule_share(statistics.median(seconds), span, pace)}; "
              f"the report's replayed span {spans}; late starts p99 {lates}; differences {dict(differences)}",
              flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--checker", required=True)
    parser.add_argument("--trace", required=True, help="libzorv-trace.so")
    parser.add_argument("--library", required=True, help="the libzorv.so the programs use and the replay runs")
    parser.add_argument("--figures", action="store_true")
    parser.add_argument("--runs", type=int, default=10)
    args = parser.parse_args()
    if "ZORV_TEST_PGPORT" not in os.environ:
        check("no test server: scripts/pg-start must run first", os.environ.get("CI") != "true")
        print("skipped: no test server (run scripts/pg-start first)")
        sys.exit(77)
    server = Server()
    server.prepare()
    top = tempfile.mkdtemp(prefix="zorv-incidents.")
    try:
        recorder = Recorder(top, args.trace, args.library)
        # The figures' records: 16 of 1,000 calls, a few ms apart; the test's:
        # 2 short ones whose gaps make most of their span.
        made, logins = make_records(server, recorder, *((1000, 16, 8) if args.figures else (150, 2, 80)))
        logins_file = os.path.join(top, "logins.json")
        with open(logins_file, "w") as out:
            json.dump(logins, out)
        check_recordings(made)
        if args.figures:
            figures(args.runs, made, logins_file, server, os.path.abspath(args.checker), args.library)
        else:
            for case in CASES:
                run_case(case, made, logins_file, server, os.path.abspath(args.checker), args.library)
        print("ok", flush=True)
    finally:
        shutil.rmtree(top, ignore_errors=True)


if __name__ == "__main__":
    run(main)
