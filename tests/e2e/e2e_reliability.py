#!/usr/bin/env python3
"""End-to-end reliability cases: Corvanta.exe under Wine when its serial device goes and comes back.

    e2e_reliability.py CASE --exe Corvanta.exe --helpers DIR [--loader WINE]

Same bed, sessions and exit status as e2e.py, whose machinery this driver reuses. A pulled cable is the bed's
socat ending (both pseudo-terminals close); plugging it back makes a fresh pair under the same names.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import Failure, check, testbed  # noqa: E402

# The control retries at 1, 2, 4, ... 30 s intervals: a device plugged in late waits at most about 30 s.
REOPEN_TIMEOUT = 40


def plug(s, port):
    testbed.plug(s.bed, port)
    s.unplugged.remove(port)
    return os.path.realpath(testbed.wine_side_path(s.bed, port))


def wait_reopened(s, device, port):
    try:
        testbed.wait_for(lambda: s.program_holds(device), REOPEN_TIMEOUT, f"{port} to be opened again")
    except TimeoutError:
        raise Failure(f"{REOPEN_TIMEOUT} s after the cable went back in, the program has not reopened {port}") \
            from None
    check(s.alive(), f"Corvanta.exe ended with status {s.program.returncode}")


def no_message(s, when):
    said = [s.message_text(box) for box in s.message_boxes("Corvanta")]
    check(not said, f"{when}, Corvanta reported: {said}")


def case_types_after_replug(s):
    """Pulling the cable of the open port and plugging it back in, twice: the program reopens the port by itself
    and types again, without a restart and without a message; nothing is typed twice."""
    e2e.case_survives_unplug(s)
    s.start_recorder()
    for round_number in (1, 2):
        device = plug(s, "COM1")
        wait_reopened(s, device, "COM1")
        s.send("COM1", b"34\r")
        s.expect_typed("34\r\n" * round_number, f"bytes written after the cable went back in (round {round_number})")
        if round_number == 1:
            s.unplug("COM1")
            testbed.wait_for(lambda: not s.program_holds(device), 10, "the port to be closed again")
    no_message(s, "after the cable went back in")
    check(len(s.tray_icons()) == 1 and s.tray_shown(), "the tray icon went")


def case_device_absent_at_start(s):
    """Started while COM1's device is absent, the program says so, shows its icon, and types once the device is
    plugged in."""
    s.clear_settings()
    s.unplug("COM1")
    s.start_program()

    def box():
        check(s.alive(), f"Corvanta.exe ended with status {s.program.returncode}")
        return s.message_boxes("Corvanta")
    boxes = testbed.wait_for(box, e2e.READY_TIMEOUT, "a message box titled 'Corvanta'")
    message = s.message_text(boxes[0])
    print(f"message box: {message!r}")
    check(message.startswith("COM1: ") and "opens by itself" in message,
          f"the message does not name COM1 and say that it opens by itself: {message!r}")
    check(len(s.tray_icons()) == 1, "no tray icon beside the message")
    check(s.wine(s.tool("wintool"), "click", boxes[0], "OK")[0] == 0,
          f"the message box has no OK button: {s.wintool('texts', boxes[0])}")
    s.wait_ready()
    s.start_recorder()
    device = plug(s, "COM1")
    wait_reopened(s, device, "COM1")
    s.send("COM1", b"late\r")
    s.expect_typed("late\r\n", "bytes written after the device was plugged in")
    no_message(s, "after the device was plugged in")


CASES = {name[len("case_"):]: func for name, func in globals().items() if name.startswith("case_")}

if __name__ == "__main__":
    e2e.CASES = CASES
    sys.exit(e2e.main())
