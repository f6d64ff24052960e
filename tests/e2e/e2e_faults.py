#!/usr/bin/env python3
"""End-to-end fault cases: Corvanta.exe under Wine when things go wrong around it.

    e2e_faults.py CASE --exe Corvanta.exe --helpers DIR [--loader WINE]

Same bed, sessions and exit status as e2e.py, whose machinery this driver reuses; the typing target here is
faulttool.exe's fast recorder, which records WM_CHAR without an edit control's redraw cost.
"""
import os
import random
import select
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import Failure, check, testbed  # noqa: E402

STREAM_BYTES = 64 * 1024
# Typing that makes no progress for this long fails the case: characters were lost, or the relay stalled.
STALL_SECONDS = 20
# A hang guard only: under Wine a flooded window takes 1,000 to 3,000 keys a second, whoever sends them.
STREAM_TIMEOUT = 150
# Written in pieces, as a device would: each piece is in the pty before the next one.
STREAM_PIECE = 4096
# The backlog case: what the writer tries to send, the text that may wait to be typed (the typing queue's limit,
# one unit a byte here), what the relay, the serial session, the reader and the two pseudo-terminals hold beyond it,
# and the memory the program may take meanwhile.
BACKLOG_STREAM = 4 * 1024 * 1024
BACKLOG_QUEUE = 1024 * 1024
BACKLOG_SLACK = 1024 * 1024
BACKLOG_MEMORY_KIB = 64 * 1024
# The line has taken nothing for this long once the backlog is full: the writer is held.
BACKLOG_HELD_S = 3
# Typing all of the backlog takes minutes under Wine; its start, in order, shows that typing goes on where it stopped
# (the serial contract shows that nothing is lost on the way).
BACKLOG_TYPED = 16 * 1024
# Written once the stream is typed: whatever the program types after the stream would come before it.
END_MARKER = b"<end of stream>"


def faulttool(s, *args):
    return s.wine(s.tool("faulttool"), *args)


def start_fast_recorder(s, *options):
    s.record_file = os.path.join(s.dir, "typed.txt")
    s.spawn("faulttool", s.tool("faulttool"), "record", s.windows_path(s.record_file), *options)
    testbed.wait_for(lambda: os.path.exists(s.record_file + ".ready"), 15, "the fast recorder to take the focus")


def restart_program(s):
    """Ends the running program; the next start finds an empty tray."""
    s.kill(s.program)
    testbed.wait_for(s.tray_flushed, 10, "the ended program's tray icon to go")


def store_dword(s, name, value):
    status, _ = s.wine("reg", "add", e2e.PROPERTIES_KEY, "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f")
    check(status == 0, f"could not store {name} as REG_DWORD {value}")


def case_corrupt_settings(s):
    """A stored value that cannot be used gives one message box and still the tray icon; the port stays closed.
    A value of the wrong registry type is taken as not stored: the port opens with the control's default."""
    device = os.path.realpath(testbed.wine_side_path(s.bed, "COM1"))
    refused = [("Settings", "9600,x,8,1"), ("Handshaking", "7"), ("CommPort", "70000"), ("Settings", "")]
    for name, value in refused:
        s.clear_settings()
        s.store(name, value)
        s.start_program()

        def box():
            check(s.alive(), f"{name}={value!r}: Corvanta.exe ended with status {s.program.returncode}")
            return s.message_boxes("Corvanta")
        boxes = testbed.wait_for(box, e2e.READY_TIMEOUT, f"a message box for {name}={value!r}")
        message = s.message_text(boxes[0])
        check(len(boxes) == 1 and message, f"{name}={value!r}: {len(boxes)} boxes, message {message!r}")
        print(f"{name}={value!r}: {message!r}")
        s.wine(s.tool("wintool"), "click", boxes[0], "OK")
        s.wait_ready()
        check(not s.program_holds(device), f"{name}={value!r}: the port was opened anyway")
        check(s.stored(name) == value, f"{name}={value!r}: start-up rewrote the stored value")
        restart_program(s)

    s.clear_settings()
    store_dword(s, "CommPort", 3)
    s.start_program()
    s.wait_ready()
    check(not s.message_boxes("Corvanta"), "a REG_DWORD CommPort gave a message box")
    check(s.program_holds(device), "with a REG_DWORD CommPort the default COM1 was not opened")


def icon_windows(s):
    return [line.split()[0] for line in s.wintool("trayicons") if len(line.split()) == 5]


def case_taskbar_recreated(s):
    """After the shell's "TaskbarCreated" broadcast the icon is added afresh, is in the tray exactly once and still
    opens the menu."""
    s.clear_settings()
    s.start_program()
    s.wait_ready()
    for broadcast in range(1, 4):
        before = icon_windows(s)
        status, out = faulttool(s, "taskbarcreated")
        check(status == 0, f"broadcast {broadcast} failed: {out.strip()}")
        # The re-add is a delete and a fresh add, which Wine's tray shows as a new icon window: wait until the
        # tray has settled on one icon, and a new one.
        seen = []

        def settled():
            seen.append(icon_windows(s))
            recent = seen[-10:]
            return len(recent) == 10 and all(w == recent[0] and len(w) == 1 for w in recent) and recent[0] != before
        try:
            testbed.wait_for(settled, 10, "one new tray icon")
        except TimeoutError:
            raise Failure(f"after broadcast {broadcast} the tray holds icon windows {seen[-1]}, before it "
                          f"{before}: expected one new icon") from None
    left, top, right, bottom = s.tray_icons()[0]
    subprocess.run(["xdotool", "mousemove", str((left + right) // 2), str((top + bottom) // 2), "click", "3"],
                   check=False)
    try:
        menus = testbed.wait_for(lambda: s.wintool("windows", "#32768"), 10, "the tray menu")
    finally:
        subprocess.run(["xdotool", "mousemove", "640", "1000"], check=False)
    menu = menus[0].split()[0]
    # Escape closes the menu without choosing anything.
    s.wine(s.tool("wintool"), "post", menu, "256", "27", "0")
    testbed.wait_for(lambda: not s.wintool("windows", "#32768"), 10, "the tray menu to close")
    check(s.alive(), "Corvanta.exe ended")


def wait_typed_exactly(s, expected, what, more_may_follow=False):
    """Waits until the typing target holds exactly EXPECTED (or starts with it, when MORE_MAY_FOLLOW); fails as soon
    as what it holds departs from it, or when typing stops short of it."""
    progress = [0, time.monotonic()]

    def arrived():
        typed = s.typed()
        if len(typed) != progress[0]:
            progress[:] = [len(typed), time.monotonic()]
        check(s.alive(), f"Corvanta.exe ended with status {s.program.returncode}")
        head = typed[:len(expected)] if more_may_follow else typed
        if not expected.startswith(head):
            at = next((i for i, (a, b) in enumerate(zip(head, expected)) if a != b), len(expected))
            raise Failure(f"{what}: the typed text departs from it at character {at} of {len(typed)} typed: "
                          f"expected {expected[max(0, at - 20):at + 20]!r}, typed {typed[max(0, at - 20):at + 20]!r}")
        check(time.monotonic() - progress[1] < STALL_SECONDS,
              f"{what}: typing stopped at {len(typed)} of {len(expected)} characters")
        return head == expected
    try:
        testbed.wait_for(arrived, STREAM_TIMEOUT, what)
    except TimeoutError:
        raise Failure(f"{what}: {len(s.typed())} of {len(expected)} characters typed after {STREAM_TIMEOUT} s") \
            from None


def case_stream_64kib(s):
    """64 KiB of random printable characters, written as fast as the line takes them, far faster than a window
    takes keys, wait in the program and arrive in a typing target exactly: nothing lost, nothing out of order,
    nothing extra (a marker written afterwards arrives right behind the stream). The figures of a 1 MiB stream
    are the benchmark's (scripts/benchmark --phases stream)."""
    s.clear_settings()
    s.start_program()
    s.wait_ready()
    start_fast_recorder(s)
    rng = random.Random(20261207)
    data = bytes(rng.randrange(0x20, 0x7F) for _ in range(STREAM_BYTES))
    started = time.monotonic()
    fd = os.open(s.peer("COM1"), os.O_WRONLY | os.O_NOCTTY)
    try:
        for i in range(0, len(data), STREAM_PIECE):
            os.write(fd, data[i:i + STREAM_PIECE])
    finally:
        os.close(fd)
    written = time.monotonic() - started
    expected = data.decode("ascii")
    wait_typed_exactly(s, expected, f"the {len(data)} bytes of the stream")
    took = time.monotonic() - started
    s.send("COM1", END_MARKER)
    wait_typed_exactly(s, expected + END_MARKER.decode("ascii"), "the stream and the marker after it")
    print(f"{len(expected)} characters written in {written:.1f} s, typed in {took:.1f} s "
          f"({len(expected) / took:.0f} characters/s)")
    said = [s.message_text(box) for box in s.message_boxes("Corvanta")]
    check(not said, f"Corvanta reported: {said}")


def vm_rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise Failure(f"no VmRSS for process {pid}")


def overflow_reports(s):
    return [box for box in s.message_boxes("Corvanta") if "waits at the port" in s.message_text(box)]


def case_backlog_waits_at_the_port(s):
    """While the About box has the focus nothing is typed: a writer that sends 4 MiB down the line is held once
    about 1 MiB waits to be typed (the program stops reading, and the line's buffers fill), a message says so, and
    the program's memory stays small. Once the About box closes, what the writer sent is typed in order from its
    first character on."""
    s.clear_settings()
    s.reg_add(e2e.OUTPUT_KEY, "KeyMode", "unicode")  # one Unicode packet a character: the fastest typing here
    s.start_program()
    s.wait_ready()
    start_fast_recorder(s, "once")
    s.choose("About")
    about = testbed.wait_for(s.about_boxes, 15, "the About box")[0]
    testbed.wait_for(lambda: s.foreground() == about, 10, "the About box to take the focus")

    rng = random.Random(20261208)
    data = bytes(rng.randrange(0x20, 0x7F) for _ in range(BACKLOG_STREAM))
    fd = os.open(s.peer("COM1"), os.O_WRONLY | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        written, reported, last_progress, last_look = 0, False, time.monotonic(), 0.0
        while written < len(data):
            now = time.monotonic()
            if now - last_look > 1:
                last_look = now
                check(s.alive(), f"Corvanta.exe ended with status {s.program.returncode}")
                reported = reported or bool(overflow_reports(s))
            if reported and now - last_progress > BACKLOG_HELD_S:
                break
            check(now - last_progress < 60, f"the line took nothing for a minute after {written} bytes, and no "
                  "message said the text waits")
            if not select.select([], [fd], [], 0.1)[1]:
                continue
            try:
                written += os.write(fd, data[written:written + STREAM_PIECE])
                last_progress = time.monotonic()
            except BlockingIOError:
                pass
        rss = vm_rss_kib(s.program.pid)
        print(f"the line took {written} of {len(data)} bytes; Corvanta's resident memory {rss} KiB")
        check(written < len(data), "the whole stream went in: the program went on reading")
        check(BACKLOG_QUEUE <= written <= BACKLOG_QUEUE + BACKLOG_SLACK,
              f"the line was held after {written} bytes, not near the {BACKLOG_QUEUE} bytes that may wait")
        check(rss < BACKLOG_MEMORY_KIB, f"Corvanta takes {rss} KiB of memory, more than {BACKLOG_MEMORY_KIB}")

        boxes = overflow_reports(s)
        check(len(boxes) == 1, f"{len(boxes)} messages that the text waits, expected one")
        s.click_rect(s.controls(boxes[0], by="text")["OK"]["rect"])
        testbed.wait_for(lambda: not s.message_boxes("Corvanta"), 10, "the message box to close")
        s.press(about, s.controls(about, by="text")["&Ok"]["id"])
        testbed.wait_for(lambda: not s.about_boxes(), 10, "the About box to close")
        recorder = s.windows("CorvantaFastRecorder")
        check(len(recorder) == 1, f"{len(recorder)} fast recorders")
        s.click_rect(recorder[0][1])

        expected = data[:BACKLOG_TYPED].decode("ascii")
        started = time.monotonic()
        wait_typed_exactly(s, expected, f"the first {len(expected)} characters sent", more_may_follow=True)
        print(f"the first {len(expected)} characters typed in {time.monotonic() - started:.1f} s")
    finally:
        os.close(fd)
    said = [s.message_text(box) for box in s.message_boxes("Corvanta")]
    check(not said, f"Corvanta reported: {said}")
    # The untyped rest still fills the line's buffers: a fresh cable, so that no later case receives it.
    s.unplug("COM1")


CASES = {name[len("case_"):]: func for name, func in globals().items() if name.startswith("case_")}

if __name__ == "__main__":
    e2e.CASES = CASES
    sys.exit(e2e.main())
