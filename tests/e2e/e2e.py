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
import contextlib
import fcntl
import hashlib
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))
import testbed  # noqa: E402

SKIPPED = 77
READY_TIMEOUT = 30
# Generous: when one of the program's windows closes, Wine without a window manager holds the program up to 2 s
# (it waits for a window manager to withdraw the window), and a loaded machine adds to that.
TYPING_TIMEOUT = 20
SETTINGS_KEY = r"HKCU\Software\Corvanta"
PROPERTIES_KEY = SETTINGS_KEY + r"\Properties"
OUTPUT_KEY = SETTINGS_KEY + r"\Output"
USER_POLICY_KEY = r"HKCU\Software\Policies\Corvanta\Output"
MACHINE_POLICY_KEY = r"HKLM\Software\Policies\Corvanta\Output"
RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
USER_RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
# The machine's Run key as 32-bit programs see it on 64-bit Windows, named as a 64-bit program reaches it.
RUN_KEY_32_BIT_VIEW = r"HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Run"
SPOOLER_PORTS_KEY = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\Ports"
MENU = ["CommPort Properties", "Run at Start Windows", "-", "About", "Monitor\u2026", "Output Settings\u2026", "-",
        "Exit"]
PROPERTIES = "CommPort Properties"
# Control ids of the properties dialog's lists and buttons.
PORT, SPEED, DATA_BITS, PARITY, STOP_BITS, FLOW, OK, CANCEL = 1001, 1002, 1003, 1004, 1005, 1006, 1, 2
# A place on the screen that no window of the tests covers: a click there closes a menu.
NOWHERE = (640, 1000)
MONITOR = "Monitor\u2026"
MONITOR_CLASS = "CorvantaMonitor"
MONITOR_TITLE = "Corvanta Monitor"
# Control ids of the Monitor.
RECORDS, COPY, CLEAR, SEND_TEXT, SEND, REQUEST, STATUS = 1202, 1203, 1204, 1206, 1207, 1208, 1209
# Where a case puts the Monitor: beside the recording window, which would be under it where it opens, and clear of
# NOWHERE.
MONITOR_PLACE = (540, 560)
# Whether the program gives the Monitor rows of the records it relays. Until the relay adds them to the record
# journal, the Monitor shows none: set this to True then, and the monitor case checks the rows as well.
RECORDS_MAKE_ROWS = False


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
        self.undo = []  # registry changes to take back at the end, newest last
        self.scaling = ""  # the screen's DPI where it is not 96, as in "-192dpi": menus differ with it

    def tool(self, name):
        return os.path.join(self.helpers, name + ".exe")

    # --- Wine processes -------------------------------------------------------------------------------------

    def wine(self, *args, timeout=30, loader=None):
        result = subprocess.run([loader or self.loader, *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
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

    # --- The user's hands: pointer, tray menu, dialogs ----------------------------------------------------------

    def click(self, x, y, button=1):
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", str(button)], check=True)

    def click_rect(self, rect, button=1):
        left, top, right, bottom = rect
        self.click((left + right) // 2, (top + bottom) // 2, button)

    def key(self, rect, *keys):
        """Presses keys with the pointer over RECT: without a window manager the X focus follows the pointer."""
        left, top, right, bottom = rect
        subprocess.run(["xdotool", "mousemove", str((left + right) // 2), str((top + bottom) // 2), "key", *keys],
                       check=True)

    def type_text(self, rect, text):
        """Types TEXT on the keyboard with the pointer over RECT."""
        left, top, right, bottom = rect
        subprocess.run(["xdotool", "mousemove", str((left + right) // 2), str((top + bottom) // 2), "type",
                        "--delay", "30", text], check=True)

    def windows(self, window_class):
        """Visible top-level windows of a class as (hwnd, (left, top, right, bottom), title)."""
        found = []
        for line in self.wintool("windows", window_class):
            head, _, title = line.partition("\t")
            fields = head.split()
            if len(fields) == 5:
                found.append((fields[0], tuple(int(f) for f in fields[1:]), title))
        return found

    def menus(self):
        return self.windows("#32768")

    def open_menu(self, button=1):
        """Clicks the tray icon with BUTTON and returns the pop-up menu's screen rectangle once it is shown. The
        menu opens where the pointer is when the program handles the click, so the pointer stays put until then."""
        check(not self.menus(), "a menu is open already")
        icons = self.tray_icons()
        check(len(icons) == 1, f"{len(icons)} tray icons, expected Corvanta's one")
        self.click_rect(icons[0], button)
        menus = testbed.wait_for(self.menus, 10, f"the tray menu after a click with button {button}")
        check(len(menus) == 1, f"{len(menus)} menus open after one click")
        return menus[0][1]

    def close_menu(self):
        self.click(*NOWHERE)
        testbed.wait_for(lambda: not self.menus(), 10, "the menu to close after a click elsewhere")

    def reference_menu(self, checked, captions=None):
        """Layout and picture of a menu that has the program's captions (MENU unless others are given), shown by
        wintool: another program's menu cannot be read, but it can be compared pixel by pixel with this one. Made
        once per test bed."""
        captions = captions or MENU
        variant = "" if captions == MENU else "-" + hashlib.sha1("|".join(captions).encode()).hexdigest()[:8]
        name = os.path.join(self.bed, f"reference-menu-{'checked' if checked else 'plain'}{variant}{self.scaling}")
        if not os.path.exists(name + ".png"):
            items = [("*" + c if checked and c == "Run at Start Windows" else c) for c in captions]
            # One stop file per menu: a case's first reference menu leaves its own behind.
            stop = os.path.join(self.dir, os.path.basename(name) + ".stop")
            proc = subprocess.Popen([self.loader, self.tool("wintool"), "refmenu", "700", "100",
                                     self.windows_path(stop), *items], stdin=subprocess.DEVNULL,
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            try:
                lines = proc.stdout.read1(4096).decode()
                while "shown" not in lines:
                    more = proc.stdout.read1(4096).decode()
                    check(more, f"wintool refmenu ended without showing its menu: {lines!r}")
                    lines += more
                rects = [tuple(int(f) for f in line.split()) for line in lines.splitlines() if len(line.split()) == 4]
                testbed.wait_for(lambda: self.painted(rects[0], name + ".png"), 10, "the reference menu's picture")
            finally:
                open(stop, "w").close()
                proc.wait(timeout=20)
            with open(name + ".txt", "w") as f:
                f.write(" ".join(",".join(map(str, r)) for r in rects))
        with open(name + ".txt") as f:
            rects = [tuple(int(v) for v in r.split(",")) for r in f.read().split()]
        return rects[0], rects[1:], name + ".png"

    def painted(self, rect, path):
        """Takes a picture of RECT; true once it is stable and shows more than a blank window."""
        self.screenshot(rect, path + ".new.png")
        colours = subprocess.run(["identify", "-format", "%k", path + ".new.png"], stdout=subprocess.PIPE,
                                 check=True).stdout
        stable = os.path.exists(path) and self.same_picture(path, path + ".new.png")
        os.replace(path + ".new.png", path)
        return stable and int(colours) > 2

    def screenshot(self, rect, path):
        left, top, right, bottom = rect
        subprocess.run(["import", "-window", "root", "-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage",
                        path], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    @staticmethod
    def same_picture(a, b):
        return subprocess.run(["compare", "-metric", "AE", a, b, "null:"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0

    def menu_looks_like(self, menu, checked):
        """Whether the open menu shows exactly the program's captions, with or without the check mark on "Run at
        Start Windows"; waits for the menu to be painted."""
        window, _, picture = self.reference_menu(checked)
        size = (window[2] - window[0], window[3] - window[1])
        if (menu[2] - menu[0], menu[3] - menu[1]) != size:
            return False
        shot = os.path.join(self.dir, "menu.png")
        try:
            testbed.wait_for(lambda: self.screenshot(menu, shot) or self.same_picture(shot, picture), 5,
                             "the menu to look like the reference")
            return True
        except TimeoutError:
            return False

    def check_menu(self, menu, checked):
        if not self.menu_looks_like(menu, checked):
            other = self.menu_looks_like(menu, not checked)
            mark = "with" if checked else "without"
            raise Failure(f"the tray menu does not show {MENU} {mark} a check mark on 'Run at Start Windows'"
                          + (" (it shows the other state)" if other else f"; see {os.path.join(self.dir, 'menu.png')}"))

    def choose(self, caption, button=1, menu=None, captions=None):
        """Opens the tray menu (unless MENU is given) and clicks the item with this caption; CAPTIONS are the
        menu's, when they are not the usual ones."""
        menu = menu or self.open_menu()
        _, items, _ = self.reference_menu(False, captions)
        left, top, right, bottom = items[(captions or MENU).index(caption)]
        self.click(menu[0] + (left + right) // 2, menu[1] + (top + bottom) // 2, button)
        testbed.wait_for(lambda: not self.menus(), 10, f"the menu to close after choosing {caption!r}")

    def dialogs(self, title):
        return [(hwnd, rect) for hwnd, rect, text in self.windows("#32770") if text == title]

    def wait_dialog(self, title, what=None):
        def shown():
            check(self.alive(), f"Corvanta.exe ended with status {self.program.returncode}")
            return self.dialogs(title)
        found = testbed.wait_for(shown, 15, what or f"the dialog {title!r}")
        check(len(found) == 1, f"{len(found)} windows titled {title!r}, expected one")
        return found[0][0]

    def about_boxes(self):
        """The About box: a dialog without a title that offers System Information."""
        return [hwnd for hwnd, _ in self.dialogs("") if "&System Info..." in self.controls(hwnd, by="text")]

    def controls(self, dialog, by="id"):
        """The dialog's children by id (or by text) as dicts of hwnd, class, rect, text."""
        found = {}
        for line in self.wintool("items", dialog):
            head, _, text = line.partition("\t")
            fields = head.split()
            if len(fields) == 7:
                control = {"id": int(fields[0]), "hwnd": fields[1], "class": fields[2],
                           "rect": tuple(int(f) for f in fields[3:]), "text": text}
                found[control[by]] = control
        return found

    def press(self, dialog, control_id):
        self.click_rect(self.controls(dialog)[control_id]["rect"])

    def selected(self, dialog):
        """The text each list of the properties dialog shows: the selected entry, or "" for none."""
        return {i: c["text"] for i, c in self.controls(dialog).items() if c["class"].lower() == "combobox"}

    def choose_entry(self, dialog, list_id, text):
        """Drops the list with a click and clicks its entry TEXT, scrolling the dropped list with the wheel."""
        combo = self.controls(dialog)[list_id]
        self.click_rect(combo["rect"])
        rows = testbed.wait_for(lambda: self.wintool("droplist"), 10, f"list {list_id} to drop")
        for _ in range(20):
            for row in rows:
                head, _, entry = row.partition("\t")
                if entry == text:
                    self.click_rect(tuple(int(f) for f in head.split()[1:]))
                    testbed.wait_for(lambda: self.selected(dialog)[list_id] == text and not self.wintool("droplist"),
                                     10, f"{text!r} to be chosen in list {list_id}")
                    return
            first = tuple(int(f) for f in rows[0].partition("\t")[0].split()[1:])
            subprocess.run(["xdotool", "mousemove", str(first[0] + 5), str(first[1] + 5), "click", "5"], check=True)
            rows = self.wintool("droplist")
        raise Failure(f"list {list_id} has no entry {text!r}: {[r.partition(chr(9))[2] for r in rows]}")

    def foreground(self):
        lines = self.wintool("foreground")
        return lines[0].split()[0] if lines else None

    # --- Settings -------------------------------------------------------------------------------------------

    def clear_settings(self):
        self.wine("reg", "delete", SETTINGS_KEY, "/f")
        check(self.stored("CommPort") is None, "HKCU\\Software\\Corvanta could not be cleared")

    def store(self, name, value):
        status, _ = self.wine("reg", "add", PROPERTIES_KEY, "/v", name, "/t", "REG_SZ", "/d", value, "/f")
        check(status == 0, f"could not store {name}={value!r}")

    def stored(self, name):
        """The stored REG_SZ value, or None when there is none."""
        kind, data = self.reg_value(PROPERTIES_KEY, name)
        return data if kind == "REG_SZ" else None

    def reg_value(self, key, name, loader=None):
        """(type, data) of a registry value as `reg query` shows it, or (None, None) when there is none. A 32-bit
        loader sees HKLM\\Software as 32-bit programs do (WOW6432Node)."""
        status, out = self.wine("reg", "query", key, "/v", name, loader=loader)
        if status != 0:
            return None, None
        for line in out.splitlines():
            fields = line.split(None, 2)
            if fields[:1] == [name] and len(fields) >= 2:
                return fields[1], fields[2] if len(fields) > 2 else ""
        return None, None

    def reg_add(self, key, name, data, kind="REG_SZ"):
        """Adds a value (REG_SZ unless KIND says otherwise) for this case only: the old state comes back when the
        case ends."""
        old_kind, old = self.reg_value(key, name)
        self.undo.append((key, name, old_kind, old))
        status, _ = self.wine("reg", "add", key, "/v", name, "/t", kind, "/d", str(data), "/f")
        check(status == 0, f"could not add {key}\\{name}")

    def reg_delete(self, key, name):
        kind, old = self.reg_value(key, name)
        if kind is not None:
            self.undo.append((key, name, kind, old))
            self.wine("reg", "delete", key, "/v", name, "/f")

    def restore_registry(self):
        for key, name, kind, old in reversed(self.undo):
            if kind is None:
                self.wine("reg", "delete", key, "/v", name, "/f")
            else:
                self.wine("reg", "add", key, "/v", name, "/t", kind, "/d", old, "/f")

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

    def receive(self, port, expected, what):
        """Reads what the program wrote into PORT's line until it is EXPECTED; fails on anything else."""
        fd = os.open(self.peer(port), os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
        got = b""
        try:
            def read():
                nonlocal got
                try:
                    got += os.read(fd, 4096)
                except BlockingIOError:
                    pass
                check(expected.startswith(got), f"{what}: the line got {got!r}, expected {expected!r}")
                return got == expected
            try:
                testbed.wait_for(read, TYPING_TIMEOUT, f"{expected!r} on {port}'s line")
            except TimeoutError:
                raise Failure(f"{what}: the line got {got!r}, expected {expected!r}") from None
        finally:
            os.close(fd)

    def written(self, port):
        """What the program wrote into PORT's line and nobody has read yet."""
        fd = os.open(self.peer(port), os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
        try:
            return os.read(fd, 65536)
        except BlockingIOError:
            return b""
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

    def line_drained(self, port):
        """Whether every byte written into the line has been read at the program's end: nothing waits in either
        pty. (A byte socat holds between the two is missed; callers only lose certainty, never a verdict.)"""
        waiting = 0
        for path, request in ((self.peer(port), termios.TIOCOUTQ),
                              (testbed.wine_side_path(self.bed, port), termios.FIONREAD)):
            fd = os.open(path, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
            try:
                waiting += struct.unpack("i", fcntl.ioctl(fd, request, b"\0\0\0\0"))[0]
            finally:
                os.close(fd)
        return waiting == 0

    def program_holds(self, device):
        """Whether the program's process has DEVICE open."""
        fd_dir = f"/proc/{self.program.pid}/fd"
        try:
            return any(os.readlink(os.path.join(fd_dir, fd)) == device for fd in os.listdir(fd_dir))
        except FileNotFoundError:
            return False

    def start_recorder(self, *options):
        self.record_file = os.path.join(self.dir, "typed.txt")
        self.spawn("recorder", self.tool("recorder"), self.windows_path(self.record_file), *options)
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
                          + (f"; Corvanta said: {said!r}" if said else "")
                          + f"; the foreground and its focus: {self.wintool('foreground')}") from None

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
        self.restore_registry()
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


def case_user_holds_shift(s):
    """A scan that arrives while the user holds Shift is typed as sent, not in capitals and with !@# for digits;
    the user's Shift is still down afterwards (a key typed by the user then is a capital)."""
    s.clear_settings()
    s.start_program()
    s.wait_ready()
    s.start_recorder()
    left, top, right, bottom = s.windows("CorvantaTestRecorder")[0][1]
    pointer = ["mousemove", str((left + right) // 2), str((top + bottom) // 2)]
    subprocess.run(["xdotool", *pointer, "keydown", "shift"], check=True)
    try:
        s.send("COM1", b"abc123\r")
        s.expect_typed("abc123\r\n", "a scan written while Shift was held")
        subprocess.run(["xdotool", *pointer, "key", "x"], check=True)
        s.expect_typed("abc123\r\nX", "the user's x while still holding Shift")
    finally:
        subprocess.run(["xdotool", "keyup", "shift"], check=True)


def case_relay_ansi(s):
    """Bytes above 127 are characters of the ANSI code page (1252 under Wine): E9 is é, 80 is €."""
    s.clear_settings()
    relay_and_expect(s, b"\xe9\x80", "\u00e9\u20ac")


def case_shaped_output(s):
    """With Suffix, LineEnd=tab, Encoding=utf-8 and a GS map set, a GS1 scan arrives shaped; a LineEnd changed
    while the program runs applies to a later scan without a restart."""
    s.clear_settings()
    for name, data in (("Suffix", "#"), ("LineEnd", "tab"), ("Encoding", "utf-8"),
                       ("ControlCharacters", "\\x1d=|;\\x04=")):
        s.reg_add(OUTPUT_KEY, name, data)
    s.start_program()
    s.wait_ready()
    check(not s.message_boxes("Corvanta"), "the output values were refused: "
          + "; ".join(s.message_text(box) for box in s.message_boxes("Corvanta")))
    s.start_recorder()
    first = "01|10AB\u00e9\u6f22#\t"
    # The UTF-8 character is split between two writes.
    s.send("COM1", b"01\x1d10AB\xc3")
    s.send("COM1", b"\xa9\xe6\xbc\xa2\x04\r\n")
    s.expect_typed(first, "a GS1 scan with a split UTF-8 character")

    s.reg_add(OUTPUT_KEY, "LineEnd", "enter")
    # The change arrives through a registry notification: scans go on until one ends with the new line end.
    scans = []

    def next_scan_shaped_anew():
        scans.append(1)
        s.send("COM1", b"X\r")
        typed = testbed.wait_for(lambda: s.typed().count("X") == len(scans) and s.typed().endswith(("\t", "\n"))
                                 and s.typed(), TYPING_TIMEOUT, "a whole scan to be typed")
        return typed.endswith("X#\r\n")

    testbed.wait_for(next_scan_shaped_anew, 30, "a changed LineEnd to apply")
    typed = s.typed()
    check(re.fullmatch(re.escape(first) + r"(X#\t)*X#\r\n", typed), f"the recording window holds {typed!r}")


def case_output_policy_order(s):
    """One value (Suffix) in the three places it is read from: the user's own key, then a user policy, then a
    computer policy, then the computer policy removed again. A user policy beats the user's value, a computer
    policy beats both, and each change applies to a later scan without a restart."""
    s.clear_settings()
    for key in (USER_POLICY_KEY, MACHINE_POLICY_KEY):
        s.reg_delete(key, "Suffix")
    s.reg_add(OUTPUT_KEY, "Suffix", "-user")
    s.start_program()
    s.wait_ready()
    check(not s.message_boxes("Corvanta"), "the output values were refused: "
          + "; ".join(s.message_text(box) for box in s.message_boxes("Corvanta")))
    s.start_recorder()
    scans = []

    def scan_with(suffix):
        """Writes one scan; whether it came out with the suffix. The change arrives through a registry
        notification, so scans go on until one shows it."""
        scans.append(1)
        s.send("COM1", b"X\r")
        typed = testbed.wait_for(lambda: s.typed().count("\r\n") == len(scans) and s.typed(), TYPING_TIMEOUT,
                                 "a whole scan to be typed")
        return typed.endswith(f"X{suffix}\r\n")

    steps = (("the user's own value", lambda: None, "-user"),
             ("a user policy", lambda: s.reg_add(USER_POLICY_KEY, "Suffix", "-user-policy"), "-user-policy"),
             ("a computer policy", lambda: s.reg_add(MACHINE_POLICY_KEY, "Suffix", "-computer"), "-computer"),
             ("the computer policy removed", lambda: s.reg_delete(MACHINE_POLICY_KEY, "Suffix"), "-user-policy"))
    for what, change, suffix in steps:
        change()
        try:
            testbed.wait_for(lambda: scan_with(suffix), 30, f"the suffix of {what}")
        except TimeoutError:
            last = s.typed().split("\r\n")[-2:-1]
            raise Failure(f"with {what} {len(scans)} scans in 30 s, the last came out as {last}, expected "
                          f"X{suffix}") from None
    # Every scan has one of the suffixes, and they changed in the order of the steps.
    lines = s.typed().split("\r\n")[:-1]
    order = [line for i, line in enumerate(lines) if i == 0 or line != lines[i - 1]]
    check(order == [f"X{suffix}" for _, _, suffix in steps], f"the scans came out as {lines}")


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


# --- The tray menu and its commands ----------------------------------------------------------------------------

def start_with_com1(s):
    s.clear_settings()
    s.start_program()
    s.wait_ready()
    return os.path.realpath(testbed.wine_side_path(s.bed, "COM1"))


def case_menu_buttons(s):
    """Releasing the left or the right button over the tray icon opens the menu with the program's captions;
    a click elsewhere closes it."""
    s.reg_delete(RUN_KEY, "Corvanta")
    start_with_com1(s)
    for button, name in ((1, "left"), (3, "right")):
        try:
            menu = s.open_menu(button)
        except TimeoutError as error:
            raise Failure(f"{name} button: {error}") from None
        s.check_menu(menu, checked=False)
        s.close_menu()


def properties_dialog(s):
    s.choose("CommPort Properties")
    return s.wait_dialog(PROPERTIES)


def case_properties_ok(s):
    """Another port and other line settings chosen with the mouse and OK: the open port moves to COM3 at 19200
    baud with 2 stop bits, the store holds the new values, and a restart opens COM3 with them.

    Parity and data bits stay at None and 8 here: Wine refuses to change them on an open pty ("Invalid
    parameter"), which only ever has 8 bits without parity; stored_port_above_10 covers them at start-up."""
    com1 = start_with_com1(s)
    dialog = properties_dialog(s)
    initial = s.selected(dialog)
    check(initial == {PORT: "COM1:", SPEED: "9600", DATA_BITS: "8", PARITY: "None", STOP_BITS: "1", FLOW: "None"},
          f"the dialog opened with {initial}, expected the live COM1 at 9600,n,8,1 without flow control")
    testbed.forget_parity(s.bed, "COM3")
    for list_id, text in ((PORT, "COM3:"), (SPEED, "19200"), (STOP_BITS, "2"), (FLOW, "RTS")):
        s.choose_entry(dialog, list_id, text)
    s.press(dialog, OK)
    try:
        testbed.wait_for(lambda: not s.dialogs(PROPERTIES), 10, "the dialog to close after OK")
    except TimeoutError:
        said = "; ".join(s.message_text(box) for box in s.message_boxes("Corvanta"))
        raise Failure(f"the dialog stayed open after OK; Corvanta said: {said!r}") from None
    stored = {name: s.stored(name) for name in ("CommPort", "Settings", "Handshaking")}
    check(stored == {"CommPort": "3", "Settings": "19200,n,8,2", "Handshaking": "2"},
          f"the store holds {stored}, expected CommPort 3, Settings 19200,n,8,2, Handshaking 2")
    com3 = os.path.realpath(testbed.wine_side_path(s.bed, "COM3"))
    check(s.program_holds(com3) and not s.program_holds(com1), "the open port did not move from COM1 to COM3")
    speed, stop_bits = s.line_settings("COM3")
    check((speed, stop_bits) == (19200, 2), f"COM3 runs at {speed} baud with {stop_bits} stop bits, expected 19200, 2")
    s.start_recorder()
    s.send("COM3", b"after OK\r")
    s.expect_typed("after OK\r\n", "bytes written into COM3 after OK")

    # A restart takes the stored settings.
    s.kill(s.program)
    testbed.wait_for(s.tray_flushed, 10, "the tray icon of the ended program to go")
    testbed.forget_parity(s.bed, "COM3")
    s.start_program()
    s.wait_ready()
    testbed.wait_for(lambda: s.program_holds(com3), 10, "the restarted program to open COM3")
    check(s.line_settings("COM3") == (19200, 2), f"after a restart COM3 runs at {s.line_settings('COM3')}")
    s.send("COM3", b"restart\r")
    s.expect_typed("after OK\r\nrestart\r\n", "bytes written into COM3 after a restart")


def case_properties_cancel(s):
    """Changing the lists and then leaving by Cancel or by Esc changes nothing: COM1 stays open at its settings
    and nothing is stored."""
    com1 = start_with_com1(s)
    every_list = ((PORT, "COM3:"), (SPEED, "19200"), (PARITY, "Even"), (DATA_BITS, "7"), (STOP_BITS, "2"),
                  (FLOW, "RTS"))
    ways = (("the Cancel button", every_list, lambda d: s.press(d, CANCEL)),
            ("the Esc key", every_list[:2], lambda d: s.key(s.controls(d)[OK]["rect"], "Escape")))
    for way, changes, leave in ways:
        dialog = properties_dialog(s)
        for list_id, text in changes:
            s.choose_entry(dialog, list_id, text)
        leave(dialog)
        testbed.wait_for(lambda: not s.dialogs(PROPERTIES), 10, f"the dialog to close by {way}")
        check(all(s.stored(name) is None for name in ("CommPort", "Settings", "Handshaking")),
              f"leaving by {way} stored settings")
        check(s.program_holds(com1), f"COM1 is no longer open after leaving by {way}")
        check(s.line_settings("COM1") == (9600, 1), f"COM1's settings changed after leaving by {way}")
    s.start_recorder()
    s.send("COM1", b"still COM1\r")
    s.expect_typed("still COM1\r\n", "bytes written into COM1 after Cancel")


def case_properties_port_fails(s):
    """A listed port that cannot be opened (COM7, known to the spooler but to no device): one message box naming
    it, the old port number comes back (the dialog preselects it again) and nothing is stored."""
    com1 = start_with_com1(s)
    s.reg_add(SPOOLER_PORTS_KEY, "COM7:", "")
    dialog = properties_dialog(s)
    s.choose_entry(dialog, PORT, "COM7:")
    s.press(dialog, OK)

    def box():
        check(s.alive(), f"Corvanta.exe ended with status {s.program.returncode}")
        return s.message_boxes("Corvanta")
    boxes = testbed.wait_for(box, 15, "a message box titled 'Corvanta'")
    check(len(boxes) == 1, f"{len(boxes)} message boxes titled 'Corvanta', expected one")
    message = s.message_text(boxes[0])
    print(f"message box: {message!r}")
    check("COM7" in message, f"the message does not name COM7: {message!r}")
    s.click_rect(s.controls(boxes[0], by="text")["OK"]["rect"])
    testbed.wait_for(lambda: not s.message_boxes("Corvanta"), 10, "the message box to close")
    check(s.dialogs(PROPERTIES), "the dialog closed although the port could not be opened")
    check(not s.message_boxes("Corvanta"), "a second message box followed the first")
    check(not s.program_holds(com1), "the old port is open again after a failed switch; it must stay closed")
    check(all(s.stored(name) is None for name in ("CommPort", "Settings", "Handshaking")),
          "settings were stored although the port could not be opened")
    s.press(dialog, CANCEL)
    testbed.wait_for(lambda: not s.dialogs(PROPERTIES), 10, "the dialog to close by Cancel")

    dialog = properties_dialog(s)
    port = s.selected(dialog)[PORT]
    check(port == "COM1:", f"after the failed switch the dialog preselects {port!r}, expected the old 'COM1:'")
    s.press(dialog, CANCEL)
    testbed.wait_for(lambda: not s.dialogs(PROPERTIES), 10, "the dialog to close")


def case_auto_start(s):
    """"Run at Start Windows" writes the quoted path of the program under the machine's Run key and checks the
    item; a second click removes the value and the check mark."""
    s.reg_delete(RUN_KEY, "Corvanta")
    start_with_com1(s)
    expected = '"' + s.windows_path(s.exe) + '"'
    for click, present in ((1, True), (2, False)):
        menu = s.open_menu()
        s.check_menu(menu, checked=not present)
        s.choose("Run at Start Windows", menu=menu)
        want = ("REG_SZ", expected) if present else (None, None)
        try:
            testbed.wait_for(lambda: s.reg_value(RUN_KEY, "Corvanta") == want, 10, "the Run value")
        except TimeoutError:
            raise Failure(f"click {click}: the Run value is {s.reg_value(RUN_KEY, 'Corvanta')}, expected "
                          f"{want}") from None
    menu = s.open_menu()
    s.check_menu(menu, checked=False)
    s.close_menu()


def case_about(s):
    """"About" shows the About box; "System Info..." ends in the message that System Information is unavailable
    (Wine registers no such tool); OK closes the box."""
    for key, name in ((r"HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO", "PATH"),
                      (r"HKLM\SOFTWARE\Microsoft\Shared Tools Location", "MSINFO")):
        check(s.reg_value(key, name) == (None, None), f"{key}\\{name} exists: this prefix registers System Information")
    start_with_com1(s)
    s.choose("About")
    boxes = testbed.wait_for(s.about_boxes, 15, "the About box")
    check(len(boxes) == 1, f"{len(boxes)} About boxes, expected one")
    about = boxes[0]
    texts = s.controls(about, by="text")
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "res", "corvanta_publisher.h")) as f:
        publisher = re.search(r'^#define CORVANTA_PUBLISHER "(.*)"$', f.read(), re.M).group(1)
    for text in ("Corvanta", "Version 1.0.0", publisher, "MIT License", "&Ok"):
        check(text in texts, f"the About box does not show {text!r}: {sorted(texts)}")
    # Every line of the publisher and the licences fits its place in the layout: the dialog widens a label only
    # for a text that would not fit.
    _, dpi = s.reg_value(r"HKCU\Control Panel\Desktop", "LogPixels")
    dpi = int(dpi, 0) if dpi else 96
    controls = s.controls(about)
    for control_id, twips in ((1220, 4335), (1221, 2025), (1222, 4335), (1223, 2025)):
        left, _, right, _ = controls[control_id]["rect"]
        check(right - left == (twips * dpi + 720) // 1440,
              f"the About box's line {controls[control_id]['text']!r} is {right - left} pixels wide at {dpi} dpi, "
              f"wider than its {twips} twips")
    s.press(about, s.controls(about, by="text")["&System Info..."]["id"])
    boxes = testbed.wait_for(lambda: s.message_boxes("Corvanta"), 15, "a message box titled 'Corvanta'")
    check(len(boxes) == 1, f"{len(boxes)} message boxes, expected one")
    message = s.message_text(boxes[0])
    check(message == "System Information Is Unavailable At This Time", f"the message is {message!r}")
    s.click_rect(s.controls(boxes[0], by="text")["OK"]["rect"])
    testbed.wait_for(lambda: not s.message_boxes("Corvanta"), 10, "the message box to close")
    check(s.about_boxes() == [about], "the About box closed with the message box")
    s.press(about, texts["&Ok"]["id"])
    testbed.wait_for(lambda: not s.about_boxes(), 10, "the About box to close by OK")
    check(s.alive(), "Corvanta.exe ended when the About box closed")


def case_exit(s):
    """"Exit", WM_CLOSE (an installer or the Restart Manager closing the program), the session's end
    (WM_QUERYENDSESSION + WM_ENDSESSION with ENDSESSION_CLOSEAPP) and a start with /exit each remove the tray icon
    and end the program cleanly, its port closed. /exit against a copy that does not answer ends with exit code 1
    and shows nothing."""
    WM_CLOSE, WM_QUERYENDSESSION, WM_ENDSESSION, ENDSESSION_CLOSEAPP = 0x10, 0x11, 0x16, 0x1

    def post(*messages):
        forms = s.wintool("forms", "CorvantaMainForm")
        check(len(forms) == 1, f"{len(forms)} main forms, expected one")
        for message, wparam, lparam in messages:
            check(s.wine(s.tool("wintool"), "post", forms[0], str(message), str(wparam), str(lparam))[0] == 0,
                  f"posting message {message:#x} to the main form failed")

    def ask_exit_switch():
        status = s.wine(s.exe, "/exit", timeout=30)[0]
        check(status == 0, f"Corvanta.exe /exit ended with status {status}")

    ways = (("Exit", lambda: s.choose("Exit")),
            ("WM_CLOSE", lambda: post((WM_CLOSE, 0, 0))),
            ("the session's end", lambda: post((WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP),
                                               (WM_ENDSESSION, 1, ENDSESSION_CLOSEAPP))),
            ("/exit", ask_exit_switch))
    for way, ask in ways:
        com1 = start_with_com1(s)
        ask()
        try:
            testbed.wait_for(lambda: not s.alive(), 15, f"the program to end after {way}")
        except TimeoutError:
            raise Failure(f"Corvanta.exe still runs 15 s after {way}") from None
        check(s.program.returncode == 0, f"Corvanta.exe ended with status {s.program.returncode} after {way}")
        # No pointer over the tray now: an icon left behind would stay until Wine relays a mouse message to it.
        check(not s.tray_icons() and not s.tray_shown(), f"the tray icon is still shown after {way}")
        check(not s.program_holds(com1), f"COM1 is still open after {way}")
        s.send("COM1", b"after exit\r")  # the line is free: writing into it does not block or fail

    # A switch that fails says so by its exit code alone: an installer may run it in session 0, where nobody could
    # answer a message box. Here /exit against a copy that does not answer (stopped) gives up after its wait.
    start_with_com1(s)
    os.kill(s.program.pid, signal.SIGSTOP)
    try:
        status = s.wine(s.exe, "/exit", timeout=30)[0]
    finally:
        os.kill(s.program.pid, signal.SIGCONT)
    check(status == 1, f"Corvanta.exe /exit ended with status {status} while the running copy did not answer")
    # Answering again, the copy handles the request that waited for it.
    testbed.wait_for(lambda: not s.alive(), 15, "the program to end once it answers again")


def case_tray_click_over_dialog(s):
    """A tray click while the properties dialog is open brings the dialog to the front; no menu and no second
    dialog open."""
    start_with_com1(s)
    dialog = properties_dialog(s)
    s.start_recorder("Corvanta test window", "once")
    check(s.foreground() != dialog, "the dialog is still in front after another window took the foreground")
    icons = s.tray_icons()
    s.click_rect(icons[0])
    try:
        testbed.wait_for(lambda: s.foreground() == dialog, 10, "the dialog to come to the front")
    except TimeoutError:
        raise Failure(f"the dialog is not in front after a tray click; the foreground is "
                      f"{s.wintool('foreground')}") from None
    check(not s.menus(), "a tray click over an open dialog opened the menu")
    check(len(s.dialogs(PROPERTIES)) == 1, "a tray click over an open dialog opened a second dialog")
    s.press(dialog, CANCEL)
    testbed.wait_for(lambda: not s.dialogs(PROPERTIES), 10, "the dialog to close")


def case_held_while_dialog_has_focus(s):
    """A scan that arrives while the properties dialog has the focus is not typed into the dialog, where its
    Enter would press OK: it waits, and arrives in the user's window once that has the focus again."""
    start_with_com1(s)
    s.start_recorder("Corvanta test window", "once")
    dialog = properties_dialog(s)
    testbed.wait_for(lambda: s.foreground() == dialog, 10, "the dialog to take the focus")
    s.send("COM1", b"held back\r")
    testbed.wait_for(lambda: s.line_drained("COM1"), 10, "the program to read the scan")
    check(s.dialogs(PROPERTIES), "the dialog closed when the scan arrived: its keys were typed into it")
    check(s.typed() == "", f"the recording window got {s.typed()!r} while the dialog had the focus")
    s.press(dialog, CANCEL)
    testbed.wait_for(lambda: not s.dialogs(PROPERTIES), 10, "the dialog to close")
    check(all(s.stored(name) is None for name in ("CommPort", "Settings", "Handshaking")),
          "settings were stored: the scan's keys worked the dialog")
    recorder = s.windows("CorvantaTestRecorder")
    check(len(recorder) == 1, f"{len(recorder)} recording windows")
    s.click_rect(recorder[0][1])
    s.expect_typed("held back\r\n", "a scan that arrived while the dialog had the focus")


def case_second_instance(s):
    """Starting the program again while it runs says so and ends; the running copy keeps its icon and its port.
    After Exit, a start at once runs again."""
    com1 = start_with_com1(s)
    second = s.spawn("corvanta-second", s.exe)
    boxes = testbed.wait_for(lambda: s.message_boxes("Corvanta"), READY_TIMEOUT, "the second start's message")
    message = s.message_text(boxes[0])
    check("already running" in message, f"the second start said {message!r}")
    check(s.wine(s.tool("wintool"), "click", boxes[0], "OK")[0] == 0,
          f"the message box has no OK button: {s.wintool('texts', boxes[0])}")
    try:
        second.wait(timeout=15)
    except subprocess.TimeoutExpired:
        raise Failure("the second start still runs after its message was answered") from None
    check(second.returncode == 0, f"the second start ended with status {second.returncode}")
    check(len(s.tray_icons()) == 1, f"{len(s.tray_icons())} tray icons after a second start")
    check(s.alive() and s.program_holds(com1), "the running copy lost its port to the second start")
    s.start_recorder()
    s.send("COM1", b"first copy\r")
    s.expect_typed("first copy\r\n", "bytes written into COM1 after a second start")

    # The next start comes as soon as the icon has gone, while the first copy may still be closing its port.
    first = s.program
    s.choose("Exit")
    s.start_program()
    s.wait_ready()
    check(not s.message_boxes("Corvanta"), "a start right after Exit was taken for a second copy")
    check(first.poll() is not None, "the first copy still runs after Exit")
    testbed.wait_for(lambda: s.program_holds(com1), 10, "the new start to open COM1")


# --- The Monitor ----------------------------------------------------------------------------------------------

def monitors(s):
    return [(hwnd, rect) for hwnd, rect, title in s.windows(MONITOR_CLASS) if title == MONITOR_TITLE]


def open_monitor(s, move=True, by_keys=False):
    """Chooses "Monitor…" (by a click, or with the keys) and returns the new Monitor's window, moved beside the
    recording window."""
    if by_keys:
        # Home selects the first item, Down each next one past the separators.
        menu = s.open_menu()
        s.key(menu, "Home", *["Down"] * (MENU.index(MONITOR) - MENU[:MENU.index(MONITOR)].count("-")), "Return")
        testbed.wait_for(lambda: not s.menus(), 10, f"the menu to close after choosing {MONITOR!r}")
    else:
        s.choose(MONITOR)
    found = testbed.wait_for(lambda: monitors(s), 15, "the Monitor")
    check(len(found) == 1, f"{len(found)} Monitors, expected one")
    hwnd = found[0][0]
    if not move:
        return hwnd
    s.wintool("move", hwnd, *map(str, MONITOR_PLACE))
    testbed.wait_for(lambda: monitors(s) and monitors(s)[0][1][:2] == MONITOR_PLACE, 10, "the Monitor to move")
    return hwnd


def monitor_rows(s, monitor):
    """The Monitor's rows as lists of their cells: time, received, typed, status."""
    return [line.split("\t")[1:] for line in s.wintool("listrows", s.controls(monitor)[RECORDS]["hwnd"])]


def monitor_says(s, monitor):
    return s.controls(monitor)[STATUS]["text"]


def case_monitor(s):
    """"Monitor…" opens the Monitor in front, and again brings the same one to the front. What is typed into its
    Send box, escapes resolved, goes to the line on Enter. While the Monitor has the focus a scan waits, and arrives
    in the user's window once that has the focus again; its row shows it waiting, then typed (once records make
    rows). Clear empties the list; Esc closes the Monitor, and a new one starts empty."""
    start_with_com1(s)
    s.start_recorder("Corvanta test window", "once")
    recorder = s.windows("CorvantaTestRecorder")[0]
    monitor = open_monitor(s)
    testbed.wait_for(lambda: s.foreground() == monitor, 10, "the Monitor to come to the front")
    s.click_rect(recorder[1])
    testbed.wait_for(lambda: s.foreground() == recorder[0], 10, "the recording window to take the foreground")
    s.choose(MONITOR)
    try:
        testbed.wait_for(lambda: s.foreground() == monitor, 10, "the Monitor to come to the front again")
    except TimeoutError:
        raise Failure(f"choosing {MONITOR!r} again left the foreground at {s.wintool('foreground')}") from None
    check([hwnd for hwnd, _ in monitors(s)] == [monitor], f"choosing {MONITOR!r} again opened {monitors(s)}")

    box = s.controls(monitor)[SEND_TEXT]["rect"]
    s.click_rect(box)
    command = r"\x02P\r\n"
    s.type_text(box, command)
    testbed.wait_for(lambda: s.controls(monitor)[SEND_TEXT]["text"] == command, 10, "the Send box to show the text")
    s.key(box, "Return")
    s.receive("COM1", b"\x02P\r\n", "Enter in the Send box")
    said = monitor_says(s, monitor)
    check(said == r"Sent 4 bytes to COM1: \x02P\r\n", f"after Send the Monitor says {said!r}")

    s.send("COM1", b"held back\r")
    testbed.wait_for(lambda: s.line_drained("COM1"), 10, "the program to read the scan")
    if RECORDS_MAKE_ROWS:
        testbed.wait_for(lambda: [r[1:] for r in monitor_rows(s, monitor)] == [["held back\\r", "held back\u21b5",
                                                                               "waiting"]],
                         10, "the scan's row, waiting")
    check(s.typed() == "", f"the recording window got {s.typed()!r} while the Monitor had the focus")
    check(s.controls(monitor)[SEND_TEXT]["text"] == command, "the scan was typed into the Send box")
    s.click_rect(recorder[1])
    s.expect_typed("held back\r\n", "a scan that arrived while the Monitor had the focus")
    check(s.written("COM1") == b"", "the scan's keys worked the Monitor: something more went to the line")
    if RECORDS_MAKE_ROWS:
        testbed.wait_for(lambda: [r[3] for r in monitor_rows(s, monitor)] == ["typed"], 10, "the row to say typed")

    s.click_rect(s.controls(monitor)[CLEAR]["rect"])
    testbed.wait_for(lambda: monitor_rows(s, monitor) == [], 10, "Clear to empty the list")
    rect = monitors(s)[0][1]
    s.key(rect, "Escape")
    testbed.wait_for(lambda: not monitors(s), 10, "Esc to close the Monitor")
    check(s.alive(), "Corvanta.exe ended when the Monitor closed")
    s.click_rect(recorder[1])
    testbed.wait_for(lambda: s.foreground() == recorder[0], 10, "the recording window to take the foreground")
    s.send("COM1", b"closed\r")
    s.expect_typed("held back\r\nclosed\r\n", "a scan after the Monitor closed")
    monitor = open_monitor(s)
    check(monitor_rows(s, monitor) == [], f"a new Monitor shows {monitor_rows(s, monitor)}")


def case_smoke32(s):
    """The 32-bit build starts, shows its icon and types what arrives."""
    s.clear_settings()
    relay_and_expect(s, b"12345\r", "12345\r\n")


def case_smoke32_auto_start_view(s):
    """The 32-bit build keeps the auto-start entry where the 64-bit program and the x64 package look: /autostart on
    writes it in the 64-bit view, not under WOW6432Node. /uninstall-cleanup removes it there and in every loaded
    user hive, and leaves a user's entry that names another copy."""
    native = os.environ.get("CORVANTA_WINE64", testbed.WINE64)
    ours = '"' + s.windows_path(s.exe) + '"'
    other_copy = r'"D:\Tools\Corvanta.exe"'
    _, hives = s.wine("reg", "query", "HKU", loader=native)
    hive = next((line.strip() for line in hives.splitlines() if line.strip().upper() == r"HKEY_USERS\.DEFAULT"),
                None)
    check(hive, f"HKEY_USERS lists no .DEFAULT hive: {hives!r}")
    hive_run_key = hive + r"\Software\Microsoft\Windows\CurrentVersion\Run"
    keys = (RUN_KEY, RUN_KEY_32_BIT_VIEW, USER_RUN_KEY, hive_run_key)

    def entries():
        return {key: s.reg_value(key, "Corvanta", loader=native)[1] for key in keys}

    def clear():
        for key in keys:
            s.wine("reg", "delete", key, "/v", "Corvanta", "/f", loader=native)

    def switch(*arguments):
        status = s.wine(s.exe, *arguments, timeout=60)[0]
        check(status == 0, f"Corvanta.exe {' '.join(arguments)} ended with status {status}; entries {entries()}")

    clear()
    try:
        switch("/autostart", "on")
        check(entries() == {RUN_KEY: ours, RUN_KEY_32_BIT_VIEW: None, USER_RUN_KEY: None, hive_run_key: None},
              f"/autostart on of the 32-bit build left the entries {entries()}, expected {ours} in {RUN_KEY} only "
              "(64-bit view)")
        for key, data in ((USER_RUN_KEY, other_copy), (hive_run_key, ours)):
            status, _ = s.wine("reg", "add", key, "/v", "Corvanta", "/t", "REG_SZ", "/d", data, "/f", loader=native)
            check(status == 0, f"could not add {key}\\Corvanta")
        switch("/uninstall-cleanup")
        check(entries() == {RUN_KEY: None, RUN_KEY_32_BIT_VIEW: None, USER_RUN_KEY: other_copy, hive_run_key: None},
              f"/uninstall-cleanup left the entries {entries()}, expected only the other copy's in {USER_RUN_KEY}")
    finally:
        clear()


# --- README screenshots ----------------------------------------------------------------------------------------

SCREENSHOTS = ("tray-menu.png", "properties-dialog.png", "about-box.png", "monitor.png", "monitor-200.png")
DESKTOP_KEY = r"HKCU\Control Panel\Desktop"


def take_screenshots(s, out_dir):
    """Pictures of the tray menu, the properties dialog and the About box, each cropped to its window."""
    os.makedirs(out_dir, exist_ok=True)
    s.reg_delete(RUN_KEY, "Corvanta")
    start_with_com1(s)
    icon = s.tray_icons()[0]
    menu = s.open_menu()
    s.check_menu(menu, checked=False)
    # The icon and the menu it opened, with a margin of the empty screen around them.
    area = (max(0, icon[0] - 4), max(0, icon[1] - 4), menu[2] + 4, menu[3] + 4)
    shoot(s, area, os.path.join(out_dir, SCREENSHOTS[0]))
    s.close_menu()

    dialog = properties_dialog(s)
    shoot(s, dict((h, r) for h, r in s.dialogs(PROPERTIES))[dialog], os.path.join(out_dir, SCREENSHOTS[1]),
          trim=True)
    s.press(dialog, CANCEL)
    testbed.wait_for(lambda: not s.dialogs(PROPERTIES), 10, "the dialog to close")

    s.choose("About")
    about = testbed.wait_for(s.about_boxes, 15, "the About box")[0]
    shoot(s, dict(s.dialogs(""))[about], os.path.join(out_dir, SCREENSHOTS[2]), trim=True)
    s.press(about, s.controls(about, by="text")["&Ok"]["id"])
    testbed.wait_for(lambda: not s.about_boxes(), 10, "the About box to close")

    shoot_monitor(s, os.path.join(out_dir, SCREENSHOTS[3]))
    with at_200_percent(s):
        start_with_com1(s)
        shoot_monitor(s, os.path.join(out_dir, SCREENSHOTS[4]))


@contextlib.contextmanager
def at_200_percent(s):
    """Ends the running program and sets 200 % scaling for the next start (Wine reads LogPixels when a process
    starts); the scaling before comes back afterwards."""
    kind, old_dpi = s.reg_value(DESKTOP_KEY, "LogPixels")
    s.kill(s.program)
    testbed.wait_for(s.tray_flushed, 10, "the tray icon of the ended program to go")
    s.wine("reg", "add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", "192", "/f")
    s.scaling = "-192dpi"
    try:
        yield
    finally:
        s.scaling = ""
        if kind is None:
            s.wine("reg", "delete", DESKTOP_KEY, "/v", "LogPixels", "/f")
        else:
            s.wine("reg", "add", DESKTOP_KEY, "/v", "LogPixels", "/t", kind, "/d", old_dpi, "/f")


def shoot_monitor(s, path):
    """The Monitor where it opens, after a command was sent to the device (and the records it answered with, once
    records make rows). The menu is worked with the keys: a reference menu to click by is made at 96 dpi only."""
    monitor = open_monitor(s, move=False, by_keys=True)
    box = s.controls(monitor)[SEND_TEXT]["rect"]
    s.click_rect(box)
    s.type_text(box, r"SI\r\n")
    s.click_rect(s.controls(monitor)[SEND]["rect"])
    s.receive("COM1", b"SI\r\n", "the Send button")
    if RECORDS_MAKE_ROWS:
        for record in (b"S S      12.345 g\r\n", b"S S      12.350 g\r\n", b"S D      12.3\r\n"):
            s.send("COM1", record)
        testbed.wait_for(lambda: len(monitor_rows(s, monitor)) == 3, 10, "three rows")
    shoot(s, dict(monitors(s))[monitor], path, trim=True)
    s.key(dict(monitors(s))[monitor], "Escape")
    testbed.wait_for(lambda: not monitors(s), 10, "the Monitor to close")


def shoot(s, rect, path, trim=False):
    subprocess.run(["xdotool", "mousemove", *map(str, NOWHERE)], check=True)
    work = os.path.join(s.dir, os.path.basename(path))
    testbed.wait_for(lambda: s.painted(rect, work), 10, f"a stable picture for {path}")
    # Without a window manager a dialog has no frame: its window rectangle shows the empty (black) screen to the
    # right and below the client area, which trimming removes. Dates are left out, so an unchanged window gives
    # an unchanged file.
    crop = ["-bordercolor", "black", "-border", "1", "-trim", "+repage"] if trim else []
    subprocess.run(["convert", work, *crop, "-strip", "-define", "png:exclude-chunks=date,time", path], check=True)
    print(f"wrote {path}")


def loader_runs(loader):
    try:
        return subprocess.run([loader, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=60, check=False).returncode == 0
    except OSError:  # "Exec format error" where the kernel's 32-bit support is switched off
        return False


CASES = {name[len("case_"):]: func for name, func in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("case", choices=sorted(CASES) + ["screenshots"], help="a case, or 'screenshots' for the "
                        "README's pictures")
    parser.add_argument("--exe", required=True, help="Corvanta.exe to test")
    parser.add_argument("--helpers", required=True, help="folder of recorder.exe and wintool.exe")
    parser.add_argument("--out", default="docs", help="folder of the screenshots (default: %(default)s)")
    parser.add_argument("--loader", default=os.environ.get("CORVANTA_WINE64", testbed.WINE64),
                        help="Wine loader to run the programs with")
    args = parser.parse_args()
    started = time.monotonic()
    session = None
    try:
        if args.case.startswith("smoke32") and not loader_runs(args.loader):
            raise Skip(f"{args.loader} cannot run 32-bit code on this machine (the Wine recipe's qemu route "
                       "makes it run)")
        session = Session(args)
        if args.case == "screenshots":
            take_screenshots(session, os.path.abspath(args.out))
        else:
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
