#!/usr/bin/python3
"""Drives the real zorv-console under Xvfb as a person would: real pointer
and keyboard events through the X server, and what the window shows read
back through the accessibility bus, the way a screen reader reads it.

Run inside its own D-Bus session:
  dbus-run-session -- /usr/bin/python3 console_e2e.py --console BIN --fake LIB SCENARIO
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

TIMEOUT = 60.0  # generous: a busy machine only makes the wait longer
OPTIONS = None  # the command line, for scenarios that need more than the console


class Failure(Exception):
    pass


def wait_for(what, probe, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    last = None
    while time.monotonic() < deadline:
        last = probe()
        if last:
            return last
        time.sleep(0.05)
    raise Failure(f"timed out waiting for {what} (last: {last!r})")


class Display:
    """A private Xvfb server and an accessibility bus on it."""

    def __enter__(self):
        # A display number of our own, retried if another test took it first
        # (several end-to-end tests may start their servers at once).
        # -noreset: by default the server resets when its last client leaves
        # (here the readiness probe), and a client that connects during the
        # reset is turned away; the console would then fail to start.
        for _ in range(20):
            number = str(random.randint(100, 30000))
            if os.path.exists(f"/tmp/.X11-unix/X{number}") or os.path.exists(f"/tmp/.X{number}-lock"):
                continue
            self.xvfb = subprocess.Popen(
                ["Xvfb", ":" + number, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"],
                stderr=subprocess.DEVNULL)
            # Ready once a client can talk to it.
            deadline = time.monotonic() + 10
            ready = False
            while not ready and self.xvfb.poll() is None and time.monotonic() < deadline:
                ready = subprocess.run(["xdotool", "getdisplaygeometry"], env=dict(os.environ, DISPLAY=":" + number),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
                if not ready:
                    time.sleep(0.05)
            if ready:
                break
            self.xvfb.kill()
            self.xvfb.wait()
        else:
            raise Failure("Xvfb did not start")
        os.environ["DISPLAY"] = ":" + number
        os.environ["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        os.environ["QT_QPA_PLATFORM"] = "xcb"
        self.bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                    stderr=subprocess.DEVNULL)
        time.sleep(0.5)
        return self

    def __exit__(self, *exc):
        for process in (self.bus, self.xvfb):
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()


class Console:
    """The console process and its window as the accessibility bus shows it."""

    def __init__(self, binary, workdir, env):
        self.process = subprocess.Popen([binary], cwd=workdir, env=env)
        self.window = wait_for("the console window", self._find_window)
        self.controls = {}
        for i in range(self.window.get_child_count()):
            child = self.window.get_child_at_index(i)
            self.controls.setdefault((child.get_role_name(), child.get_name()), child)

    def _windows(self):
        """The top-level windows of the console process on the bus."""
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_process_id() == self.process.pid:
                for k in range(app.get_child_count()):
                    yield app.get_child_at_index(k)

    def _find_window(self):
        if self.process.poll() is not None:
            raise Failure(f"console exited early with status {self.process.returncode}")
        for window in self._windows():
            if window.get_name() == "Velmo Test" and window.get_child_count() >= 12:
                return window
        return None

    def control(self, role, name):
        if (role, name) not in self.controls:
            raise Failure(f"no {role} named {name!r}: {sorted(self.controls)}")
        return self.controls[(role, name)]

    def click(self, caption):
        """A real pointer click in the middle of the button with this caption."""
        box = self.control("push button", caption).get_extents(Atspi.CoordType.SCREEN)
        x, y = box.x + box.width // 2, box.y + box.height // 2
        subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"], check=True)

    def type_input(self, text):
        """Replaces the input box's text: typed key by key where the text is
        ASCII; text that needs an input method, which the virtual display
        has not, is entered through the accessibility interface, as
        dictation software would."""
        node = self.control("text", "Connection or statement text")
        box = node.get_extents(Atspi.CoordType.SCREEN)
        subprocess.run(["xdotool", "mousemove", "--sync", str(box.x + 20), str(box.y + box.height // 2),
                        "click", "1", "key", "ctrl+a", "BackSpace"], check=True)
        if text.isascii():
            subprocess.run(["xdotool", "type", "--delay", "5", text], check=True)
        else:
            Atspi.EditableText.set_text_contents(node, text)
        wait_for(f"input {text!r}", lambda: self.input() == text)

    def result(self):
        label = [c for (role, _), c in self.controls.items() if role == "label"]
        # The result label is the one at the top; the notice sits at the bottom.
        label.sort(key=lambda c: c.get_extents(Atspi.CoordType.SCREEN).y)
        return label[0].get_name()

    def input(self):
        node = self.control("text", "Connection or statement text")
        return Atspi.Text.get_text(node, 0, -1)

    def answer(self):
        node = self.control("text", "Answer text")
        return Atspi.Text.get_text(node, 0, -1)

    def modal_dialog(self):
        """The console's message box, once it shows."""
        for window in self._windows():
            if window.get_role_name() in ("dialog", "alert"):
                return window
        return None

    def texts_in(self, node):
        """Every name and text below `node`."""
        found = []
        name = node.get_name()
        if name:
            found.append(name)
        for i in range(node.get_child_count()):
            found.extend(self.texts_in(node.get_child_at_index(i)))
        return found

    def wait_exit(self):
        try:
            return self.process.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise Failure("console did not end")

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def expect(what, actual, wanted):
    if actual != wanted:
        raise Failure(f"{what}: got {actual!r}, want {wanted!r}")
    print(f"ok  {what}: {actual!r}")


def scenario_end(console, log):
    expect("result at start", console.result(), "")
    expect("input at start", console.input(), "host=ホスト名 user=ユーザー名")
    console.click("End")
    expect("exit status after End", console.wait_exit(), 0)
    expect("bridge calls", os.path.exists(log), False)


def scenario_session(console, log):
    def after_click(caption, code, answer=None):
        console.click(caption)
        wait_for(f"result {code} after {caption}", lambda: console.result() == code)
        expect(f"result after {caption}", console.result(), code)
        if answer is not None:
            wait_for(f"answer after {caption}", lambda: console.answer() == answer)
            expect(f"answer after {caption}", console.answer(), answer)

    after_click("Open", "0")
    console.type_input("select id, name from t")
    after_click("Cursor", "0")
    after_click("Header", "0", "id\tname")
    after_click("Fetch", "0", "1\tソ表")
    after_click("Fetch", "100", "")
    console.type_input("insert into t values (2)")
    after_click("Exec", "0", "1")
    after_click("MsgGet", "-4", "エラー: no such table")
    console.click("End")
    expect("exit status after End", console.wait_exit(), 0)

    with open(log) as f:
        calls = [line.split() for line in f]
    expect("functions called", [c[0] for c in calls],
           ["ZORVlogin", "ZORVcursor", "ZORVfnames", "ZORVfetch", "ZORVfetch", "ZORVexec",
            "ZORVmsgget"])
    expect("connection text bytes", calls[0][1],
           "686F73743D837A83588367" + "96BC" + "20757365723D" + "8386815B8355815B96BC")
    expect("statement bytes", bytes.fromhex(calls[1][1]), b"select id, name from t")
    expect("exec statement bytes", bytes.fromhex(calls[5][1]), b"insert into t values (2)")


def scenario_planted(console, log):
    """A libzorv.so waiting in the working folder is never loaded: the first
    command reports the missing library and the console ends with status 1."""
    console.click("Open")
    def report():
        box = console.modal_dialog()
        try:
            text = " ".join(console.texts_in(box)) if box else ""
        except GLib.Error:  # the box is still being built
            return None
        return text if "ZORVlogin" in text else None

    text = wait_for("a failure report naming the entry", report)
    if "libzorv.so" not in text:
        raise Failure(f"the report does not name the library: {text!r}")
    print(f"ok  failure report: {text!r}")
    subprocess.run(["xdotool", "key", "Return"], check=True)
    expect("exit status after the failure", console.wait_exit(), 1)
    expect("calls into the planted library", os.path.exists(log), False)


def scenario_slow(console, log):
    """A library call that takes 5 s: clicks made meanwhile wait their turn
    and then run in order, and the window answers afterwards."""
    started = time.monotonic()
    console.click("Fetch")
    console.click("Open")
    console.click("MsgGet")
    wait_for("the queued clicks to run", lambda: console.answer() == "after", timeout=90)
    expect("result of the last click", console.result(), "0")
    elapsed = time.monotonic() - started
    if elapsed < 5:
        raise Failure(f"the slow call took {elapsed:.1f} s, less than its 5 s")
    with open(log) as f:
        expect("order of the calls", [line.split()[0] for line in f],
               ["ZORVfetch", "ZORVlogin", "ZORVmsgget"])
    console.click("Close")
    wait_for("the window to answer again", lambda: console.result() == "3")
    console.click("End")
    expect("exit status after End", console.wait_exit(), 0)


def run_steps(console, steps):
    """Each step: type into the input box (or leave it), click, then the
    result code and, where given, the answer a person should see."""
    for text, caption, code, answer in steps:
        if text is not None:
            console.type_input(text)
        before = console.result(), console.answer()
        console.click(caption)
        # Wait for this click to be done: the result or answer changes, or,
        # when the same is expected again, a moment for the event to land.
        if (code, answer if answer is not None else before[1]) == before:
            time.sleep(0.3)
        wait_for(f"result {code} after {caption}", lambda: console.result() == code)
        if answer is not None:
            wait_for(f"answer after {caption}", lambda: console.answer() == answer)
            expect(f"answer after {caption}", console.answer(), answer)
        expect(f"result after {caption} {text or ''}".rstrip(), console.result(), code)


def scenario_demo(console, log):
    """A person's session on the sample database with our own library."""
    run_steps(console, [
        ("file=demo.db", "Open", "0", None),
        ("select * from 商品 order by code", "Cursor", "0", None),
        (None, "Header", "0", "code\t名称\t価格\t備考"),
        (None, "Fetch", "0", "A-001\tソース 500ml\t298\t表示価格は税込"),
        (None, "Fetch", "0", "A-002\t表札 (木製)\t4800\t申込後 1 週間"),
        (None, "MsgGet", "0", ""),
        ("insert into 商品 values ('Z-001', '能登 ソ表', 5, NULL)", "Exec", "0", "1"),
        ("select 名称 from 商品 where code = 'Z-001'", "Cursor", "0", None),
        (None, "Fetch", "0", "能登 ソ表"),
        (None, "Fetch", "100", ""),
        ("select * from no_such_table", "Cursor", "-4", None),
        (None, "MsgGet", "0", None),
    ])
    if "no_such_table" not in console.answer():
        raise Failure(f"the message does not name the table: {console.answer()!r}")
    print(f"ok  message after the failed Cursor: {console.answer()!r}")
    run_steps(console, [(None, "Close", "0", None), (None, "Fetch", "-1", None)])
    console.click("End")
    expect("exit status after End", console.wait_exit(), 0)


def scenario_postgres(console, log):
    """The same console and library against the private PostgreSQL server."""
    connection = (f"host={os.environ['ZORV_TEST_PGHOST']} port={os.environ['ZORV_TEST_PGPORT']} "
                  f"user={os.environ.get('ZORV_TEST_PGUSER', 'postgres')} dbname=postgres")
    run_steps(console, [
        (connection, "Open", "0", None),
        ("drop table if exists e2e_社員", "Exec", "0", "0"),
        ("create table e2e_社員 (id int, 氏名 text)", "Exec", "0", "0"),
        ("insert into e2e_社員 values (1, 'ソ表 能'), (2, NULL)", "Exec", "0", "2"),
        ("select * from e2e_社員 order by id", "Cursor", "0", None),
        (None, "Header", "0", "id\t氏名"),
        (None, "Fetch", "0", "1\tソ表 能"),
        (None, "Fetch", "0", "2\t"),
        (None, "Fetch", "100", ""),
        ("select id from e2e_社員 order by id", "Exec", "0", "id\r\n1\r\n2\r\n".replace("\r\n", "\n")),
        ("drop table e2e_社員", "Exec", "0", "0"),
        (None, "Close", "0", None),
    ])
    console.click("End")
    expect("exit status after End", console.wait_exit(), 0)


def scenario_installed(console, log):
    """The installed console finds the installed library by itself and reads
    the installed sample database, which it may not change."""
    run_steps(console, [
        (f"file={OPTIONS.db} mode=ro", "Open", "0", None),
        ("select * from 商品 order by code", "Cursor", "0", None),
        (None, "Fetch", "0", "A-001\tソース 500ml\t298\t表示価格は税込"),
        ("delete from 商品", "Exec", "-4", None),
    ])
    with open(f"/proc/{console.process.pid}/maps") as maps:
        loaded = sorted({line.split(None, 5)[-1].strip() for line in maps if line.rstrip().endswith("/libzorv.so")})
    expect("bridge library loaded", loaded, [os.path.realpath(OPTIONS.installed)])
    console.click("End")
    expect("exit status after End", console.wait_exit(), 0)


SCRIPTS = {
    "demo": [],
    "installed": [],
    "postgres": [],
    "planted": [],
    "slow": [(0, b"slow row\0"), (7, None), (0, b"after\0"), (3, None)],
    "end": [],
    "session": [
        (0, None), (0, None),
        (0, "id\tname\0".encode()),
        (0, "1\tソ表\0".encode("cp932")),
        (100, b"\0"),
        (0, b"1\0"),
        (-4, "エラー: no such table\0".encode("cp932")),
    ],
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--console", required=True)
    parser.add_argument("--fake", help="test-only libzorv.so to put beside the console")
    parser.add_argument("--plant", help="library to plant in the working folder")
    parser.add_argument("--demo-db", help="script that makes the sample database in the working folder")
    parser.add_argument("--installed", metavar="LIBRARY",
                        help="run the console where it is, expecting it to load this libzorv.so")
    parser.add_argument("--db", help="the sample database the installed scenario opens")
    parser.add_argument("scenario", choices=sorted(SCRIPTS))
    args = parser.parse_args()
    global OPTIONS
    OPTIONS = args
    if args.scenario == "postgres" and "ZORV_TEST_PGPORT" not in os.environ:
        if os.environ.get("CI") == "true":
            raise Failure("no test server: scripts/pg-start must run first")
        print("skipped: no test server (run scripts/pg-start first)")
        sys.exit(77)

    with tempfile.TemporaryDirectory() as tmp, Display():
        appdir = os.path.join(tmp, "app")
        workdir = os.path.join(tmp, "work")
        os.mkdir(appdir)
        os.mkdir(workdir)
        if not args.installed:
            shutil.copy(args.console, appdir)
        if args.fake:
            shutil.copy(args.fake, appdir)
        script = os.path.join(tmp, "script")
        with open(script, "w") as f:
            for code, data in SCRIPTS[args.scenario]:
                f.write(f"{code} {data.hex().upper() if data is not None else '-'}\n")
        log = os.path.join(tmp, "calls.log")
        env = dict(os.environ, ZORV_FAKE_SCRIPT=script, ZORV_FAKE_LOG=log)
        if args.scenario == "slow":
            env.update(ZORV_FAKE_DELAY_MS="5000", ZORV_FAKE_DELAY_ENTRY="ZORVfetch")
        if args.plant:
            shutil.copy(args.plant, workdir)
        if args.demo_db:
            subprocess.run([args.demo_db, os.path.join(workdir, "demo.db")], check=True)
        binary = args.console if args.installed else os.path.join(appdir, os.path.basename(args.console))
        console = Console(binary, workdir, env)
        try:
            globals()["scenario_" + args.scenario](console, log)
        finally:
            console.kill()
    print(f"1 passed, 0 failed: {args.scenario}")


if __name__ == "__main__":
    try:
        main()
    except Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        sys.exit(1)
