#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log_path.h"
#include "core/record_log.h"
#include "core/repeat_filter.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_environment.h"
#include "fakes/fake_file_appender.h"
#include "fakes/fake_timer.h"

namespace corvanta {
namespace {

const std::string kHeader = "\xEF\xBB\xBFtime,port,received,typed,status\r\n";

LogRow Row(TextView received, TextView typed, RecordStatus status = RecordStatus::kTyped) {
    return {LocalTime{2026, 12, 7, 14, 3, 22, 512, 60}, u"COM3", Text(received), Text(typed), status};
}

// Times in ISO 8601 with milliseconds and the UTC offset, east and west, whole and half hours.
TEST(RecordLog, IsoTimes) {
    const struct {
        LocalTime time;
        const char16_t* shown;
    } cases[] = {
        {{2026, 12, 7, 14, 3, 22, 512, 60}, u"2026-12-07T14:03:22.512+01:00"},
        {{2027, 1, 1, 0, 0, 0, 0, 0}, u"2027-01-01T00:00:00.000+00:00"},
        {{2026, 6, 30, 23, 59, 59, 999, -210}, u"2026-06-30T23:59:59.999-03:30"},
        {{2026, 3, 9, 8, 5, 7, 42, 345}, u"2026-03-09T08:05:07.042+05:45"},
        {{2026, 3, 9, 8, 5, 7, 42, -600}, u"2026-03-09T08:05:07.042-10:00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToUtf8(IsoTime(c.time)), ToUtf8(c.shown)) << ToUtf8(c.shown);
    }
}

// Rows are RFC 4180 CSV in UTF-8: quoted only where a field needs it, quotes doubled, CR LF after each row; a
// field a spreadsheet would run as a formula starts with an apostrophe, a signed reading does not.
TEST(RecordLog, CsvRows) {
    const struct {
        LogRow row;
        std::string line;
    } cases[] = {
        {Row(u"S S      12.345 g\\r\\n", u"12.345\\r"),
         "2026-12-07T14:03:22.512+01:00,COM3,S S      12.345 g\\r\\n,12.345\\r,typed\r\n"},
        {Row(u"ST,+00012.34  g\\r\\n", u"+00012.34\\r"),
         "2026-12-07T14:03:22.512+01:00,COM3,\"ST,+00012.34  g\\r\\n\",'+00012.34\\r,typed\r\n"},
        {Row(u"say \"hi\"", u"", RecordStatus::kNoMatch),
         "2026-12-07T14:03:22.512+01:00,COM3,\"say \"\"hi\"\"\",,no match\r\n"},
        {Row(u"-12.345", u"-12.345"), "2026-12-07T14:03:22.512+01:00,COM3,-12.345,-12.345,typed\r\n"},
        {Row(u"=HYPERLINK(\"x\")", u"@SUM(A1)"),
         "2026-12-07T14:03:22.512+01:00,COM3,\"'=HYPERLINK(\"\"x\"\")\",'@SUM(A1),typed\r\n"},
        {Row(u"+1+cmd", u"-"), "2026-12-07T14:03:22.512+01:00,COM3,'+1+cmd,'-,typed\r\n"},
        {Row(u"\u00B5g \u20AC \U0001F600", u"\u00E9", RecordStatus::kRepeat),
         "2026-12-07T14:03:22.512+01:00,COM3,\xC2\xB5g \xE2\x82\xAC \xF0\x9F\x98\x80,\xC3\xA9,repeat\r\n"},
        {Row(u"", u"", RecordStatus::kNoReply), "2026-12-07T14:03:22.512+01:00,COM3,,,no reply\r\n"},
        {Row(u"a\nb", u"x", RecordStatus::kHeld), "2026-12-07T14:03:22.512+01:00,COM3,\"a\nb\",x,held\r\n"},
        {Row(u"tag", u"", RecordStatus::kTooLong), "2026-12-07T14:03:22.512+01:00,COM3,tag,,too long\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CsvRow(c.row), c.line) << ToUtf8(c.row.received);
    }
}

// A long record shows its first 4096 bytes and how many more there were; so does a long typed text.
TEST(RecordLog, LongFieldsAreCut) {
    FakeAnsiCodePage cp1252;
    const struct {
        Text shown;
        Text expected;
    } cases[] = {
        {ReceivedField(std::string(4096, 'x'), nullptr), Text(4096, u'x')},
        {ReceivedField(std::string(1 << 20, 'x'), nullptr), Text(4096, u'x') + u"\u2026(+1044480 bytes)"},
        {ReceivedField(std::string(4097, '\x1D'), &cp1252),
         [] {
             Text shown;
             for (int i = 0; i < 4096; ++i) {
                 shown += u"\\x1D";
             }
             return shown + u"\u2026(+1 bytes)";
         }()},
        {TypedField(Text(4095, u'a') + u"\U0001F600z"), Text(4095, u'a') + u"\u2026(+3 characters)"},
        {TypedField(u"12.345\r\n"), u"12.345\\r"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.shown, c.expected) << ToUtf8(
            c.expected.substr(c.expected.size() > 40 ? c.expected.size() - 40 : 0));
    }
}

// LogFile: variables put in, %DATE% as the row's day; refused with a reason when it would not name a file of
// its own on a drive or share.
TEST(RecordLog, LogPaths) {
    FakeEnvironment environment;
    environment.Set(u"USERPROFILE", u"C:\\Users\\ana");
    environment.Set(u"LOGSHARE", u"\\\\lab\\logs");
    environment.Set(u"EMPTY", u"");
    const LocalTime day{2026, 12, 7, 23, 59, 59, 999, 60};
    const struct {
        const char16_t* value;
        const char16_t* path;  // null: refused
        const char* reason = "";
    } cases[] = {
        {u"C:\\logs\\scale.csv", u"C:\\logs\\scale.csv"},
        {u"%USERPROFILE%\\Documents\\scale-%DATE%.csv", u"C:\\Users\\ana\\Documents\\scale-2026-12-07.csv"},
        {u"  %userprofile%\\%date%.csv ", u"C:\\Users\\ana\\2026-12-07.csv"},
        {u"%LOGSHARE%\\bench 1\\%DATE%\\x.csv", u"\\\\lab\\logs\\bench 1\\2026-12-07\\x.csv"},
        {u"c:/logs/scale.csv", u"c:/logs/scale.csv"},
        {u"%EMPTY%C:\\a.csv", u"C:\\a.csv"},
        {u"", u""},
        {u"   ", u""},
        {u"%NOSUCH%\\x.csv", nullptr, "%NOSUCH%, which is not set"},
        {u"C:\\logs\\50%.csv", nullptr, "a % without its closing %"},
        {u"%EMPTY%", nullptr, "empty once its variables are put in"},
        {u"scale.csv", nullptr, "not a full path"},
        {u"logs\\%DATE%.csv", nullptr, "not a full path"},
        {u"\\logs\\scale.csv", nullptr, "not a full path"},
        {u"C:scale.csv", nullptr, "not a full path"},
        {u"\\\\server\\x.csv", nullptr, "not a full path"},
        {u"\\\\?\\C:\\logs\\x.csv", nullptr, "device"},
        {u"\\\\.\\COM1", nullptr, "device"},
        {u"C:\\logs\\scale?.csv", nullptr, "not allowed in a file name: \"?\""},
        {u"C:\\logs\\a:b.csv", nullptr, "not allowed in a file name: \":\""},
        {u"C:\\logs\\a\tb.csv", nullptr, "a control character"},
        {u"C:\\logs\\COM1.csv", nullptr, "names the device \"COM1.csv\""},
        {u"C:\\nul\\x.csv", nullptr, "names the device \"nul\""},
        {u"C:\\logs\\LPT\u00B9", nullptr, "names the device"},
        {u"C:\\logs\\", nullptr, "names a folder, not a file"},
        {u"C:\\logs\\\\x.csv", nullptr, "two folder separators"},
    };
    for (const auto& c : cases) {
        if (c.path != nullptr) {
            EXPECT_EQ(ToUtf8(LogPath::Parse(c.value, environment).For(day)), ToUtf8(c.path)) << ToUtf8(c.value);
            continue;
        }
        try {
            LogPath::Parse(c.value, environment);
            ADD_FAILURE() << ToUtf8(c.value) << " was taken";
        } catch (const Error& error) {
            EXPECT_NE(ToUtf8(error.Description()).find(c.reason), std::string::npos)
                << ToUtf8(c.value) << ": " << ToUtf8(error.Description());
        }
    }
    // The longest path Windows' ordinary calls take, with its date, beside one character more.
    const Text folder = u"C:\\" + Text(241, u'f') + u"\\";
    EXPECT_NO_THROW(LogPath::Parse(folder + u"%DATE%.csv", environment));
    EXPECT_THROW(LogPath::Parse(folder + u"x%DATE%.csv", environment), Error);
}

// A record that kept the text of the previous one, less than the gap after it, is a repeat; a tag held for long
// stays one record however often it repeats; 0 is off. The gap is checked on both sides of its range.
TEST(RecordLog, RepeatGap) {
    const struct {
        uint32_t gap;
        std::vector<std::pair<uint32_t, const char16_t*>> records;  // ms after the previous record, kept text
        std::vector<bool> repeats;
    } cases[] = {
        {1000, {{0, u"TAG1"}, {200, u"TAG1"}, {200, u"TAG1"}}, {false, true, true}},
        {1000, {{0, u"TAG1"}, {999, u"TAG1"}, {1000, u"TAG1"}}, {false, true, false}},
        {1000, {{0, u"TAG1"}, {100, u"TAG2"}, {100, u"TAG1"}}, {false, false, false}},
        {1000, {{0, u"12.345"}, {100, u"12.345 "}}, {false, false}},
        {1000, {{0, u""}, {100, u""}}, {false, true}},
        {0, {{0, u"TAG1"}, {1, u"TAG1"}}, {false, false}},
    };
    for (const auto& c : cases) {
        FakeClock clock;
        RepeatFilter filter(clock);
        filter.SetGap(c.gap);
        std::vector<bool> repeats;
        std::string shown;
        for (const auto& [after, kept] : c.records) {
            clock.Advance(after);
            repeats.push_back(filter.IsRepeat(kept));
            shown += "+" + std::to_string(after) + "ms " + ToUtf8(kept) + "; ";
        }
        EXPECT_EQ(repeats, c.repeats) << "gap " << c.gap << ": " << shown;
    }
    EXPECT_EQ(CheckRepeatGap(0), 0u);
    EXPECT_EQ(CheckRepeatGap(3600000), 3600000u);
    EXPECT_THROW(CheckRepeatGap(3600001), Error);
}

struct LogRig {
    LogRig() : log(files, timer, [this](const Text& message) { told.push_back(ToUtf8(message)); }) {
        FakeEnvironment environment;
        log.SetPath(LogPath::Parse(u"C:\\logs\\scale-%DATE%.csv", environment));
    }
    std::string File(const char16_t* day = u"2026-12-07") {
        return files.files[u"C:\\logs\\scale-" + Text(day) + u".csv"];
    }

    FakeFileAppender files;
    FakeTimer timer;
    std::vector<std::string> told;
    RecordLog log;
};

// A new or empty file starts with the byte-order mark and the header; rows go to the file of their own day.
TEST(RecordLog, RowsGoToTheFileOfTheirDay) {
    LogRig rig;
    rig.files.files[u"C:\\logs\\scale-2026-12-08.csv"] = "";
    rig.files.files[u"C:\\logs\\scale-2026-12-09.csv"] = kHeader + "earlier\r\n";
    LogRow row = Row(u"1", u"1\\r");
    for (int day : {7, 7, 8, 9}) {
        row.time.day = day;
        rig.log.Add(row);
    }
    const std::string line = ",COM3,1,1\\r,typed\r\n";
    EXPECT_EQ(rig.File(), kHeader + "2026-12-07T14:03:22.512+01:00" + line + "2026-12-07T14:03:22.512+01:00" + line);
    EXPECT_EQ(rig.File(u"2026-12-08"), kHeader + "2026-12-08T14:03:22.512+01:00" + line);
    EXPECT_EQ(rig.File(u"2026-12-09"), kHeader + "earlier\r\n2026-12-09T14:03:22.512+01:00" + line);
    EXPECT_EQ(rig.log.WaitingRows(), 0u);
    EXPECT_TRUE(rig.told.empty());
}

// A file that cannot be opened or written keeps its rows in memory, in order, and tells the user once; the rows are
// written on a retry once it can be, and a new failure after that is told again. Nothing is written half.
TEST(RecordLog, RowsWaitWhileTheFileCannotBeWritten) {
    const struct {
        const char* trouble;
        void (*make)(FakeFileAppender&);
        void (*mend)(FakeFileAppender&);
        const char* told;
    } cases[] = {
        {"held by a spreadsheet", [](FakeFileAppender& f) { f.held.insert(u"C:\\logs\\scale-2026-12-07.csv"); },
         [](FakeFileAppender& f) { f.held.clear(); }, "being used by another process"},
        {"folder missing", [](FakeFileAppender& f) { f.folders.clear(); },
         [](FakeFileAppender& f) { f.folders.insert(u"C:\\logs"); }, "cannot find the path"},
        {"disk full", [](FakeFileAppender& f) { f.free_bytes = 10; },
         [](FakeFileAppender& f) { f.free_bytes = 1 << 20; }, "not enough space"},
    };
    for (const auto& c : cases) {
        LogRig rig;
        c.make(rig.files);
        rig.log.Add(Row(u"a", u"a"));
        rig.log.Add(Row(u"b", u"b"));
        EXPECT_EQ(rig.log.WaitingRows(), 2u) << c.trouble;
        EXPECT_EQ(rig.File(), "") << c.trouble;
        ASSERT_EQ(rig.told.size(), 1u) << c.trouble;
        EXPECT_NE(rig.told[0].find(c.told), std::string::npos) << c.trouble << ": " << rig.told[0];
        ASSERT_TRUE(rig.timer.pending) << c.trouble;
        rig.timer.Fire();  // still in trouble: told once only
        EXPECT_EQ(rig.told.size(), 1u) << c.trouble;
        c.mend(rig.files);
        rig.log.Add(Row(u"c", u"c"));  // waits for the retry, as a write to a share that hangs would
        EXPECT_EQ(rig.log.WaitingRows(), 3u) << c.trouble;
        rig.timer.Fire();
        EXPECT_EQ(rig.log.WaitingRows(), 0u) << c.trouble;
        EXPECT_EQ(rig.File(), kHeader + "2026-12-07T14:03:22.512+01:00,COM3,a,a,typed\r\n" +
                                  "2026-12-07T14:03:22.512+01:00,COM3,b,b,typed\r\n" +
                                  "2026-12-07T14:03:22.512+01:00,COM3,c,c,typed\r\n")
            << c.trouble;
        EXPECT_FALSE(rig.timer.pending) << c.trouble;
        c.make(rig.files);
        rig.log.Add(Row(u"d", u"d"));
        EXPECT_EQ(rig.told.size(), 2u) << c.trouble;
    }
}

// Beyond 10,000 waiting rows the oldest go, and a row says how many, where they would have been.
TEST(RecordLog, TheOldestRowsGoBeyondTheBound) {
    LogRig rig;
    rig.files.held.insert(u"C:\\logs\\scale-2026-12-07.csv");
    LogRow row = Row(u"", u"");
    for (size_t i = 0; i < RecordLog::kMaxWaitingRows + 3; ++i) {
        row.received = AsciiText(std::to_string(i));
        row.time.millisecond = static_cast<int>(i % 1000);
        rig.log.Add(row);
    }
    EXPECT_EQ(rig.log.WaitingRows(), RecordLog::kMaxWaitingRows);
    rig.files.held.clear();
    rig.timer.Fire();
    const std::string file = rig.File();
    const std::string start = kHeader + "2026-12-07T14:03:22.002+01:00,COM3,,,3 rows dropped (not written in time)\r\n";
    EXPECT_EQ(file.substr(0, start.size()), start);
    EXPECT_NE(file.find("\r\n2026-12-07T14:03:22.003+01:00,COM3,3,,typed\r\n"), std::string::npos);
    EXPECT_NE(file.find(",COM3,10002,,typed\r\n"), std::string::npos);
    EXPECT_EQ(file.find(",COM3,2,,typed\r\n"), std::string::npos);
}

// Attached to the journal, the log writes a row once its status has settled, whether it came settled or waiting.
TEST(RecordLog, WritesTheJournalsSettledRows) {
    LogRig rig;
    RecordJournal journal;
    journal.Attach(rig.log);
    const RecordJournal::RowId waiting = journal.Add(Row(u"1\\r", u"1\\r", RecordStatus::kWaiting));
    journal.Add(Row(u"S D\\r", u"", RecordStatus::kNoMatch));
    journal.Add(Row(u"", u"", RecordStatus::kNoReply));
    const std::string time = "2026-12-07T14:03:22.512+01:00";
    EXPECT_EQ(rig.File(), kHeader + time + ",COM3,S D\\r,,no match\r\n" + time + ",COM3,,,no reply\r\n");
    journal.Change(waiting, Row(u"1\\r", u"1\\r", RecordStatus::kHeld));
    EXPECT_EQ(rig.File(), kHeader + time + ",COM3,S D\\r,,no match\r\n" + time + ",COM3,,,no reply\r\n" + time +
                              ",COM3,1\\r,1\\r,held\r\n");
}

// No path: no log, and rows that waited for a file go with it; a new path takes the waiting rows.
TEST(RecordLog, ChangingThePath) {
    FakeEnvironment environment;
    LogRig rig;
    rig.files.folders.clear();
    rig.log.Add(Row(u"a", u"a"));
    rig.files.folders.insert(u"D:\\other");
    rig.log.SetPath(LogPath::Parse(u"D:\\other\\log.csv", environment));
    EXPECT_EQ(rig.files.files[u"D:\\other\\log.csv"], kHeader + "2026-12-07T14:03:22.512+01:00,COM3,a,a,typed\r\n");
    rig.log.SetPath(LogPath());
    rig.log.Add(Row(u"b", u"b"));
    EXPECT_EQ(rig.log.WaitingRows(), 0u);
    EXPECT_EQ(rig.files.files.size(), 1u);
}

}  // namespace
}  // namespace corvanta
