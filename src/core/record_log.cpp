#include "core/record_log.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "core/escapes.h"

namespace corvanta {

namespace {

constexpr char16_t kMore[] = u"\u2026(+";

bool LooksLikeFormula(TextView field) {
    if (field.empty() || TextView(u"=+-@").find(field[0]) == TextView::npos) {
        return false;
    }
    // A signed number ("-12.345", "+00012.34") is a reading, shown by a spreadsheet as a number.
    size_t i = field[0] == u'=' || field[0] == u'@' ? 0 : 1;
    bool digits = false;
    bool point = false;
    for (; i < field.size(); ++i) {
        if (field[i] >= u'0' && field[i] <= u'9') {
            digits = true;
        } else if ((field[i] == u'.' || field[i] == u',') && !point) {
            point = true;
        } else {
            return true;
        }
    }
    return !digits;
}

void AppendField(TextView field, std::string& line) {
    const Text text = LooksLikeFormula(field) ? u"'" + Text(field) : Text(field);
    if (text.find_first_of(u",\"\r\n") == Text::npos) {
        line += ToUtf8(text);
        return;
    }
    Text quoted = u"\"";
    for (char16_t unit : text) {
        quoted.push_back(unit);
        if (unit == u'"') {
            quoted.push_back(u'"');
        }
    }
    quoted.push_back(u'"');
    line += ToUtf8(quoted);
}

std::string CsvLine(std::initializer_list<TextView> fields) {
    std::string line;
    bool first = true;
    for (TextView field : fields) {
        if (!first) {
            line.push_back(',');
        }
        first = false;
        AppendField(field, line);
    }
    line += "\r\n";
    return line;
}

}  // namespace

Text ReceivedField(std::string_view bytes, const AnsiCodePage* code_page, size_t total) {
    if (total <= kMaxShownBytes) {
        return EscapeReceived(bytes, code_page);
    }
    return EscapeReceived(bytes.substr(0, kMaxShownBytes), code_page) + kMore +
           AsciiText(std::to_string(total - kMaxShownBytes) + " bytes)");
}

Text TypedField(TextView typed, size_t total) {
    if (total <= kMaxShownBytes) {
        return EscapeTyped(typed);
    }
    size_t cut = std::min(kMaxShownBytes, typed.size());
    if (cut > 0 && IsHighSurrogate(typed[cut - 1])) {
        --cut;
    }
    return EscapeTyped(typed.substr(0, cut)) + kMore + AsciiText(std::to_string(total - cut) + " characters)");
}

Text IsoTime(const LocalTime& time) {
    const int offset = time.utc_offset_minutes < 0 ? -time.utc_offset_minutes : time.utc_offset_minutes;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", time.year % 10000,
                  time.month % 100, time.day % 100, time.hour % 100, time.minute % 100, time.second % 100,
                  time.millisecond % 1000, time.utc_offset_minutes < 0 ? '-' : '+', offset / 60 % 100, offset % 60);
    return AsciiText(buffer);
}

std::string CsvHeader() {
    return "\xEF\xBB\xBFtime,port,received,typed,status\r\n";
}

std::string CsvRow(const LogRow& row) {
    return CsvLine({IsoTime(row.time), row.port, row.received, row.typed, StatusText(row.status)});
}

RecordLog::RecordLog(FileAppender& files, Timer& retry_timer, std::function<void(const Text&)> tell_user)
    : files_(files), retry_timer_(retry_timer), tell_user_(std::move(tell_user)) {
    retry_timer_.SetOnTimer([this] { Write(); });
}

void RecordLog::SetPath(const LogPath& path) {
    if (path == path_) {
        return;
    }
    path_ = path;
    if (path_.Empty()) {
        retry_timer_.Stop();
        waiting_.clear();
        waiting_bytes_ = 0;
        dropped_ = 0;
        told_ = false;
        return;
    }
    if (!waiting_.empty() || dropped_ > 0) {
        retry_timer_.Stop();
        Write();
    }
}

void RecordLog::Add(const LogRow& row) {
    if (path_.Empty()) {
        return;
    }
    waiting_.push_back({row.time, row.port, CsvRow(row)});
    waiting_bytes_ += waiting_.back().line.size();
    while (waiting_.size() > kMaxWaitingRows || (waiting_bytes_ > kMaxWaitingBytes && waiting_.size() > 1)) {
        Drop();
    }
    if (!retry_timer_.Pending()) {
        Write();
    }
}

void RecordLog::RowAdded(RecordJournal::RowId /*id*/, const LogRow& row) {
    if (IsSettled(row.status)) {
        Add(row);
    }
}

void RecordLog::RowChanged(RecordJournal::RowId /*id*/, const LogRow& row) {
    if (IsSettled(row.status)) {
        Add(row);
    }
}

void RecordLog::Drop() {
    waiting_bytes_ -= waiting_.front().line.size();
    last_dropped_ = std::move(waiting_.front());
    waiting_.pop_front();
    ++dropped_;
}

void RecordLog::Write() {
    while (!waiting_.empty() || dropped_ > 0) {
        // One file at a time: rows of one day go to one file, the note of dropped rows where they would have gone.
        const Text path = path_.For(dropped_ > 0 ? last_dropped_.time : waiting_.front().time);
        std::string lines;
        if (dropped_ > 0) {
            const Text note = AsciiText(std::to_string(dropped_) + (dropped_ == 1 ? " row" : " rows") +
                                        " dropped (not written in time)");
            lines = CsvLine({IsoTime(last_dropped_.time), last_dropped_.port, u"", u"", note});
        }
        size_t rows = 0;
        while (rows < waiting_.size() && path_.For(waiting_[rows].time) == path) {
            lines += waiting_[rows].line;
            ++rows;
        }
        try {
            const std::unique_ptr<AppendingFile> file = files_.Open(path);
            file->Append(file->Size() == 0 ? CsvHeader() + lines : lines);
        } catch (const Error& error) {
            if (!told_ && tell_user_) {
                tell_user_(error.Description() + u" The log's rows wait in memory until it can be written.");
            }
            told_ = true;
            retry_timer_.Start(kRetryMs);
            return;
        }
        for (size_t i = 0; i < rows; ++i) {
            waiting_bytes_ -= waiting_.front().line.size();
            waiting_.pop_front();
        }
        dropped_ = 0;
        told_ = false;
    }
}

}  // namespace corvanta
