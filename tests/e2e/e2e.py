#!/usr/bin/env python3
"""End-to-end tests: Corvanta.exe under Wine, driven as a user would drive it.

    e2e.py CASE --exe Corvanta.exe --helpers DIR [--loader WINE]

Runs inside the Wine test bed (tests/wine/testbed.py), which provides the X display, the prefix and the serial
lines (COMn joined to the file $CORVANTA_PEER_COMn). Each case starts from a clean HKCU\\Software\\Corvanta and
an empty tray, starts the program, waits until its tray icon is shown, and only then writes into the line; a
recording window holds the focus and reports what was typed. Everything the case started is killed at its end.
Exit status: 0 passed, 1 failed, 77 skipped.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))
import testbed  # noqa: E402

SKIPPED = 77
READY_TIMEOUT = 30
TYPING_TIMEOUT = 10
SETTINGS_KEY = r"HKCU\Software\Corvanta"
PROPERTIES_KEY = SETTINGS_KEY + r"\Properties"


class Failure(Exception):
    pass


class Skip(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Session:
    """One case's programs, files and clean-up."""

    def __init__(self, args):
        missing = [name for name in ("CORVANTA_TESTBED", "DISPLAY", "WINEPREFIX", "CORVANTA_PEER_COM1")
                   if not os.environ.get(name)]
        if missing:
            raise Failure(f"not inside the Wine test bed ({', '.join(missing)} unset): run the tests as "
                          "python3 tests/wine/testbed.py -- ctest --test-dir build/win64 -L e2e")
        self.bed = os.environ["CORVANTA_TESTBED"]
        self.exe = os.path.abspath(args.exe)
        self.helpers = os.path.abspath(args.helpers)
        self.loader = args.loader
        for path in (self.exe, self.loader, self.tool("recorder"), self.tool("wintool")):
            check(os.path.exists(path), f"missing {path}: build the Windows preset first")
        self.dir = tempfile.mkdtemp(prefix="e2e-", dir=self.bed)
        self.pid_file = os.path.join(self.bed, "e2e-started.pids")
        self.kill_leftovers()
        self.procs = []
        self.program = None
        self.unplugged = []
        self.failed = False
        self.nudges = 0

    def tool(self, name):
        return os.path.join(self.helpers, name + ".exe")

    # --- Wine processes -------------------------------------------------------------------------------------

    def wine(self, *args, timeout=30):
        result = subprocess.run([self.loader, *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, timeout=timeout, check=False)
        return result.returncode, result.stdout.decode("utf-8", "replace")

    def wintool(self, *args):
        return self.wine(self.tool("wintool"), *args)[1].splitlines()

    def spawn(self, name, *args):
        log = open(os.path.join(self.dir, name + ".log"), "wb")
        proc = subprocess.Popen([self.loader, *args], stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                start_new_session=True)
        log.close()
        self.procs.append(proc)
        with open(self.pid_file, "a") as f:
            f.write(f"{proc.pid} {args[0]}\n")
        return proc

    def kill_leftovers(self):
        """Kills what an earlier case started and could not end (ctest kills a case that overruns outright)."""
        try:
            with open(self.pid_file) as f:
                entries = [line.split(" ", 1) for line in f.read().splitlines()]
        except FileNotFoundError:
            return
        for pid, program in entries:
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    mine = program.strip().encode() in f.read()
                if mine:
                    os.killpg(int(pid), signal.SIGKILL)
            except (FileNotFoundError, ProcessLookupError, PermissionError):
                pass
        os.unlink(self.pid_file)

    def windows_path(self, path):
        # Wine's Z: drive is the Unix root.
        return "Z:" + path.replace("/", "\\")

    # --- The program ----------------------------------------------------------------------------------------

    def start_program(self):
        testbed.wait_for(self.tray_flushed, 10, "an empty tray before the start")
        self.program = self.spawn("corvanta", self.exe)
        return self.program

    def alive(self):
        return self.program is not None and self.program.poll() is None

    def tray_icons(self):
        """The tray's icons as (left, top, right, bottom) screen rectangles."""
        icons = []
        for line in self.wintool("trayicons"):
            fields = line.split()
            if len(fields) == 5:
                icons.append(tuple(int(f) for f in fields[1:]))
        return icons

    def tray_flushed(self):
        """Whether the tray is empty; if not, points at each icon. Wine drops the icon of a program that ended
        when it next relays a mouse message to it and finds the owner window gone, and not always before."""
        icons = self.tray_icons()
        self.nudges += 1
        for left, top, right, bottom in icons:
            x, y = (left + right) // 2 + self.nudges % 2, (top + bottom) // 2
            subprocess.run(["xdotool", "mousemove", str(x), str(y)], check=False)
        if icons:
            subprocess.run(["xdotool", "mousemove", "640", "1000"], check=False)
        return not icons

    def tray_shown(self):
        # The tray window stays, unmapped, after its last icon went: only a visible one counts.
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Wine System Tray$"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0

    def wait_ready(self):
        def ready():
            check(self.alive(), f"Corvanta.exe ended during start-up with status {self.program.returncode}")
            return len(self.tray_icons()) == 1 and self.tray_shown()
        testbed.wait_for(ready, READY_TIMEOUT, "Corvanta's tray icon")

    def message_boxes(self, caption):
        return [line.split()[0] for line in self.wintool("find", caption) if line.split()[1:2] == ["#32770"]]

    def message_text(self, box):
        """The message of a message box: its non-empty static text."""
        for line in self.wintool("texts", box)[1:]:
            cls, _, text = line.partition("\t")
            if cls.lower() == "static" and text.strip():
                return text
        return ""

    # --- Settings -------------------------------------------------------------------------------------------

    def clear_settings(self):
        self.wine("reg", "delete", SETTINGS_KEY, "/f")
        check(self.stored("CommPort") is None, "HKCU\\Software\\Corvanta could not be cleared")

    def store(self, name, value):
        status, _ = self.wine("reg", "add", PROPERTIES_KEY, "/v", name, "/t", "REG_SZ", "/d", value, "/f")
        check(status == 0, f"could not store {name}={value!r}")

    def stored(self, name):
        """The stored REG_SZ value, or None when there is none."""
        status, out = self.wine("reg", "query", PROPERTIES_KEY, "/v", name)
        if status != 0:
            return None
        for line in out.splitlines():
            fields = line.split(None, 2)
            if fields[:2] == [name, "REG_SZ"]:
                return fields[2] if len(fields) > 2 else ""
        return None

    # --- The serial line and the typing target ---------------------------------------------------------------

    def peer(self, port):
        path = os.environ.get(f"CORVANTA_PEER_{port}")
        check(path, f"the test bed has no line for {port}")
        return path

    def send(self, port, data):
        fd = os.open(self.peer(port), os.O_WRONLY | os.O_NOCTTY)
        try:
            os.write(fd, data)
        finally:
            os.close(fd)

    def line_settings(self, port):
        """The speed and stop bits the program gave its end of the line. Linux ptys force 8 data bits and no
        parity whatever is asked, so those two cannot be seen here."""
        fd = os.open(testbed.wine_side_path(self.bed, port), os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
        try:
            attributes = termios.tcgetattr(fd)
            cflag, ospeed = attributes[2], attributes[5]
        finally:
            os.close(fd)
        speeds = {getattr(termios, f"B{n}"): n for n in (1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)}
        return speeds.get(ospeed, ospeed), 2 if cflag & termios.CSTOPB else 1

    def program_holds(self, device):
        """Whether the program's process has DEVICE open."""
        fd_dir = f"/proc/{self.program.pid}/fd"
        try:
            return any(os.readlink(os.path.join(fd_dir, fd)) == device for fd in os.listdir(fd_dir))
        except FileNotFoundError:
            return False

    def start_recorder(self):
        self.record_file = os.path.join(self.dir, "typed.txt")
        self.spawn("recorder", self.tool("recorder"), self.windows_path(self.record_file))
        testbed.wait_for(lambda: os.path.exists(self.record_file + ".ready"), 15,
                         "the recording window to take the focus")

    def typed(self):
        try:
            with open(self.record_file, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except FileNotFoundError:
            return ""

    def expect_typed(self, expected, what):
        try:
            testbed.wait_for(lambda: self.typed() == expected, TYPING_TIMEOUT, f"{expected!r} to be typed")
        except TimeoutError:
            said = "; ".join(self.message_text(box) for box in self.message_boxes("Corvanta"))
            raise Failure(f"{what}: the recording window holds {self.typed()!r}, expected {expected!r}"
                          + (f"; Corvanta said: {said!r}" if said else "")) from None

    # --- Clean-up -------------------------------------------------------------------------------------------

    def unplug(self, port):
        testbed.unplug(self.bed, port)
        self.unplugged.append(port)

    def kill(self, proc):
        if proc.poll() is None:
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        proc.wait(timeout=10)

    def close(self):
        for port in self.unplugged:
            testbed.plug(self.bed, port)
        for proc in self.procs:
            self.kill(proc)
        # The next case starts with an empty tray.
        try:
            if self.procs:
                testbed.wait_for(self.tray_flushed, 10, "the tray icons of ended programs to go")
        except TimeoutError as error:
            print(f"warning: {error}")
        if self.failed:
            for name in sorted(os.listdir(self.dir)):
                if name.endswith(".log") and os.path.getsize(os.path.join(self.dir, name)):
                    with open(os.path.join(self.dir, name), "rb") as f:
                        print(f"--- {name}\n{f.read()[-4000:].decode('utf-8', 'replace')}")
        else:
            shutil.rmtree(self.dir, ignore_errors=True)


# --- Cases ----------------------------------------------------------------------------------------------------

def relay_and_expect(s, data, expected, port="COM1"):
    s.start_program()
    s.wait_ready()
    s.start_recorder()
    s.send(port, data)
    s.expect_typed(expected, f"bytes {data!r} written into {port}")


def case_relay_digits(s):
    """With nothing stored, COM1 opens at 9600 baud, 1 stop bit; digits and CR arrive as typed, CR as a new
    line; nothing is stored."""
    s.clear_settings()
    relay_and_expect(s, b"12345\r", "12345\r\n")
    speed, stop_bits = s.line_settings("COM1")
    check((speed, stop_bits) == (9600, 1), f"COM1 runs at {speed} baud with {stop_bits} stop bits, expected 9600, 1")
    check(s.stored("CommPort") is None and s.stored("Settings") is None and s.stored("Handshaking") is None,
          "start-up wrote settings although none were stored")


def case_relay_notation(s):
    """Characters that other keystroke notations reserve are typed as themselves."""
    s.clear_settings()
    relay_and_expect(s, b"a+b^c%d~e{f}g[h](i)", "a+b^c%d~e{f}g[h](i)")


def case_relay_ansi(s):
    """Bytes above 127 are characters of the ANSI code page (1252 under Wine): E9 is é, 80 is €."""
    s.clear_settings()
    relay_and_expect(s, b"\xe9\x80", "\u00e9\u20ac")


def case_stored_port_above_10(s):
    """Stored settings for COM12 are applied, and what arrives there is typed."""
    s.clear_settings()
    for name, value in (("CommPort", "12"), ("Settings", "19200,e,7,1"), ("Handshaking", "0")):
        s.store(name, value)
    testbed.forget_parity(s.bed, "COM12")
    s.start_program()
    s.wait_ready()
    speed, stop_bits = s.line_settings("COM12")
    check((speed, stop_bits) == (19200, 1), f"COM12 runs at {speed} baud with {stop_bits} stop bits, expected 19200, 1")
    s.start_recorder()
    s.send("COM12", b"12345\r")
    s.expect_typed("12345\r\n", "bytes written into COM12")
    check(s.stored("CommPort") == "12" and s.stored("Settings") == "19200,e,7,1",
          "the stored settings were changed by start-up")


def case_bad_stored_port(s):
    """A stored port number that is not a number gives one message box, leaves the port closed, and the tray
    icon is still shown."""
    s.clear_settings()
    s.store("CommPort", "abc")
    s.start_program()

    def box():
        check(s.alive(), f"Corvanta.exe ended with status {s.program.returncode} instead of reporting the error")
        return s.message_boxes("Corvanta")
    boxes = testbed.wait_for(box, READY_TIMEOUT, "a message box titled 'Corvanta'")
    check(len(boxes) == 1, f"{len(boxes)} message boxes titled 'Corvanta', expected one")
    message = s.message_text(boxes[0])
    check(message, f"the message box has no text: {s.wintool('texts', boxes[0])}")
    print(f"message box: {message!r}")
    check(s.wine(s.tool("wintool"), "click", boxes[0], "OK")[0] == 0,
          f"the message box has no OK button: {s.wintool('texts', boxes[0])}")
    testbed.wait_for(lambda: not s.message_boxes("Corvanta"), 10, "the message box to close")
    s.wait_ready()
    check(not s.message_boxes("Corvanta"), "a second message box followed the first")
    com1 = os.path.realpath(testbed.wine_side_path(s.bed, "COM1"))
    check(not s.program_holds(com1), "the port was opened although its stored number was refused")
    check(s.stored("CommPort") == "abc", f"start-up rewrote the stored port: {s.stored('CommPort')!r}")


def case_tray_tooltip(s):
    """The icon's tooltip, shown when the pointer rests on it, reads "Corvanta"."""
    s.clear_settings()
    s.start_program()
    s.wait_ready()
    left, top, right, bottom = s.tray_icons()[0]
    x, y = (left + right) // 2, (top + bottom) // 2
    nudge = [0]

    def tooltip():
        # The tooltip appears after the pointer has rested a moment; move it by a pixel now and then.
        nudge[0] += 1
        if nudge[0] % 20 == 1:
            subprocess.run(["xdotool", "mousemove", str(x + nudge[0] // 20 % 2), str(y)], check=False)
        return s.wintool("tooltips")
    try:
        tips = testbed.wait_for(tooltip, 15, "a tooltip over the tray icon")
    finally:
        subprocess.run(["xdotool", "mousemove", "640", "1000"], check=False)
    check(tips == ["Corvanta"], f"the tray icon's tooltip is {tips}, expected ['Corvanta']")


def case_survives_unplug(s):
    """Pulling the cable of the open port closes the port and leaves the program running with its icon."""
    s.clear_settings()
    s.start_program()
    s.wait_ready()
    device = os.path.realpath(testbed.wine_side_path(s.bed, "COM1"))
    check(s.program_holds(device), f"the program does not hold COM1's device {device} open")
    s.unplug("COM1")
    try:
        testbed.wait_for(lambda: not s.alive() or not s.program_holds(device), 10, "the port to be closed")
    except TimeoutError:
        raise Failure("the program still holds COM1's device 10 s after the cable was pulled") from None
    check(s.alive(), f"Corvanta.exe ended with status {s.program.returncode} when the cable was pulled")
    check(len(s.tray_icons()) == 1 and s.tray_shown(), "the tray icon went when the cable was pulled")


def case_smoke32(s):
    """The 32-bit build starts, shows its icon and types what arrives."""
    s.clear_settings()
    relay_and_expect(s, b"12345\r", "12345\r\n")


def loader_runs(loader):
    try:
        return subprocess.run([loader, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=60, check=False).returncode == 0
    except OSError:  # "Exec format error" where the kernel's 32-bit support is switched off
        return False


CASES = {name[len("case_"):]: func for name, func in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--exe", required=True, help="Corvanta.exe to test")
    parser.add_argument("--helpers", required=True, help="folder of recorder.exe and wintool.exe")
    parser.add_argument("--loader", default=os.environ.get("CORVANTA_WINE64", testbed.WINE64),
                        help="Wine loader to run the programs with")
    args = parser.parse_args()
    started = time.monotonic()
    session = None
    try:
        if args.case == "smoke32" and not loader_runs(args.loader):
            raise Skip(f"{args.loader} cannot run 32-bit code on this machine (the Wine recipe's qemu route "
                       "makes it run)")
        session = Session(args)
        CASES[args.case](session)
    except Skip as skip:
        print(f"SKIPPED {args.case}: {skip}")
        return SKIPPED
    except (Failure, TimeoutError) as failure:
        if session:
            session.failed = True
        print(f"FAILED {args.case}: {failure}")
        return 1
    finally:
        if session:
            session.close()
    print(f"passed {args.case} in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
