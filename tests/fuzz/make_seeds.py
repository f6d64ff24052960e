#!/usr/bin/env python3
"""Writes the binary seed files of the fuzz corpora (registry values, spooler answers, keystroke layouts).

The text corpora (settings strings, stored numbers) are plain files kept by hand. Run from anywhere; files are
rewritten in place, so a run after a format change keeps the corpus in step with the targets.
"""
import os
import struct

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
