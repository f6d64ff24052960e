#!/usr/bin/env python3
"""Writes the binary seed files of the fuzz corpora (registry values, spooler answers, keystroke layouts).

The text corpora (settings strings, stored numbers) are plain files kept by hand. Run from anywhere; files are
rewritten in place, so a run after a format change keeps the corpus in step with the targets.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# --- registry: flags, then type (u32) and data (u16 size + bytes); a second value when racing.
def reg_value(kind, data):
    return struct.pack("<IH", kind, len(data)) + data


REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD = 1, 2, 3, 4, 7, 11
DOUBLE_BYTE, NO_VALUE, NO_KEY, RACE, FOLDER, FILE_EXISTS = 0x01, 0x02, 0x04, 0x08, 0x10, 0x20
MSINFO = b"C:\\Program Files\\Common Files\\Microsoft Shared\\MSInfo"
registry = {
    "sz-path": (0, reg_value(REG_SZ, MSINFO + b"\\msinfo32.exe\0")),
    "sz-path-started": (FILE_EXISTS, reg_value(REG_SZ, MSINFO + b"\\msinfo32.exe\0")),
    "sz-no-nul": (0, reg_value(REG_SZ, b"C:\\Windows\\msinfo32.exe")),
    "sz-embedded-nul": (FILE_EXISTS, reg_value(REG_SZ, b"C:\\a.exe\0junk\0")),
    "sz-empty": (0, reg_value(REG_SZ, b"")),
    "sz-only-nul": (0, reg_value(REG_SZ, b"\0")),
    "expand-sz": (0, reg_value(REG_EXPAND_SZ, b"%SystemRoot%\\system32\\msinfo32.exe\0")),
    "dword": (0, reg_value(REG_DWORD, b"\x2a\0\0\0")),
    "dword-short": (0, reg_value(REG_DWORD, b"\x2a")),
    "dword-long": (0, reg_value(REG_DWORD, bytes(range(1, 10)))),
    "qword": (0, reg_value(REG_QWORD, b"\xff" * 8)),
    "binary": (0, reg_value(REG_BINARY, b"\0\x01\x02\xff")),
    "multi-sz": (0, reg_value(REG_MULTI_SZ, b"one\0two\0\0")),
    "none-type": (0, reg_value(0, b"abc")),
    "folder-exists": (FOLDER | FILE_EXISTS, reg_value(REG_SZ, MSINFO + b"\0")),
    "folder-missing": (FOLDER, reg_value(REG_SZ, b"C:\\nowhere\0")),
    "missing-value": (NO_VALUE, reg_value(REG_SZ, b"x\0")),
    "missing-key": (NO_KEY, b""),
    "dbcs": (DOUBLE_BYTE, reg_value(REG_SZ, b"C:\\\x93\xfa\x96\x7b\\a.exe\0")),
    "dbcs-lead-at-end": (DOUBLE_BYTE, reg_value(REG_SZ, b"abc\x81")),
    "over-1024": (0, reg_value(REG_SZ, b"A" * 1025)),
    "exactly-1024": (FILE_EXISTS, reg_value(REG_SZ, b"B" * 1023 + b"\0")),
    "race-shrink": (RACE, reg_value(REG_SZ, b"C:\\long\\path\\corvanta.exe\0") + reg_value(REG_SZ, b"C:\\x")),
    "race-grow": (RACE, reg_value(REG_SZ, b"C:\\x\0") + reg_value(REG_SZ, b"C:\\much\\longer\\path.exe\0")),
    # Found by fuzzing: a value that turned into binary data between the size query and the read was read as text.
    "race-type": (RACE, reg_value(REG_SZ, b"C:\\x.exe\0") + reg_value(REG_BINARY, b"\x01\x02")),
}
for name, (flags, body) in registry.items():
    write("registry", name, bytes([flags]) + body)


# --- port_list: selector (kind | 4 for a double-byte code page), the size call's answer and the data call's
# answer (result u8, needed u32, returned u32), then the image laid over the buffer: 64-bit PORT_INFO_2 records
# whose pointer fields hold offsets from the buffer's start (all ones: null; 2^32 and above: a raw address).
RECORD = 32
NULL = 0xFFFFFFFFFFFFFFFF


def answer(result, needed, returned):
    return struct.pack("<BII", result, needed, returned)


def spooler_image(ports):
    """The answer as Windows lays it out: the records first, then each port's name, monitor and description."""
    offset = RECORD * len(ports)
    records, texts = b"", b""
    for name in ports:
        fields = []
        for text in (name, b"Local Port", b"Local Port"):
            fields.append(offset + len(texts))
            texts += text + b"\0"
        records += struct.pack("<QQQII", *fields, 3 if name.startswith(b"COM") else 1, 0)
    return records + texts


def port_seed(kind, image, returned=None, size_result=0, data_result=1, needed=None, data_needed=None):
    needed = len(image) if needed is None else needed
    returned = len(image) // RECORD if returned is None else returned
    data_needed = needed if data_needed is None else data_needed
    return bytes([kind]) + answer(size_result, needed, 0) + answer(data_result, data_needed, returned) + image


WINDOWS_PORTS = [b"COM1:", b"COM2:", b"COM3:", b"COM12:", b"FILE:", b"LPT1:", b"LPT2:", b"LPT3:", b"nul:",
                 b"PORTPROMPT:", b"XPSPort:", b"com4:", b"CO", b""]
usual = spooler_image(WINDOWS_PORTS)
usual_returned = len(WINDOWS_PORTS)
last_name = struct.pack("<QQQII", RECORD, NULL, NULL, 0, 0) + b"COM7"  # ends at the last byte, no NUL
ports = {
    "windows-serial": port_seed(1, usual, usual_returned),
    "windows-parallel": port_seed(2, usual, usual_returned),
    "windows-kind0": port_seed(0, usual, usual_returned),
    "windows-kind3": port_seed(3, usual, usual_returned),
    "dbcs-names": port_seed(5, spooler_image([b"COM1:", b"COM\x93\xfa", b"LPT\x81"]), 3),
    "no-ports": port_seed(1, b"", 0, needed=0),
    "over-limit": port_seed(1, b"", 0, needed=0xFFFFFFF0),
    "data-call-fails": port_seed(1, usual, usual_returned, data_result=0, data_needed=len(usual) + 64),
    "more-records-than-fit": port_seed(1, usual, 1000),
    "name-without-nul": port_seed(1, last_name, 1),
    "name-in-slack": port_seed(1, struct.pack("<QQQII", RECORD + 2, NULL, NULL, 0, 0), 1),
    "name-null": port_seed(1, struct.pack("<QQQII", NULL, NULL, NULL, 0, 0) + b"COM1\0", 1),
    "name-wild": port_seed(1, struct.pack("<QQQII", 0x4141414141414141, NULL, NULL, 0, 0) + b"COM1\0", 1),
    "name-far": port_seed(1, struct.pack("<QQQII", 0x7FFFFFFF, NULL, NULL, 0, 0) + b"COM1\0", 1),
    "odd-size": port_seed(1, spooler_image([b"COM1:"]) + b"\0" * 11),
}
for name, data in ports.items():
    write("port_list", name, data)


# --- keystroke_plan: flags (1 Caps Lock, 2 start from a US-like layout, bits 2-3 the key mode: 0 layout,
# 1 Unicode, 2 scan code; 0x10 left Shift, 0x20 right Ctrl, 0x40 left Ctrl, 0x80 right Alt held by the user), the
# split point of the text into two calls (u8, also where a refused send is cut), layout entries (count u8, each: unit u16, virtual key u8, shift state u8), dead keys (count u8,
# each a virtual key), then the text: UTF-8, or UTF-16LE after FF FE.
CAPS, US = 1, 2
UNICODE, SCAN_CODE = 4, 8
HELD_SHIFT, HELD_RCTRL, HELD_LCTRL, HELD_RALT = 0x10, 0x20, 0x40, 0x80


def layout(entries=(), dead=()):
    out = bytes([len(entries)])
    for unit, vk, shift in entries:
        out += struct.pack("<HBB", unit, vk, shift)
    return out + bytes([len(dead)]) + bytes(dead)


def utf16(text):
    return b"\xff\xfe" + text.encode("utf-16-le", "surrogatepass")


GERMAN = layout([(ord("€"), ord("E"), 6), (ord("@"), ord("Q"), 6), (ord("^"), 0xDC, 0), (ord("´"), 0xDD, 0),
                 (ord("ä"), 0xDE, 0), (ord("Ä"), 0xDE, 1), (ord("¤"), ord("4"), 2), (ord("¬"), ord("6"), 4),
                 (ord("¦"), 0xE2, 8), (ord("÷"), 0x6F, 0)], dead=[0xDC, 0xDD])
keys = {
    "scan-crlf": (US, 3, layout(), b"4006381333931\r\n"),
    "scan-cr": (US, 0, layout(), b"ABC-123\r"),
    "lf-only": (US, 0, layout(), b"line one\nline two\n"),
    "cr-then-lf-split": (US, 4, layout(), b"abc\r\ndef"),
    "cr-lf-cr-lf": (US, 0, layout(), b"\r\n\r\n\n\r\r"),
    "tab-bs-esc": (US, 0, layout(), b"a\tb\bc\x1bd"),
    "controls": (US, 0, layout(), bytes(range(0, 32)) + b"\x7f" + "\u0080\u0085\u009f".encode()),
    "notation": (US, 0, layout(), b"+^%~(){}[]"),
    "caps-lock": (US | CAPS, 0, layout(), "Hello World äÖ 42".encode()),
    "german": (US, 0, GERMAN, "€@^´äÄ¤¬¦÷ x".encode()),
    "no-layout": (0, 0, layout(), "Grüße 日本 €".encode()),
    "surrogates": (US, 0, layout(), utf16("a\U0001F600b\ud800c\udc00\ud83d")),
    "surrogate-split": (US, 2, layout(), utf16("\U0001F600\U0001F600")),
    "key-zero": (0, 0, layout([(ord("a"), 0, 0), (ord("b"), 0xFF, 0xFF)]), b"ab"),
    "shift-runs": (US, 5, layout(), b"ABC def GHI! a\rB\tC"),
    "altgr-runs": (US, 3, GERMAN, "€@€ÄÄ€^€a".encode()),
    "unicode-mode": (US | UNICODE, 2, GERMAN, "aB€\r\n\tx".encode()),
    "scan-code-mode": (US | SCAN_CODE, 1, GERMAN, "aB€÷é\r".encode()),
    "held-shift": (US | HELD_SHIFT, 3, layout(), "abc é 123\r".encode()),
    "held-ctrl-alt": (US | HELD_LCTRL | HELD_RALT, 4, layout(), b"save 1"),
    "held-all": (US | HELD_SHIFT | HELD_RCTRL | HELD_LCTRL | HELD_RALT, 7, GERMAN, "Ab€é\r".encode()),
}
for name, (flags, split, table, text) in keys.items():
    write("keystroke_plan", name, bytes([flags, split]) + table + text)


# --- extract: flags (1 a Windows-1252 record, 2 a double-byte one, else UTF-8), the pattern's length (u16) and
# the pattern (UTF-8, or FF FE and UTF-16LE), then the record's bytes.
CP1252, DBCS = 0x01, 0x02


def extract_seed(flags, pattern, record):
    return bytes([flags]) + struct.pack("<H", len(pattern)) + pattern + record


extract = {
    "mt-sics-stable": (0, rb"^S S +(\S+)", b"S S      12.345 g"),
    "mt-sics-dynamic": (0, rb"^S [SD] +(\S+)", b"S D     -12.341 g"),
    "mt-sics-overload": (0, rb"^S S +(\S+)", b"S +"),
    "and-stable": (0, rb"^ST,([-+][0-9.]+)", b"ST,+00012.34  g"),
    "and-overload": (0, rb"^ST,([-+][0-9.]+)", b"OL,+9999999E+19"),
    "ohaus-unstable": (0, rb"^ *(-?[0-9.]+) +\S+ *$", b"       0.01 g ?"),
    "plain-number": (0, rb"-?\d+(?:\.\d+)?", b"Net: -0.020 kg\r\n"),
    "no-pattern": (0, b"", b"]C1\x1d0104012345678901\x04"),
    "catastrophic": (0, rb"(a+)+b", b"a" * 40),
    "long-record": (0, rb"(x|y)*z", b"x" * 5000),
    "nested": (0, rb"((((.*)*)*)*)*!", b"abc" * 100),
    "bad-pattern": (0, rb"(\d+", b"12"),
    "cp1252": (CP1252, "([\u00b5m]g)".encode(), b"12 \xb5g \x80 \x81"),
    "shift-jis": (DBCS, "(\u65e5)".encode(), b"\x93\xfa\x96\x7bA\x93"),
    "utf16-pattern": (0, b"\xff\xfe" + "(.)!".encode("utf-16-le") + b"\x00\xd8", "\U0001F600!".encode()),
    "csv-quotes": (0, rb".+", b'=HYPERLINK("x"),"a",b'),
}
for name, (flags, pattern, record) in extract.items():
    write("extract", name, extract_seed(flags, pattern, record))


# --- output_values: flags (1 a double-byte ANSI code page), then entries: where (place | value << 2; place 0 the
# computer's policy, 1 the user's policy, 2 the user's own, 3 the user's own under its name in lower case), the
# registry type (u8), the size (u16; 0xFFFF: past the limit of every value) and the data. The values in the order
# the reader reads them (ValueDefinitions: the Output group's, then the Request group's). The first ones are the
# README's .reg examples ("Shaping the output").
MACHINE_POLICY, USER_POLICY, USER, USER_LOWER = 0, 1, 2, 3
OUTPUT_VALUES = ["Prefix", "Suffix", "LineEnd", "ControlCharacters", "Encoding", "KeyDelay", "KeyMode", "RecordGap",
                 "Extract", "RepeatGap", "LogFile", "Command", "Hotkey", "Interval", "ReplyTimeout"]


def value(name, data, kind=REG_SZ, place=USER):
    """A REG_SZ as the ANSI API reads it (its NUL included), or data of any other type as it stands."""
    if kind == REG_SZ and isinstance(data, str):
        data = data.encode("cp1252") + b"\0"
    if isinstance(data, int):
        data = struct.pack("<I", data)
    where = place | OUTPUT_VALUES.index(name) << 2
    return bytes([where, kind]) + struct.pack("<H", len(data)) + data


output_values = {
    "readme-tab": [value("LineEnd", "tab")],
    "readme-prefix": [value("Prefix", "SCAN:")],
    "readme-gs1": [value("ControlCharacters", r"\x1d=|;\x04=")],
    "readme-utf8": [value("Encoding", "utf-8")],
    "readme-remote": [value("KeyDelay", 5, REG_DWORD), value("KeyMode", "scancode")],
    "everything": [value("Prefix", r"\e[\u00e9"), value("Suffix", r"\t\\"), value("LineEnd", r"\r\n"),
                   value("ControlCharacters", "unicode"), value("Encoding", "932"),
                   value("KeyDelay", 1000, REG_DWORD), value("KeyMode", "Unicode"),
                   value("RecordGap", 60000, REG_DWORD)],
    "policies-over-user": [value("Suffix", "user"), value("Suffix", "user policy", place=USER_POLICY),
                           value("Suffix", r"machine\x", place=MACHINE_POLICY), value("RecordGap", 0, REG_DWORD,
                                                                                      USER_POLICY),
                           value("RecordGap", 250, REG_DWORD)],
    "refused": [value("Prefix", r"a\qb"), value("LineEnd", r"\x4"), value("ControlCharacters", "dorp"),
                value("Encoding", "99999999999"), value("KeyDelay", "5"), value("KeyMode", "fast"),
                value("RecordGap", b"\x10\x27\0\0\0\0\0\0", REG_DWORD)],
    "control-map-edges": [value("ControlCharacters", r";;\t=\x09;\b=;\e=\e;\x7f=\u007f;\x9f=\\;"),
                          value("ControlCharacters", r"\x1d=1;\x1D=2", place=USER_POLICY)],
    "types": [value("Prefix", b"x\0", REG_EXPAND_SZ), value("Suffix", b"a\0b\0\0", REG_MULTI_SZ),
              value("LineEnd", b"", REG_SZ), value("Encoding", b"\xe9\xfd\0", 11), value("KeyMode", b"", 0)],
    "too-large": [bytes([USER | 3 << 2, REG_SZ]) + b"\xff\xff", value("Prefix", "kept")],
    "lower-case-names": [value("Prefix", ">", place=USER_LOWER), value("Prefix", "<", place=USER)],
    "no-nul": [value("Suffix", b"abc", REG_SZ), value("Encoding", b"utf-8", REG_SZ)],
    "dbcs": [value("Prefix", b"\x93\xfa\x5c\0", REG_SZ), value("Suffix", b"\x81", REG_SZ)],
    # A balance asked for its weight: MT-SICS "SI" every second and on Ctrl+Shift+W, the stable value picked out,
    # repeats left out, a log per day.
    "balance-request": [value("Command", r"SI\r\n"), value("Hotkey", "ctrl + shift+w"),
                        value("Interval", 1000, REG_DWORD), value("ReplyTimeout", 500, REG_DWORD),
                        value("Extract", r"^S S +(\S+)"), value("RepeatGap", 2000, REG_DWORD),
                        value("LogFile", r" %USERPROFILE%\logs\scale-%DATE%.csv ")],
    # A command with a checksum byte and characters above U+007F in the Encoding read before it.
    "command-bytes": [value("Encoding", "932"), value("Command", r"\x02P\xFF\u65e5\x03")],
    "command-utf8": [value("Encoding", "utf-8"), value("Command", "\u00e9\\u20ac\\r", place=USER_POLICY)],
    "request-refused": [value("Command", r"\xZZ"), value("Hotkey", "Ctrl+Alt+Q"), value("Interval", 50, REG_DWORD),
                        value("ReplyTimeout", 60001, REG_DWORD, USER_POLICY), value("Extract", "(\\d+"),
                        value("RepeatGap", "2000"), value("LogFile", r"%NOWHERE%\x.csv", place=MACHINE_POLICY)],
    "request-policies": [value("Hotkey", "F8"), value("Hotkey", "Ctrl+F9", place=MACHINE_POLICY),
                         value("Interval", 0, REG_DWORD, USER_POLICY), value("Interval", 86400000, REG_DWORD)],
}
for name, entries in output_values.items():
    write("output_values", name, bytes([1 if name == "dbcs" else 0]) + b"".join(entries))


# --- output_pipeline and relay: flags (output_pipeline: 1 a double-byte ANSI code page, 2 gaps also where they
# change no text; relay: 1 the same), a u32 seed for the cuts, the settings, then the events (output_stream.h).
def text(data):
    if isinstance(data, str):
        data = data.encode()
    return bytes([len(data)]) + data


CONTROLS = [u for u in range(0xA0) if u not in (0x0A, 0x0D) and (u < 0x20 or u >= 0x7F)]
CODE_PAGES = [0, 65001, 932, 1252, 437]


def settings(prefix="", suffix="", line_end=None, controls="drop", control_map=(), code_page=0, key_delay=False,
             unicode_keys=False):
    shape = {"drop": 0, "unicode": 1, "map": 2}[controls] | (4 if line_end is not None else 0)
    shape |= CODE_PAGES.index(code_page) << 3 | (0x40 if key_delay else 0) | (0x80 if unicode_keys else 0)
    out = bytes([shape]) + text(prefix) + text(suffix) + (text(line_end) if line_end is not None else b"")
    if controls == "map":
        out += bytes([len(control_map) - 1])
        for control, replacement in control_map:
            out += bytes([CONTROLS.index(control)]) + text(replacement)
    return out


def read(data, repeat=1):
    return bytes([0 if repeat == 1 else 1 | (repeat - 1) << 2, len(data)]) + data


PAUSE = b"\x02"


def new_settings(**kwargs):
    return b"\x03" + settings(**kwargs)


GS1 = dict(controls="map", control_map=[(0x1D, "|"), (0x04, "")])
streams = {
    # Scanners: EAN-13 with CR LF, Code 128 with CR, GS1 DataMatrix with GS and EOT, a scanner without a line end.
    "scan-crlf": (0, settings(), [read(b"4006381333931\r\n")]),
    "scan-cr-tab": (0, settings(line_end="\t"), [read(b"ABC-123\r"), read(b"ABC-124\r")]),
    "gs1-datamatrix": (0, settings(**GS1), [read(b"]d2010401234567890" + b"1\x1d10ABC\x1d17251231\x04\r\n")]),
    "no-line-end": (0, settings(prefix="SCAN:", suffix="\n"), [read(b"12345"), PAUSE, read(b"67890"), PAUSE]),
    "split-crlf": (0, settings(suffix="!"), [read(b"ab\r"), read(b"\ncd\r"), read(b"\n")]),
    # UTF-8 from a QR scanner, split inside its characters; invalid bytes.
    "utf8-split": (0, settings(code_page=65001), [read(b"Gr\xc3"), read(b"\xbc\xc3\x9fe \xe6"), read(b"\x97\xa5"),
                                                   read(b"\xf0\x9f"), read(b"\x98\x80\r\n")]),
    "utf8-invalid": (0, settings(code_page=65001, prefix="<", suffix=">"),
                     [read(b"\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe6\xbc"), PAUSE, read(b"\xff\r")]),
    # Balances: MT-SICS and A&D records, a balance that streams without pause.
    "balance-sics": (0, settings(), [read(b"S S      12.345 g\r\n"), read(b"S D     -12.341 g\r\n"),
                                     read(b"S +\r\n")]),
    "balance-and": (0, settings(suffix="\t"), [read(b"ST,+00012.34  g\r\n"), read(b"OL,+9999999E+19\r\n")]),
    "balance-stream": (0, settings(line_end=""), [read(b"ST,+00012.34  g\r\n", repeat=64)]),
    # Shift-JIS over the system's code page and as code page 932, a lead byte before the line end.
    "shift-jis": (1, settings(), [read(b"A\x93"), read(b"\xfa\x96\x7b\r\n\x81")]),
    "cp932": (0, settings(code_page=932, suffix="#"), [read(b"\x93\xfa\x81\r\n\x96"), PAUSE]),
    "cp1252": (0, settings(code_page=1252, controls="unicode"), [read(b"\x80\x81\x8d\x9f\xff\r")]),
    "uninstalled": (0, settings(code_page=437), [read(b"\xb0\xb1\r")]),
    # Settings changed during a record and within a read (the encoding's change once failed here).
    # Found by fuzzing: a new encoding waited for the read after the line end (this seed cuts "\n\x8e" in two).
    "new-encoding-after-line-end": (0, settings(controls="unicode"),
                                    [read(b"\0"), new_settings(controls="unicode", code_page=65001),
                                     read(b"\n\x8e")], 0xFDE83800),
    "new-settings-mid-record": (0, settings(prefix="[", suffix="]"),
                                [read(b"12"), new_settings(prefix="<", suffix=">", code_page=932), read(b"3\r4\x93"),
                                 read(b"\xfa\r"), PAUSE]),
    "controls-everywhere": (2, settings(**GS1, unicode_keys=True, key_delay=True),
                            [read(bytes(range(0, 32)) + b"\x7f\x80\x9f\r\x04\n", repeat=4), PAUSE]),
    "quiet-gaps": (2, settings(), [read(b"1234"), read(b"5678\r"), read(b"9")]),
    # An RFID reader that repeats a tag while it is held.
    "rfid-repeats": (0, settings(prefix="", suffix="\r"), [read(b"E2003412"), PAUSE, read(b"E2003412"), PAUSE,
                                                            read(b"E2003412"), PAUSE]),
}
for name, (flags, first, events, *cuts) in streams.items():
    seed = bytes([flags]) + struct.pack("<I", cuts[0] if cuts else zlib.crc32(name.encode())) + first + b"".join(events)
    write("output_pipeline", name, seed)
    write("relay", name, seed)
