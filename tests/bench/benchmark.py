#!/usr/bin/env python3
"""Corvanta's performance benchmark: latency, throughput, idle cost and footprint of the 64-bit build under Wine.

    scripts/benchmark [--build-dir build/win64] [--win32-build-dir build/win32] [--out build/bench/results.json]
                      [--scans 200] [--throughput-kib 16] [--rounds 5] [--idle-seconds 60] [--starts 5]
                      [--stream-kib 1024] [--phases ...] [--quick] [--no-build]

Builds what it needs (unless --no-build), sets up the Wine test bed with COM1 on a pseudo-terminal (unless it
already runs inside one), stores "115200,n,8,1" for COM1, and measures:

- latency: 13-character scans (12 digits and CR, one write each, as a USB-serial adapter hands over a scan in
  one transfer) from the moment the write into the serial line returned until a recording window saw the last
  WM_CHAR. Beside each scan, the same text goes into a helper's stdin, which types it with the program's own
  keystroke sender ("direct": the injection path alone), and into a helper that sends every character as one
  Unicode packet ("floor": the cheapest input this stack takes), timed the same way. Scans of the paths
  alternate. Once more with the display's layout set to French AZERTY, where digits need Shift.
- throughput: two texts (random printable, about half of it shifted; lowercase letters and digits) paced at
  11,520 bytes/s (115200 baud, 10 bits a byte; a pty itself does not pace), through Corvanta and the two
  helpers: characters lost, out of order or extra, the key messages the recording window got per character, and
  the ratios of the times from the first byte written to the last key seen. All paths wait on the recording
  window, which takes a few thousand keys a second under Wine whoever sends them, so one run's ratio drifts by
  ±15 %: each text goes through every path in several rounds and the median round's ratio counts. Whichever path
  goes first in a round comes out slower, so the order rotates each round.
- idle cost: CPU time of Corvanta.exe's process with the port open and no data, and its context switches.
- stream: 1 MiB of random printable text written into the line as fast as it takes it, far faster than any
  window takes keys, so nearly all of it waits in Corvanta: characters lost, out of order or extra, and how fast
  the waiting text is typed (first byte written to last key seen). Through Corvanta only; it takes 6 to 15
  minutes, as a flooded window under Wine takes 1,200 to 3,000 keys a second.
- footprint: both executables' sizes, and the time from process start to the tray icon.

Windows-side times are QueryPerformanceCounter values; Wine's counter runs on Linux's monotonic clock minus an
offset, which is calibrated in the same run. This is a benchmark, never a test: it prints the figures and their
goals, writes them to --out as JSON, and fails only when it cannot measure.
"""
import argparse
import collections
import datetime
import difflib
import json
import os
import platform
import random
import select
import statistics
import subprocess
import sys
import time
import types

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import testbed  # noqa: E402

BAUD = 115200
BYTES_PER_SECOND = BAUD // 10  # 8 data bits, no parity, 1 stop bit, 1 start bit
SCAN_DIGITS = 12
SETTINGS = "115200,n,8,1"
LINE_TIMEOUT = 10
KIB = 1024
# The stream goes into the line in pieces of this size, as a device's driver hands them over.
STREAM_PIECE = 4096
# Where both texts differ over more characters than this, the order of the typed text is not worked out:
# difflib's matching grows with the product of the two lengths (two seconds at this size).
ORDER_LIMIT = 20_000

GOALS = {
    "latency_median_over_floor_ms": 2.0,
    "latency_p99_over_floor_ms": 10.0,
    "lost_or_out_of_order": 0,
    "throughput_ratio": 1.10,
    "floor_ratio": {"mixed": 1.20, "lowercase": 1.10},
    "key_messages_per_char_mixed": 2.6,
    "idle_cpu_percent": 0.1,
    "exe_kib": 400,
}


class BenchError(Exception):
    pass


# --- Arithmetic (checked by bench_test.py) ----------------------------------------------------------------------

def combine_rounds(rounds):
    """The throughput figures of several rounds, each {"corvanta": path, "direct": path[, "floor": path]}: every
    character lost, out of order or extra counts, times and rates are medians, key messages per character are
    over all rounds, and each ratio to Corvanta ("ratio" to direct, "floor_ratio") is the median of the rounds'
    own."""
    combined = {"rounds": len(rounds), "ratios": [r["corvanta"]["seconds"] / r["direct"]["seconds"] for r in rounds]}
    combined["ratio"] = statistics.median(combined["ratios"])
    if "floor" in rounds[0]:
        combined["floor_ratios"] = [r["corvanta"]["seconds"] / r["floor"]["seconds"] for r in rounds]
        combined["floor_ratio"] = statistics.median(combined["floor_ratios"])
    for path in rounds[0]:
        runs = [r[path] for r in rounds]
        combined[path] = {key: sum(run[key] for run in runs) for key in ("lost", "out_of_order", "extra", "typed")}
        combined[path]["differences"] = [d for run in runs for d in run["differences"]][:5]
        for key in ("seconds", "chars_per_second"):
            combined[path][key] = statistics.median(run[key] for run in runs)
        if all("key_messages" in run for run in runs):
            combined[path]["key_messages_per_char"] = (sum(run["key_messages"] for run in runs)
                                                       / max(1, combined[path]["typed"]))
    return combined


def percentile(values, p):
    """The p-th percentile, linear between the closest ranks (as numpy's default)."""
    if not values:
        raise ValueError("no values")
    ordered = sorted(values)
    rank = (len(ordered) - 1) * p / 100
    low = int(rank)
    high = min(low + 1, len(ordered) - 1)
    return ordered[low] + (ordered[high] - ordered[low]) * (rank - low)


def summary_ms(values_ns):
    values = [v / 1e6 for v in values_ns]
    return {"n": len(values), "median_ms": percentile(values, 50), "p99_ms": percentile(values, 99),
            "min_ms": min(values), "max_ms": max(values)}


def offset_bounds(samples):
    """The bounds of (Linux time - counter time) from (before, counter, after) samples: the counter was read
    between before and after, so the offset is at least before - counter and at most after - counter."""
    low = max(before - counter for before, counter, _ in samples)
    high = min(after - counter for _, counter, after in samples)
    if low > high:
        raise BenchError(f"the two clocks do not run together (offset bounds {low} > {high} ns)")
    return low, high


class ClockMap:
    """Maps Windows counter times (ns) to Linux times: the offset is calibrated at two moments and interpolated
    between them, which also absorbs a slow drift."""

    def __init__(self, start, end):
        (self.t0, self.o0), (self.t1, self.o1) = start, end

    def to_linux(self, counter_ns):
        if self.t1 == self.t0:
            return counter_ns + self.o0
        fraction = (counter_ns - self.t0) / (self.t1 - self.t0)
        return counter_ns + self.o0 + (self.o1 - self.o0) * fraction


def common_ends(sent, received):
    """The lengths of the longest common beginning and end of two texts, which never overlap."""
    limit = min(len(sent), len(received))
    head = next((i for i in range(limit) if sent[i] != received[i]), limit)
    tail = next((i for i in range(limit - head) if sent[-1 - i] != received[-1 - i]), limit - head)
    return head, tail


def compare_text(sent, received):
    """(lost, out_of_order, extra): characters sent but never typed, typed but not in the order sent, and typed
    but never sent. out_of_order is None where both differ over more than ORDER_LIMIT characters."""
    if sent == received:
        return 0, 0, 0
    sent_count, received_count = collections.Counter(sent), collections.Counter(received)
    lost = sum((sent_count - received_count).values())
    extra = sum((received_count - sent_count).values())
    # A common beginning and end are in order; only what lies between them is matched.
    head, tail = common_ends(sent, received)
    sent_middle, received_middle = sent[head:len(sent) - tail], received[head:len(received) - tail]
    if len(sent_middle) * len(received_middle) > ORDER_LIMIT ** 2:
        return lost, None, extra
    in_order = head + tail + sum(block.size for block in difflib.SequenceMatcher(
        None, sent_middle, received_middle, autojunk=False).get_matching_blocks())
    return lost, len(sent) - lost - in_order, extra


def scan_text(index):
    """A 12-digit code (a UPC-A number) and the CR a scanner sends after it."""
    digits = f"{(index * 7919 + 104729) % 10**11:011d}"
    check = (10 - (sum(int(d) * (3 if i % 2 == 0 else 1) for i, d in enumerate(digits)) % 10)) % 10
    return (digits + str(check) + "\r").encode("ascii")


def printable_text(size, seed):
    rng = random.Random(seed)
    return bytes(rng.randrange(0x20, 0x7F) for _ in range(size))


def lowercase_text(size, seed):
    rng = random.Random(seed)
    return bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz0123456789") for _ in range(size))


TEXTS = {"mixed": printable_text, "lowercase": lowercase_text}
PATHS = ("corvanta", "direct", "floor")


def rotated(paths, round_no):
    """The paths in the order of a round: each path goes first in turn."""
    shift = round_no % len(paths)
    return paths[shift:] + paths[:shift]


def paced_chunks(data, rate, interval=0.005):
    """(due_time, chunk) pairs that send data at rate bytes/s, a chunk every interval seconds."""
    chunks, sent, tick = [], 0, 1
    while sent < len(data):
        due = min(len(data), int(round(tick * interval * rate)))
        if due > sent:
            chunks.append((tick * interval, data[sent:due]))
            sent = due
        tick += 1
    return chunks


def cpu_seconds(stat_line, ticks_per_second):
    """utime + stime of a /proc/PID/stat line, in seconds (fields 14 and 15; the name may hold spaces)."""
    fields = stat_line.rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / ticks_per_second


def stream_figures(sent, typed, first_ns, written_ns, last_ns, key_messages):
    """What a stream left in the recording window, and how fast: times are Linux nanoseconds, last_ns None when
    the whole text never arrived."""
    lost, disorder, extra = compare_text(sent, typed)
    seconds = (last_ns - first_ns) / 1e9 if last_ns is not None else None
    return {"bytes": len(sent), "lost": lost, "out_of_order": disorder, "extra": extra, "typed": len(typed),
            "written_seconds": (written_ns - first_ns) / 1e9, "seconds": seconds,
            "chars_per_second": len(typed) / seconds if seconds else None,
            "key_messages_per_char": key_messages / max(1, len(typed)), "differences": differences(sent, typed)}


def size_text(n):
    return f"{n // (KIB * KIB)} MiB" if n % (KIB * KIB) == 0 else f"{n / KIB:g} KiB"


def format_table(r):
    """The README's table from a results dictionary."""
    def ms(x):
        return f"{x:.2f} ms"

    def verdict(ok):
        return "yes" if ok else "**no**"

    def spread(values):
        return f" (rounds {min(values):.3f}–{max(values):.3f})" if len(values) > 1 else ""

    rows = []
    for key, layout in (("latency", "US"), ("latency_azerty", "AZERTY")):
        lat = r.get(key)
        if not lat:
            continue
        c, d, f = lat["corvanta"], lat["direct"], lat["floor"]
        rows.append((f"Latency, 13-char scan, {layout}, median", ms(c["median_ms"]), ms(d["median_ms"]),
                     ms(f["median_ms"]), f"≤ floor + {GOALS['latency_median_over_floor_ms']:g} ms",
                     verdict(c["median_ms"] - f["median_ms"] <= GOALS["latency_median_over_floor_ms"])))
        rows.append((f"Latency, 13-char scan, {layout}, 99th percentile", ms(c["p99_ms"]), ms(d["p99_ms"]),
                     ms(f["p99_ms"]), f"≤ floor + {GOALS['latency_p99_over_floor_ms']:g} ms",
                     verdict(c["p99_ms"] - f["p99_ms"] <= GOALS["latency_p99_over_floor_ms"])))
        if "key_messages_per_char" in c:
            rows.append((f"(scans per path: {c['n']}; key messages per scan character, {layout})",
                         f"{c['key_messages_per_char']:.2f}", f"{d['key_messages_per_char']:.2f}",
                         f"{f['key_messages_per_char']:.2f}", "", ""))
    tp = r.get("throughput")
    if tp:
        pacing = f"paced at {tp['pace_bytes_per_second']:,} B/s" if tp["pace_bytes_per_second"] else "unpaced"
        for name, t in tp["texts"].items():
            c, d, f = t["corvanta"], t["direct"], t["floor"]
            label = f"Throughput, {name}, {tp['bytes'] // KIB} KiB {pacing}"
            rows.append((f"{label}: lost / out of order / extra",
                         f"{c['lost']} / {c['out_of_order']} / {c['extra']}",
                         f"{d['lost']} / {d['out_of_order']} / {d['extra']}",
                         f"{f['lost']} / {f['out_of_order']} / {f['extra']}", "0",
                         verdict(c["lost"] + c["out_of_order"] + c["extra"] == 0)))
            if "key_messages_per_char" in c:
                goal = GOALS["key_messages_per_char_mixed"] if name == "mixed" else None
                rows.append((f"Throughput, {name}: key messages per character", f"{c['key_messages_per_char']:.2f}",
                             f"{d['key_messages_per_char']:.2f}", f"{f['key_messages_per_char']:.2f}",
                             f"≤ {goal:g}" if goal else "",
                             verdict(c["key_messages_per_char"] <= goal) if goal else ""))
            rows.append((f"Throughput, {name}: first byte written → last key seen, median of {t['rounds']}",
                         f"{c['seconds']:.2f} s ({c['chars_per_second']:,.0f}/s)",
                         f"{d['seconds']:.2f} s ({d['chars_per_second']:,.0f}/s)",
                         f"{f['seconds']:.2f} s ({f['chars_per_second']:,.0f}/s)", "", ""))
            rows.append((f"Throughput, {name}: Corvanta ÷ direct, median round", f"{t['ratio']:.3f}{spread(t['ratios'])}",
                         "", "", f"≤ {GOALS['throughput_ratio']:.2f}", verdict(t["ratio"] <= GOALS["throughput_ratio"])))
            goal = GOALS["floor_ratio"][name]
            rows.append((f"Throughput, {name}: Corvanta ÷ floor, median round",
                         f"{t['floor_ratio']:.3f}{spread(t['floor_ratios'])}", "", "", f"≤ {goal:.2f}",
                         verdict(t["floor_ratio"] <= goal)))
    stream = r.get("stream")
    if stream:
        c = stream
        disorder = "?" if c["out_of_order"] is None else c["out_of_order"]
        rows.append((f"Stream, {size_text(c['bytes'])} written at once: lost / out of order / extra",
                     f"{c['lost']} / {disorder} / {c['extra']}", "", "", "0",
                     verdict(c["lost"] == 0 and c["out_of_order"] == 0 and c["extra"] == 0)))
        rows.append(("Stream: key messages per character", f"{c['key_messages_per_char']:.2f}", "", "", "", ""))
        took = (f"{c['seconds']:.1f} s ({c['chars_per_second']:,.0f}/s)" if c["seconds"] is not None
                else f"stopped at {c['typed']:,} characters")
        rows.append((f"Stream: first byte written → last key seen (written in {c['written_seconds']:.1f} s)", took,
                     "", "", "", ""))
    idle = r.get("idle")
    if idle:
        rows.append((f"Idle, port open, {idle['seconds']:g} s: CPU", f"{idle['cpu_percent']:.3f} %", "", "",
                     f"≤ {GOALS['idle_cpu_percent']:g} %", verdict(idle["cpu_percent"] <= GOALS["idle_cpu_percent"])))
        rows.append(("Idle: context switches (voluntary + involuntary, all threads)",
                     f"{idle['context_switches']} ({idle['context_switches_per_second']:.2f}/s)", "", "",
                     "no periodic wake-ups", verdict(idle["context_switches_per_second"] < 0.5)))
    fp = r.get("footprint")
    if fp:
        for name in ("win64", "win32"):
            size = fp["exe_bytes"].get(name)
            rows.append((f"Corvanta.exe size, {name}", f"{size / KIB:.0f} KiB" if size else "not built", "", "",
                         f"≤ {GOALS['exe_kib']} KiB", verdict(size is not None and size <= GOALS["exe_kib"] * KIB)
                         if size else ""))
        if fp.get("start_to_tray"):
            s = fp["start_to_tray"]
            rows.append((f"Process start → tray icon, median of {s['n']}", ms(s["median_ms"]), "", "", "", ""))
    lines = ["| Measure | Corvanta | Direct injection | Unicode floor | Goal | Met |", "|---|---|---|---|---|---|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    m = r["machine"]
    lines.append("")
    lines.append(f"{r['date']}, {m['nproc']} × {m['cpu']}, {m['wine']}, load average {m['load_average']} at the "
                 f"start{' (quick run: too few samples to mean anything)' if r.get('quick') else ''}.")
    return "\n".join(lines)


# --- Processes ------------------------------------------------------------------------------------------------

class Channel:
    """A helper process with commands on its stdin and answers, one a line, on its stdout."""

    def __init__(self, proc, name):
        self.proc, self.name, self.buffer = proc, name, b""

    def send(self, data):
        self.proc.stdin.write(data)

    def command(self, text):
        self.send(text.encode() + b"\n")

    def line(self, timeout=LINE_TIMEOUT):
        deadline = time.monotonic() + timeout
        while b"\n" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or self.proc.poll() is not None and not select.select([self.proc.stdout], [], [], 0)[0]:
                raise BenchError(f"{self.name} gave no answer within {timeout:g} s"
                                 + (f" (it ended with status {self.proc.returncode})" if self.proc.poll() is not None
                                    else ""))
            if select.select([self.proc.stdout], [], [], left)[0]:
                chunk = os.read(self.proc.stdout.fileno(), 1 << 16)
                if not chunk and self.proc.poll() is not None:
                    continue
                self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode().rstrip("\r")

    def discard(self):
        """Drops what the helper said so far, so its output pipe never fills and stops it."""
        while select.select([self.proc.stdout], [], [], 0)[0]:
            if not os.read(self.proc.stdout.fileno(), 1 << 16):
                break
        self.buffer = b""

    def expect(self, word, timeout=LINE_TIMEOUT):
        """The fields of the next line that starts with word; other lines ("refused ...") are kept aside."""
        deadline = time.monotonic() + timeout
        while True:
            fields = self.line(max(0.0, deadline - time.monotonic())).split()
            if fields[:1] == [word]:
                return fields[1:]
            if fields[:1] == ["refused"]:
                raise BenchError(f"{self.name}: Windows refused {fields[1]} input events")


class Bench:
    def __init__(self, args):
        self.args = args
        helpers = os.path.join(args.build_dir, "tests", "e2e", "helpers")
        self.helper = os.path.join(args.build_dir, "tests", "bench", "bench_helper.exe")
        if not os.path.exists(self.helper):
            raise BenchError(f"missing {self.helper}: build the target bench_helper")
        import e2e
        self.session = e2e.Session(types.SimpleNamespace(exe=os.path.join(args.build_dir, "Corvanta.exe"),
                                                         helpers=helpers, loader=args.loader))
        self.target = None
        self.records = 0  # characters the target has seen so far

    def spawn_helper(self, name, *args):
        proc = subprocess.Popen([self.args.loader, self.helper, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, bufsize=0, start_new_session=True)
        self.session.procs.append(proc)
        return Channel(proc, name)

    def start_target(self):
        self.target = self.spawn_helper("the recording window", "target")
        self.target.expect("ready", 30)
        self.records = 0

    # --- clocks

    def calibrate(self, count=40):
        samples = []
        for _ in range(count):
            before = time.monotonic_ns()
            self.target.command("clock")
            counter = int(self.target.expect("clock")[0]) * 100
            after = time.monotonic_ns()
            samples.append((before, counter, after))
        low, high = offset_bounds(samples)
        return samples[-1][1], (low + high) // 2, (high - low) // 2

    # --- latency

    def wait_records(self, count, timeout=LINE_TIMEOUT):
        fields = self.target.expect("reached", timeout)
        self.records = count
        return int(fields[1]) * 100

    def key_messages(self):
        self.target.command("status")
        return int(self.target.expect("status")[3])

    def latency(self, corvanta_line, helpers, scans):
        results = {"corvanta": [], "direct": [], "direct_sendinput": []}
        keys = {path: 0 for path in PATHS}
        arrivals = []
        expected = b""
        rng = random.Random(4)
        keys_before = self.key_messages()
        for i in range(scans):
            scan = scan_text(i)
            for path in PATHS:
                # Asked before the write, so the recording window is not woken by us while the keys come.
                self.target.command(f"notify {self.records + len(scan)}")
                # Taken before the write: on a busy machine this process may lose the processor right after it,
                # and the keys must never seem to come before their bytes.
                written = time.monotonic_ns()
                if path == "corvanta":
                    os.write(corvanta_line, scan)
                else:
                    helpers[path].send(scan)
                seen = self.wait_records(self.records + len(scan))
                arrivals.append((path, written, seen))
                if path != "corvanta":
                    _, before, _ = helpers[path].expect("sent")
                    if path == "direct":
                        results["direct_sendinput"].append(seen - int(before) * 100)
                keys_now = self.key_messages()
                keys[path] += keys_now - keys_before
                keys_before = keys_now
                expected += scan
                # Quiet between scans, and not in step with anybody's timer.
                time.sleep(0.02 + rng.random() * 0.02)
        results["key_messages_per_char"] = {path: keys[path] / (scans * len(scan_text(0))) for path in PATHS}
        return results, arrivals, expected

    # --- throughput

    def stream(self, write, data, drain):
        """Writes data at the line's pace; returns the Linux time of the first write."""
        chunks = paced_chunks(data, BYTES_PER_SECOND) if self.args.pace else [(0, data)]
        start, first = time.monotonic_ns(), None
        for due, chunk in chunks:
            delay = start / 1e9 + due - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            first = first or time.monotonic_ns()
            write(chunk)
            drain.discard()
        return first

    def wait_all(self, count):
        """Waits for count characters while they keep coming; returns the last one's time or None."""
        self.target.command(f"notify {count}")
        last_count, last_progress = -1, time.monotonic()
        while True:
            try:
                fields = self.target.expect("reached", 1.0)
                self.records = count
                return int(fields[1]) * 100
            except BenchError:
                pass
            self.target.command("status")
            now_count = int(self.target.expect("status")[0])
            if now_count != last_count:
                last_count, last_progress = now_count, time.monotonic()
            elif time.monotonic() - last_progress > 10:
                self.records = now_count
                return None

    def dump(self):
        self.target.command("dump")
        fields = self.target.expect("dump", 60)
        hexes = fields[1] if len(fields) > 1 else ""
        return "".join(chr(int(hexes[i:i + 4], 16)) for i in range(0, len(hexes), 4))

    def throughput_run(self, write, data, drain):
        base = self.records
        keys_before = self.key_messages()
        first = self.stream(write, data, drain)
        last = self.wait_all(base + len(data))
        typed = self.dump()[base:]
        self.records = base + len(typed)
        lost, disorder, extra = compare_text(data.decode("ascii"), typed)
        return first, last, {"lost": lost, "out_of_order": disorder, "extra": extra, "typed": len(typed),
                             "key_messages": self.key_messages() - keys_before,
                             "differences": differences(data.decode("ascii"), typed)}


def machine():
    with open("/proc/cpuinfo") as f:
        cpu = next((line.split(":", 1)[1].strip() for line in f if line.startswith("model name")), platform.machine())
    wine = subprocess.run([testbed.WINE64, "--version"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True).stdout.strip()
    return {"nproc": os.cpu_count(), "cpu": cpu, "wine": wine, "kernel": platform.release(),
            "load_average": " ".join(f"{x:.2f}" for x in os.getloadavg())}


def process_counters(pid):
    """(CPU seconds, context switches over all threads) of a process."""
    with open(f"/proc/{pid}/stat") as f:
        cpu = cpu_seconds(f.read(), os.sysconf("SC_CLK_TCK"))
    switches = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/status") as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
        except FileNotFoundError:  # a thread that just ended
            pass
    return cpu, switches


def wineserver_pid():
    prefix = os.environ.get("WINEPREFIX", "").encode()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/comm") as f:
                if f.read().strip() != "wineserver":
                    continue
            with open(f"/proc/{pid}/environ", "rb") as f:
                if b"WINEPREFIX=" + prefix + b"\0" in f.read():
                    return int(pid)
        except OSError:
            pass
    return None


PHASES = ("latency", "throughput", "azerty", "idle", "stream", "footprint")


def measure_latency(bench, line, helpers, scans):
    """The latency figures of scans through every path; raises unless every scan was typed exactly. The clock
    is calibrated around the scans."""
    start_calibration = bench.calibrate()
    lat, arrivals, expected = bench.latency(line, helpers, scans)
    typed = bench.dump()
    lost, disorder, extra = compare_text(expected.decode("ascii"), typed)
    if (lost, disorder, extra) != (0, 0, 0):
        raise BenchError(f"the scans were not typed exactly: {lost} lost, {disorder} out of order, "
                         f"{extra} extra; first differences: {differences(expected.decode(), typed)}")
    end_calibration = bench.calibrate()
    clock = ClockMap(start_calibration[:2], end_calibration[:2])
    figures = {"scan_chars": SCAN_DIGITS + 1, "direct_sendinput": summary_ms(lat["direct_sendinput"])}
    for path in PATHS:
        figures[path] = dict(summary_ms([clock.to_linux(seen) - written for p, written, seen in arrivals if p == path]),
                             key_messages_per_char=lat["key_messages_per_char"][path])
    return figures


def end_helpers(s):
    """Ends everybody of ours but Corvanta, so that idle figures and the next phase are Corvanta's own."""
    for proc in list(s.procs):
        if proc is not s.program:
            s.kill(proc)


def measure_typing(bench, args, results):
    s = bench.session
    bench.start_target()
    helpers = {"direct": bench.spawn_helper("the direct typist", "inject"),
               "floor": bench.spawn_helper("the Unicode-packet typist", "floor")}
    start_calibration = bench.calibrate()
    line = os.open(s.peer("COM1"), os.O_WRONLY | os.O_NOCTTY)
    try:
        if "latency" in args.phases:
            print(f"latency: {args.scans} scans through each path ...", flush=True)
            results["latency"] = measure_latency(bench, line, helpers, args.scans)
        if "throughput" in args.phases:
            print(f"throughput: {args.throughput_kib} KiB of each text through each path, {args.rounds} rounds ...",
                  flush=True)
            paths = {"corvanta": lambda chunk: os.write(line, chunk), "direct": helpers["direct"].send,
                     "floor": helpers["floor"].send}
            runs = {name: [] for name in TEXTS}
            for round_no in range(args.rounds):
                for name, make in TEXTS.items():
                    data = make(args.throughput_kib * KIB, seed=7 + round_no)
                    # Each helper's "sent" lines are drained while any path streams.
                    runs[name].append({path: bench.throughput_run(paths[path], data, _Drain(helpers.values()))
                                       for path in rotated(PATHS, round_no)})
    finally:
        os.close(line)
    end_calibration = bench.calibrate()
    clock = ClockMap(start_calibration[:2], end_calibration[:2])
    results["calibration"] = {"offset_ms_start": start_calibration[1] / 1e6, "offset_ms_end": end_calibration[1] / 1e6,
                              "uncertainty_us": max(start_calibration[2], end_calibration[2]) / 1e3}
    if "throughput" in args.phases:
        def throughput(first, last, text):
            seconds = (clock.to_linux(last) - first) / 1e9 if last is not None else float("nan")
            return dict(text, seconds=seconds, chars_per_second=text["typed"] / seconds if last else 0.0)
        results["throughput"] = {
            "texts": {name: combine_rounds([{path: throughput(*run[path]) for path in run} for run in text_runs])
                      for name, text_runs in runs.items()},
            "bytes": args.throughput_kib * KIB, "pace_bytes_per_second": BYTES_PER_SECOND if args.pace else 0}
    end_helpers(s)
    return clock


class _Drain:
    def __init__(self, channels):
        self.channels = list(channels)

    def discard(self):
        for channel in self.channels:
            channel.discard()


def set_layout(layout):
    subprocess.run(["setxkbmap", "-display", os.environ["DISPLAY"], layout], check=True)


def measure_azerty(bench, args, results):
    """Latency with the display's layout French AZERTY, where the digits of a scan need Shift. Wine reads the
    layout when a process starts, so everybody starts afresh under it."""
    s = bench.session
    s.kill(s.program)
    print(f"latency, AZERTY: {args.scans} scans through each path ...", flush=True)
    set_layout("fr")
    try:
        s.start_program()
        s.wait_ready()
        com1 = os.path.realpath(testbed.wine_side_path(s.bed, "COM1"))
        testbed.wait_for(lambda: s.program_holds(com1), 15, "Corvanta.exe holding COM1")
        bench.start_target()
        helpers = {"direct": bench.spawn_helper("the direct typist", "inject"),
                   "floor": bench.spawn_helper("the Unicode-packet typist", "floor")}
        line = os.open(s.peer("COM1"), os.O_WRONLY | os.O_NOCTTY)
        try:
            results["latency_azerty"] = measure_latency(bench, line, helpers, args.scans)
        finally:
            os.close(line)
        end_helpers(s)
    finally:
        set_layout("us")


def measure_idle(bench, args, results, com1):
    s = bench.session
    time.sleep(1)
    print(f"idle: {args.idle_seconds:g} s with the port open ...", flush=True)
    server = wineserver_pid()
    cpu0, switches0 = process_counters(s.program.pid)
    server0 = process_counters(server)[0] if server else None
    started = time.monotonic()
    time.sleep(args.idle_seconds)
    cpu1, switches1 = process_counters(s.program.pid)
    elapsed = time.monotonic() - started
    if not s.program_holds(com1):
        raise BenchError("Corvanta.exe closed COM1 while idle")
    results["idle"] = {"seconds": round(elapsed, 1), "cpu_seconds": cpu1 - cpu0,
                       "cpu_percent": (cpu1 - cpu0) / elapsed * 100, "context_switches": switches1 - switches0,
                       "context_switches_per_second": (switches1 - switches0) / elapsed,
                       "wineserver_cpu_percent": (process_counters(server)[0] - server0) / elapsed * 100
                       if server else None}


def measure_stream(bench, args, results):
    """Random printable text written into the line as fast as it takes it: far faster than the window takes keys,
    so nearly all of it waits in Corvanta and is typed as fast as the window takes it."""
    s = bench.session
    bench.start_target()
    data = printable_text(args.stream_kib * KIB, seed=20261207)
    print(f"stream: {size_text(len(data))} written at once ...", flush=True)
    start_calibration = bench.calibrate()
    keys_before = bench.key_messages()
    line = os.open(s.peer("COM1"), os.O_WRONLY | os.O_NOCTTY)
    try:
        first = time.monotonic_ns()
        for i in range(0, len(data), STREAM_PIECE):
            os.write(line, data[i:i + STREAM_PIECE])
        written = time.monotonic_ns()
    finally:
        os.close(line)
    last = bench.wait_all(len(data))
    keys = bench.key_messages() - keys_before
    typed = bench.dump()
    end_calibration = bench.calibrate()
    clock = ClockMap(start_calibration[:2], end_calibration[:2])
    results["stream"] = stream_figures(data.decode("ascii"), typed, first, written,
                                       clock.to_linux(last) if last is not None else None, keys)
    end_helpers(s)


def measure_footprint(bench, args, results, clock):
    s = bench.session
    results["footprint"] = {"exe_bytes": {}, "start_to_tray": None}
    for name, folder in (("win64", args.build_dir), ("win32", args.win32_build_dir)):
        path = os.path.join(folder, "Corvanta.exe")
        results["footprint"]["exe_bytes"][name] = os.path.getsize(path) if os.path.exists(path) else None
    if clock is None:
        bench.start_target()
        start_calibration = bench.calibrate()
        clock = ClockMap(start_calibration[:2], start_calibration[:2])
        s.kill(bench.target.proc)
    starts = []
    print(f"start-up: {args.starts} starts ...", flush=True)
    for _ in range(args.starts):
        testbed.wait_for(s.tray_flushed, 15, "an empty tray before the start")
        watcher = bench.spawn_helper("the tray watcher", "tray", "30000")
        watcher.expect("watching", 30)
        begun = time.monotonic_ns()
        s.program = s.spawn("corvanta", s.exe)
        # Every Wine process reads the same machine-wide counter: the run's calibration holds for the watcher.
        shown = int(watcher.expect("tray", 35)[0]) * 100
        starts.append(clock.to_linux(shown) - begun)
        s.kill(s.program)
    results["footprint"]["start_to_tray"] = summary_ms(starts)


def run(args):
    results = {"date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
               "machine": machine(), "quick": args.quick, "settings": SETTINGS, "goals": GOALS}
    bench = Bench(args)
    s = bench.session
    clock = None
    try:
        s.clear_settings()
        for name, value in (("CommPort", "1"), ("Settings", SETTINGS), ("Handshaking", "0")):
            s.store(name, value)
        if {"latency", "throughput", "azerty", "idle", "stream"} & set(args.phases):
            s.start_program()
            s.wait_ready()
            com1 = os.path.realpath(testbed.wine_side_path(s.bed, "COM1"))
            if not s.program_holds(com1):
                raise BenchError("Corvanta.exe did not open COM1")
            speed, _ = s.line_settings("COM1")
            if speed != BAUD:
                raise BenchError(f"COM1 runs at {speed} baud, not {BAUD}")
            if {"latency", "throughput"} & set(args.phases):
                clock = measure_typing(bench, args, results)
            if "azerty" in args.phases:
                measure_azerty(bench, args, results)
            if "idle" in args.phases:
                measure_idle(bench, args, results, com1)
            if "stream" in args.phases:
                measure_stream(bench, args, results)
            s.kill(s.program)
        if "footprint" in args.phases:
            measure_footprint(bench, args, results, clock)
    finally:
        s.close()
    return results


def differences(sent, typed, limit=5):
    """The first places where typed differs from sent, for the report."""
    head, tail = common_ends(sent, typed)
    sent_middle, typed_middle = sent[head:len(sent) - tail], typed[head:len(typed) - tail]
    if len(sent_middle) * len(typed_middle) > ORDER_LIMIT ** 2:
        return [f"departs at {head}: sent {sent_middle[:20]!r}, typed {typed_middle[:20]!r}; the last {tail} "
                "characters agree"]
    found = []
    for tag, i1, i2, j1, j2 in difflib.SequenceMatcher(None, sent_middle, typed_middle, autojunk=False).get_opcodes():
        if tag != "equal":
            found.append(f"{tag} at {head + i1}: sent {sent_middle[i1:i2][:20]!r}, typed {typed_middle[j1:j2][:20]!r}")
        if len(found) == limit:
            break
    return found


def build(args):
    for folder, preset, targets in ((args.build_dir, "win64", ["Corvanta", "bench_helper", "e2e_recorder",
                                                                 "e2e_wintool"]),
                                    (args.win32_build_dir, "win32", ["Corvanta"])):
        if not os.path.exists(os.path.join(folder, "CMakeCache.txt")):
            subprocess.run(["cmake", "--preset", preset, "-B", folder], cwd=ROOT, check=True)
        subprocess.run(["cmake", "--build", folder, "--target", *targets], cwd=ROOT, check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "win64"), help="64-bit build (%(default)s)")
    parser.add_argument("--win32-build-dir", default=os.path.join(ROOT, "build", "win32"),
                        help="32-bit build, for its size only (%(default)s)")
    parser.add_argument("--out", default=os.path.join(ROOT, "build", "bench", "results.json"), help="%(default)s")
    parser.add_argument("--scans", type=int, default=200, help="scans per path (%(default)s)")
    parser.add_argument("--throughput-kib", type=int, default=16, help="of each text (%(default)s)")
    parser.add_argument("--rounds", type=int, default=5, help="throughput rounds through each path (%(default)s)")
    parser.add_argument("--idle-seconds", type=float, default=60, help="%(default)s")
    parser.add_argument("--starts", type=int, default=5, help="program starts timed (%(default)s)")
    parser.add_argument("--stream-kib", type=int, default=1024, help="written at once in the stream (%(default)s)")
    parser.add_argument("--unpaced", dest="pace", action="store_false",
                        help="write the throughput text at once instead of at the line's pace")
    parser.add_argument("--quick", action="store_true",
                        help="a few samples of everything: proves the benchmark works, measures nothing")
    parser.add_argument("--phases", default=",".join(PHASES), help="what to measure (%(default)s)")
    parser.add_argument("--no-build", action="store_true", help="use the builds as they are")
    parser.add_argument("--loader", default=testbed.WINE64, help=argparse.SUPPRESS)
    args = parser.parse_args()
    args.phases = [p for p in args.phases.split(",") if p]
    if set(args.phases) - set(PHASES):
        parser.error(f"unknown phases {sorted(set(args.phases) - set(PHASES))}; choose from {', '.join(PHASES)}")
    if args.quick:
        args.scans, args.throughput_kib, args.rounds, args.idle_seconds, args.starts = 10, 2, 1, 3, 1
        args.stream_kib = 4
    args.build_dir, args.win32_build_dir, args.out = (os.path.abspath(p) for p in
                                                      (args.build_dir, args.win32_build_dir, args.out))
    if not os.environ.get("CORVANTA_TESTBED"):
        if not args.no_build:
            build(args)
        # Into the test bed, with COM1 only; the bed ends with this process.
        command = [sys.executable, os.path.abspath(__file__), *sys.argv[1:], "--no-build"]
        return subprocess.call([sys.executable, os.path.join(ROOT, "tests", "wine", "testbed.py"), "--ports", "COM1",
                                "--", *command])
    try:
        results = run(args)
    except (BenchError, TimeoutError) as error:
        print(f"benchmark failed: {error}", file=sys.stderr)
        return 1
    except Exception as error:  # the e2e machinery's Failure
        print(f"benchmark failed: {error}", file=sys.stderr)
        return 1
    os.makedirs(os.path.dirname(args.out), exist_ok=True)
    with open(args.out, "w") as f:
        json.dump(results, f, indent=2)
    print()
    print(format_table(results))
    print(f"\nfigures written to {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
