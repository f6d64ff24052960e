#!/usr/bin/env python3
"""End-to-end case of the Output Settings dialog: Corvanta.exe under Wine, driven as a user would.

    e2e_settings.py CASE --exe Corvanta.exe --helpers DIR [--loader WINE]

Same bed, sessions and exit status as e2e.py, whose machinery this driver reuses.
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import Failure, check, testbed  # noqa: E402

OUTPUT_SETTINGS = "Output Settings\u2026"
TITLE = "Output Settings"
REQUEST_KEY = e2e.SETTINGS_KEY + r"\Request"

# The dialog's control ids (src/platform/win32/output_settings_dialog.h): field i of the settings table has its list
# or edit box at 1301 + 4 i, a list's edit box one above.
FIELDS = ["Prefix", "Suffix", "LineEnd", "ControlCharacters", "Encoding", "KeyDelay", "KeyMode", "RecordGap",
          "Extract", "RepeatGap", "LogFile", "Command", "Hotkey", "Interval", "ReplyTimeout"]
TRY_SAMPLE_ID = 1281
TRY_RESULT_ID = 1283
POLICY_NOTE = 1284
OK = 1
CANCEL = 2


def field(name):
    return 1301 + 4 * FIELDS.index(name)


def open_dialog(s):
    s.choose(OUTPUT_SETTINGS)
    return s.wait_dialog(TITLE)


def enabled(s, hwnd):
    return s.wintool("enabled", hwnd) == ["1"]


def case_output_settings(s):
    """The menu opens Output Settings. A value an administrator set (KeyMode) shows greyed and named. A pattern
    that does not compile gets one message naming Extract, and nothing is written; Tab chosen for the line end and
    OK writes LineEnd=tab, and the next scan ends in Tab without a restart."""
    s.clear_settings()
    s.reg_delete(e2e.USER_POLICY_KEY, "KeyMode")
    s.reg_add(e2e.MACHINE_POLICY_KEY, "KeyMode", "layout")
    try:
        s.start_program()
        s.wait_ready()
        dialog = open_dialog(s)
        controls = s.controls(dialog)

        # A policy's value: greyed, showing its value, and named as the administrator's.
        key_mode = controls[field("KeyMode")]
        check(not enabled(s, key_mode["hwnd"]) and key_mode["text"] == "Keyboard layout",
              f"KeyMode set by policy shows {key_mode['text']!r}, enabled: {enabled(s, key_mode['hwnd'])}")
        check(enabled(s, controls[field("LineEnd")]["hwnd"]), "the user's own LineEnd is greyed")
        note = controls[POLICY_NOTE]["text"]
        check(note == "Set by your administrator: Key mode.", f"the note says {note!r}")

        # A bad pattern: one message naming the field, nothing written, the dialog stays.
        extract = controls[field("Extract")]["rect"]
        s.click_rect(extract)
        s.type_text(extract, "(\\d+")
        s.press(dialog, OK)
        boxes = testbed.wait_for(lambda: [b for b in s.message_boxes("Corvanta")], 10, "the message on OK")
        said = s.message_text(boxes[0])
        check(said.startswith("Extract pattern: "), f"the message says {said!r}")
        check(s.reg_value(e2e.OUTPUT_KEY, "Extract") == (None, None), "a refused Extract was written")
        s.press(boxes[0], OK)
        testbed.wait_for(lambda: not s.message_boxes("Corvanta"), 10, "the message to close")
        check(s.dialogs(TITLE), "the dialog closed after a refused OK")
        s.key(extract, "End", *["BackSpace"] * 6)
        testbed.wait_for(lambda: s.controls(dialog)[field("Extract")]["text"] == "", 10, "Extract to be emptied")

        # Tab for the line end, and OK.
        s.choose_entry(dialog, field("LineEnd"), "Tab")
        s.press(dialog, OK)
        testbed.wait_for(lambda: not s.dialogs(TITLE), 10, "the dialog to close after OK")
        check(s.reg_value(e2e.OUTPUT_KEY, "LineEnd") == ("REG_SZ", "tab"),
              f"LineEnd is stored as {s.reg_value(e2e.OUTPUT_KEY, 'LineEnd')}")
        for name in ("Extract", "KeyMode", "Prefix"):
            check(s.reg_value(e2e.OUTPUT_KEY, name) == (None, None), f"{name} was written though unchanged")

        # The registry watch applies it: scans go on until one ends in Tab, and all after it do.
        s.start_recorder()
        scans = []

        def scan_ends_in_tab():
            scans.append(1)
            s.send("COM1", b"X\r")
            typed = testbed.wait_for(lambda: s.typed().count("X") == len(scans) and s.typed().endswith(("\t", "\n"))
                                     and s.typed(), e2e.TYPING_TIMEOUT, "a whole scan to be typed")
            return typed.endswith("X\t")

        testbed.wait_for(scan_ends_in_tab, 30, "the line end chosen in the dialog to apply")
        before = s.typed()
        s.send("COM1", b"Y\r")
        s.expect_typed(before + "Y\t", "the scan after")
        check(re.fullmatch(r"(X\r\n)*X\tY\t", s.typed()), f"the recording window holds {s.typed()!r}")
    finally:
        s.wine("reg", "delete", e2e.OUTPUT_KEY, "/f")
        s.wine("reg", "delete", REQUEST_KEY, "/f")


SCREENSHOTS = ("output-settings.png", "output-settings-200.png")
TRY_SAMPLE = "S S      12.345 g\\r\\n"


def shoot_dialog(s, path):
    """The dialog as it opens over the values set, with a sample in its Try box. The menu is worked with the keys: a
    reference menu to click by is made at 96 dpi only."""
    menu = s.open_menu()
    item = e2e.MENU.index(OUTPUT_SETTINGS)
    s.key(menu, "Home", *["Down"] * (item - e2e.MENU[:item].count("-")), "Return")
    testbed.wait_for(lambda: not s.menus(), 10, f"the menu to close after choosing {OUTPUT_SETTINGS!r}")
    dialog = s.wait_dialog(TITLE)
    sample = s.controls(dialog)[TRY_SAMPLE_ID]["rect"]
    s.click_rect(sample)
    s.type_text(sample, TRY_SAMPLE)
    testbed.wait_for(lambda: s.controls(dialog)[TRY_RESULT_ID]["text"], 10, "the Try box's result")
    e2e.shoot(s, dict(s.dialogs(TITLE))[dialog], path, trim=True)
    s.press(dialog, CANCEL)
    testbed.wait_for(lambda: not s.dialogs(TITLE), 10, "the dialog to close")


def take_screenshots(s, out_dir):
    """The README's pictures of the dialog at 100 % and 200 % scaling, over a balance's values and a policy's."""
    os.makedirs(out_dir, exist_ok=True)
    s.reg_delete(e2e.USER_POLICY_KEY, "KeyMode")
    s.reg_add(e2e.MACHINE_POLICY_KEY, "KeyMode", "layout")

    def start():
        e2e.start_with_com1(s)  # which clears the user's values
        for name, data in (("LineEnd", "tab"), ("Extract", r"([-\d.]+)\s*g")):
            s.reg_add(e2e.OUTPUT_KEY, name, data)
        s.reg_add(REQUEST_KEY, "Command", r"SI\r\n")
        s.reg_add(REQUEST_KEY, "Hotkey", "Ctrl+F9")

    try:
        start()
        shoot_dialog(s, os.path.join(out_dir, SCREENSHOTS[0]))
        with e2e.at_200_percent(s):
            start()
            shoot_dialog(s, os.path.join(out_dir, SCREENSHOTS[1]))
    finally:
        s.wine("reg", "delete", e2e.OUTPUT_KEY, "/f")
        s.wine("reg", "delete", REQUEST_KEY, "/f")


CASES = {name[len("case_"):]: func for name, func in globals().items() if name.startswith("case_")}

if __name__ == "__main__":
    e2e.CASES = CASES
    e2e.take_screenshots = take_screenshots
    sys.exit(e2e.main())
