#!/usr/bin/env python3
"""End-to-end cases of asking the device: Corvanta.exe under Wine with a simulated balance on COM1.

    e2e_requests.py CASE --exe Corvanta.exe --helpers DIR [--loader WINE]

Same bed, sessions and exit status as e2e.py, whose machinery this driver reuses. The balance is this script: it
reads the requests the program writes to its end of the line and answers each with the next reading of its
script, or not at all once the script is done.
"""
import glob
import os
import re
import select
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import Failure, check, testbed  # noqa: E402

REQUEST_KEY = e2e.SETTINGS_KEY + r"\Request"
MENU_WITH_REQUEST = ["CommPort Properties", "Run at Start Windows", "-", "About", "Monitor\u2026",
                     "Output Settings\u2026", "Request Reading", "-", "Exit"]


class Balance:
    """A balance on the far end of a port that answers each request (a command ending in CR LF) with the next of
    its replies, then stays silent."""

    def __init__(self, s, port, replies):
        self.path = s.peer(port)
        self.replies = list(replies)
        self.requests = []
        self.stop = threading.Event()
        self.fd = os.open(self.path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        # What an earlier case left in the line is no request of this one.
        while select.select([self.fd], [], [], 0)[0] and os.read(self.fd, 4096):
            pass
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        pending = b""
        while not self.stop.is_set():
            if not select.select([self.fd], [], [], 0.05)[0]:
                continue
            try:
                pending += os.read(self.fd, 4096)
            except BlockingIOError:
                continue
            while b"\r\n" in pending:
                request, pending = pending.split(b"\r\n", 1)
                self.requests.append(request)
                if self.replies:
                    os.write(self.fd, self.replies.pop(0))

    def close(self):
        self.stop.set()
        self.thread.join(timeout=5)
        os.close(self.fd)


def log_rows(pattern):
    """The rows of the one log file that matches PATTERN, header first, or [] while there is none."""
    files = glob.glob(pattern)
    if len(files) != 1:
        return []
    with open(files[0], "rb") as f:
        data = f.read()
    check(data.startswith(b"\xef\xbb\xbf"), f"the log does not start with a UTF-8 byte-order mark: {data[:20]!r}")
    return data[3:].decode("utf-8").split("\r\n")


def case_balance(s):
    """A balance asked for its weight: the hotkey and the tray menu's "Request Reading" each send the Command, and
    the reply is typed as the number the Extract pattern picks out of it; a reply without a stable weight is not
    typed. An Interval set while the program runs starts the timer; when the balance stays silent a balloon says
    "No reply from COM1". The log has a row for each: typed, no match, no reply."""
    s.clear_settings()
    log_pattern = os.path.join(s.dir, "scale-*.csv")
    s.reg_add(e2e.OUTPUT_KEY, "Extract", r"^S S +(\S+)")
    s.reg_add(e2e.OUTPUT_KEY, "LogFile", s.windows_path(os.path.join(s.dir, "scale-%DATE%.csv")))
    s.reg_add(REQUEST_KEY, "Command", r"S\r\n")
    s.reg_add(REQUEST_KEY, "Hotkey", "F9")
    s.reg_add(REQUEST_KEY, "ReplyTimeout", 1000, kind="REG_DWORD")
    balance = Balance(s, "COM1", [b"S S      12.345 g\r\n", b"S D      12.341 g\r\n"])
    try:
        s.start_program()
        s.wait_ready()
        said = [s.message_text(box) for box in s.message_boxes("Corvanta")]
        check(not said, f"the values were refused: {said}")
        s.start_recorder()

        # The hotkey, pressed while the recording window has the keyboard.
        recorder = s.windows("CorvantaTestRecorder")[0][1]
        s.key(recorder, "F9")
        try:
            testbed.wait_for(lambda: balance.requests, 10, "the hotkey's request at the balance")
        except TimeoutError:
            raise Failure("F9 pressed over the recording window sent no request to the balance") from None
        check(balance.requests == [b"S"], f"the balance received {balance.requests}, expected one request 'S'")
        s.expect_typed("12.345\r\n", "the balance's reply to the hotkey's request")

        # The tray menu, now with its "Request Reading": a dynamic weight is not typed.
        s.choose("Request Reading", captions=MENU_WITH_REQUEST)
        testbed.wait_for(lambda: len(balance.requests) == 2, 10, "the menu's request at the balance")
        testbed.wait_for(lambda: any(row.endswith(",no match") for row in log_rows(log_pattern)), 10,
                         "the log's row of the reply without a stable weight")

        # The timer, set while the program runs; the balance has no more replies.
        s.reg_add(REQUEST_KEY, "Interval", 300, kind="REG_DWORD")
        testbed.wait_for(lambda: "No reply from COM1" in s.wintool("tooltips"), 15,
                         "the balloon 'No reply from COM1'")
        check(len(balance.requests) >= 3, f"the balance received {balance.requests} from the timer")
        testbed.wait_for(lambda: any(row.endswith(",no reply") for row in log_rows(log_pattern)), 10,
                         "the log's row of the request without a reply")
    finally:
        balance.close()

    check(s.typed() == "12.345\r\n", f"the recording window holds {s.typed()!r}, expected only '12.345\\r\\n'")
    rows = log_rows(log_pattern)
    check(rows[:1] == ["time,port,received,typed,status"], f"the log begins {rows[:1]}, expected its header")
    expected = [r",COM1,S S      12.345 g\r\n,12.345\r,typed", r",COM1,S D      12.341 g\r\n,,no match",
                ",COM1,,,no reply"]
    check(len(rows) >= 4 and all(row.endswith(end) for row, end in zip(rows[1:4], expected)),
          f"the log's rows are {rows}, expected rows ending {expected}")
    stamp = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d,")
    check(all(stamp.match(row) for row in rows[1:] if row), f"a row without its local time and offset: {rows}")
    no_message = [s.message_text(box) for box in s.message_boxes("Corvanta")]
    check(not no_message, f"Corvanta reported in a box: {no_message}")


CASES = {name[len("case_"):]: func for name, func in globals().items() if name.startswith("case_")}

if __name__ == "__main__":
    e2e.CASES = CASES
    sys.exit(e2e.main())
