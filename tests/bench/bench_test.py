#!/usr/bin/env python3
"""The benchmark's arithmetic: a wrong percentile, clock offset or loss count would publish wrong figures."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchmark  # noqa: E402


class PercentileTest(unittest.TestCase):
    def test_table(self):
        cases = [  # values, p, expected
            ([5], 50, 5), ([5], 99, 5),
            ([1, 2, 3], 50, 2), ([3, 1, 2], 50, 2),  # order of arrival does not matter
            ([1, 2, 3, 4], 50, 2.5),
            (list(range(1, 101)), 99, 99.01),
            (list(range(200)), 99, 197.01),
            ([0, 10], 100, 10), ([0, 10], 0, 0),
        ]
        for values, p, expected in cases:
            with self.subTest(values=values[:5], p=p):
                self.assertAlmostEqual(benchmark.percentile(values, p), expected)

    def test_no_values(self):
        with self.assertRaises(ValueError):
            benchmark.percentile([], 50)


class ClockTest(unittest.TestCase):
    def test_offset_lies_between_the_bounds_of_every_sample(self):
        # True offset 179 ms; each counter reading happened somewhere between before and after.
        offset = 179_000_000
        samples = [(1000 + offset - 30, 1000, 1000 + offset + 50), (5000 + offset - 10, 5000, 5000 + offset + 200),
                   (9000 + offset - 400, 9000, 9000 + offset + 5)]
        low, high = benchmark.offset_bounds(samples)
        self.assertEqual((low, high), (offset - 10, offset + 5))

    def test_clocks_that_disagree_are_refused(self):
        with self.assertRaises(benchmark.BenchError):
            benchmark.offset_bounds([(100, 0, 110), (300, 100, 305)])  # offset both <= 110 and >= 200

    def test_map_interpolates_a_drifting_offset(self):
        clock = benchmark.ClockMap((0, 1000), (1_000_000, 1100))
        for counter, linux in ((0, 1000), (500_000, 501_050), (1_000_000, 1_001_100), (2_000_000, 2_001_200)):
            with self.subTest(counter=counter):
                self.assertAlmostEqual(clock.to_linux(counter), linux)


class CompareTextTest(unittest.TestCase):
    def test_table(self):
        cases = [  # sent, typed, (lost, out of order, extra)
            ("abcdef", "abcdef", (0, 0, 0)),
            ("abcdef", "abcde", (1, 0, 0)),
            ("abcdef", "", (6, 0, 0)),
            ("abcdef", "abdcef", (0, 1, 0)),
            ("abcdef", "abcdefa", (0, 0, 1)),
            ("abcdef", "abccdef", (0, 0, 1)),  # a character typed twice
            ("aaaa", "aaa", (1, 0, 0)),
            ("abcdef", "fabcde", (0, 1, 0)),
            ("abcabc", "abcbc", (1, 0, 0)),  # the common beginning and end must not overlap
            ("abab", "ab", (2, 0, 0)),
        ]
        for sent, typed, expected in cases:
            with self.subTest(sent=sent, typed=typed):
                self.assertEqual(benchmark.compare_text(sent, typed), expected)

    def test_a_long_stream_is_compared_in_time(self):
        # The 1 MiB stream's faults: a character lost, two swapped, a block typed twice, the end missing; and a
        # difference too long to order, whose order is reported as unknown rather than worked out for hours.
        sent = benchmark.printable_text(1024 * 1024, seed=3).decode()
        middle = len(sent) // 2
        cases = [  # typed, (lost, out of order, extra)
            (sent[:middle] + sent[middle + 1:], (1, 0, 0)),
            (sent[:middle] + sent[middle + 1] + sent[middle] + sent[middle + 2:], (0, 1, 0)),
            (sent[:middle] + sent[middle - 512:], (0, 0, 512)),
            (sent[:middle], (len(sent) - middle, 0, 0)),
            (sent[::-1], (0, None, 0)),
        ]
        for typed, expected in cases:
            with self.subTest(expected=expected):
                self.assertEqual(benchmark.compare_text(sent, typed), expected)
                self.assertTrue(benchmark.differences(sent, typed))


class TextsTest(unittest.TestCase):
    def test_scans_are_twelve_digits_with_a_valid_check_digit_and_a_cr(self):
        for index in (0, 1, 199, 12345):
            scan = benchmark.scan_text(index).decode()
            with self.subTest(scan=scan):
                self.assertEqual(len(scan), 13)
                self.assertTrue(scan[:12].isdigit() and scan[12] == "\r")
                weighted = sum(int(d) * (3 if i % 2 == 0 else 1) for i, d in enumerate(scan[:12]))
                self.assertEqual(weighted % 10, 0)
        self.assertNotEqual(benchmark.scan_text(1), benchmark.scan_text(2))

    def test_printable_text_is_printable_and_repeatable(self):
        text = benchmark.printable_text(4096, seed=7)
        self.assertEqual(len(text), 4096)
        self.assertTrue(all(0x20 <= b < 0x7F for b in text))
        self.assertEqual(text, benchmark.printable_text(4096, seed=7))

    def test_pacing_sends_everything_once_at_the_rate(self):
        for size in (1, 57, 11520, 65536):
            data = benchmark.printable_text(size, seed=size)
            chunks = benchmark.paced_chunks(data, 11520)
            with self.subTest(size=size):
                self.assertEqual(b"".join(chunk for _, chunk in chunks), data)
                last_due = chunks[-1][0]
                self.assertAlmostEqual(last_due, size / 11520, delta=0.006)
                for due, chunk in chunks:  # never ahead of the line
                    self.assertLessEqual(sum(len(c) for d, c in chunks if d <= due), due * 11520 + 1)


class ProcTest(unittest.TestCase):
    def test_cpu_seconds_reads_utime_and_stime_after_a_name_with_spaces(self):
        line = "4242 (Corvanta.exe (x) ) S 1 4242 4242 0 -1 4194560 900 0 0 0 150 27 0 0 20 0 9 0 1000 0 0"
        self.assertAlmostEqual(benchmark.cpu_seconds(line, 100), 1.77)


class RoundsTest(unittest.TestCase):
    def test_the_median_rounds_ratio_counts_and_every_fault_counts(self):
        def path(seconds, lost=0):
            return {"lost": lost, "out_of_order": 0, "extra": 0, "typed": 100 - lost, "seconds": seconds,
                    "chars_per_second": 100 / seconds, "differences": [f"lost {lost}"] if lost else []}
        rounds = [{"corvanta": path(12.0), "direct": path(10.0)},
                  {"corvanta": path(9.0, lost=2), "direct": path(10.0)},
                  {"corvanta": path(10.0), "direct": path(8.0)}]
        combined = benchmark.combine_rounds(rounds)
        self.assertEqual(combined["ratios"], [1.2, 0.9, 1.25])
        self.assertEqual(combined["ratio"], 1.2)
        self.assertEqual(combined["corvanta"]["lost"], 2)
        self.assertEqual(combined["corvanta"]["typed"], 298)
        self.assertEqual(combined["corvanta"]["differences"], ["lost 2"])
        self.assertEqual(combined["direct"]["seconds"], 10.0)

    def test_floor_ratio_and_key_messages_per_character(self):
        def path(seconds, keys):
            return {"lost": 0, "out_of_order": 0, "extra": 0, "typed": 100, "seconds": seconds,
                    "chars_per_second": 100 / seconds, "differences": [], "key_messages": keys}
        rounds = [{"corvanta": path(12.0, 250), "direct": path(12.0, 250), "floor": path(10.0, 200)},
                  {"corvanta": path(11.0, 250), "direct": path(10.0, 250), "floor": path(10.0, 200)},
                  {"corvanta": path(15.0, 250), "direct": path(10.0, 250), "floor": path(10.0, 200)}]
        combined = benchmark.combine_rounds(rounds)
        self.assertEqual(combined["floor_ratios"], [1.2, 1.1, 1.5])
        self.assertEqual(combined["floor_ratio"], 1.2)
        self.assertEqual(combined["corvanta"]["key_messages_per_char"], 2.5)
        self.assertEqual(combined["floor"]["key_messages_per_char"], 2.0)

    def test_each_path_goes_first_in_turn(self):
        orders = [benchmark.rotated(benchmark.PATHS, r) for r in range(3)]
        self.assertEqual({order[0] for order in orders}, set(benchmark.PATHS))
        self.assertTrue(all(sorted(order) == sorted(benchmark.PATHS) for order in orders))


class TableTest(unittest.TestCase):
    def test_misses_are_marked(self):
        results = {
            "date": "2026-12-07 06:00 UTC", "quick": False,
            "machine": {"nproc": 2, "cpu": "Some CPU", "wine": "wine-8.0", "load_average": "1.00 1.00 1.00"},
            "latency": {"corvanta": {"n": 200, "median_ms": 4.0, "p99_ms": 9.0},
                        "direct": {"n": 200, "median_ms": 1.0, "p99_ms": 3.0},
                        "floor": {"n": 200, "median_ms": 1.0, "p99_ms": 3.0},
                        "direct_sendinput": {"n": 200, "median_ms": 0.8, "p99_ms": 2.0}},
            "throughput": {"bytes": 65536, "pace_bytes_per_second": 11520, "texts": {
                "mixed": {"rounds": 5, "ratio": 1.05, "ratios": [1.05], "floor_ratio": 1.3, "floor_ratios": [1.3],
                          "corvanta": {"lost": 0, "out_of_order": 0, "extra": 0, "seconds": 6.3,
                                       "chars_per_second": 10400, "key_messages_per_char": 2.5},
                          "direct": {"lost": 0, "out_of_order": 0, "extra": 0, "seconds": 6.0,
                                     "chars_per_second": 10900, "key_messages_per_char": 2.5},
                          "floor": {"lost": 0, "out_of_order": 0, "extra": 0, "seconds": 4.8,
                                    "chars_per_second": 13000, "key_messages_per_char": 2.0}},
                "lowercase": {"rounds": 5, "ratio": 1.0, "ratios": [1.0], "floor_ratio": 1.05, "floor_ratios": [1.05],
                              "corvanta": {"lost": 1, "out_of_order": 0, "extra": 0, "seconds": 6.3,
                                           "chars_per_second": 10400, "key_messages_per_char": 2.0},
                              "direct": {"lost": 0, "out_of_order": 0, "extra": 0, "seconds": 6.0,
                                         "chars_per_second": 10900, "key_messages_per_char": 2.0},
                              "floor": {"lost": 0, "out_of_order": 0, "extra": 0, "seconds": 6.0,
                                        "chars_per_second": 10900, "key_messages_per_char": 2.0}}}},
            "idle": {"seconds": 60, "cpu_percent": 0.02, "context_switches": 3, "context_switches_per_second": 0.05},
            "stream": benchmark.stream_figures("abcdef", "abcdeff", 0, 10**8, 4 * 10**9, 14),
            "footprint": {"exe_bytes": {"win64": 500 * 1024, "win32": None},
                          "start_to_tray": {"n": 5, "median_ms": 420.0}},
        }
        rows = {line.split(" | ")[0].lstrip("| "): line for line in benchmark.format_table(results).splitlines()}
        verdicts = {"median": "**no**", "99th": "yes", "mixed, 64 KiB paced at 11,520 B/s: lost": "yes",
                    "lowercase, 64 KiB paced at 11,520 B/s: lost": "**no**", "mixed: key messages": "yes",
                    "mixed: Corvanta ÷ direct": "yes", "mixed: Corvanta ÷ floor": "**no**",
                    "lowercase: Corvanta ÷ floor": "yes", "CPU": "yes", "size, win64": "**no**",
                    "size, win32": "not built", "written at once: lost": "**no**", "Stream: first byte": "4.0 s (2/s)",
                    "written in 0.1 s": "4.0 s"}
        for key, verdict in verdicts.items():
            row = next(line for name, line in rows.items() if key in name)
            with self.subTest(row=key):
                self.assertIn(verdict, row)


if __name__ == "__main__":
    unittest.main()
