#include "core/log_path.h"

#include <cstdio>
#include <string>

namespace corvanta {

namespace {

constexpr size_t kMaxPath = 259;
constexpr TextView kDateSlot = u"%DATE%";

Text Quoted(TextView text) {
    return u"\"" + Text(text) + u"\"";
}

bool IsSeparator(char16_t unit) {
    return unit == u'\\' || unit == u'/';
}

bool IsAsciiLetter(char16_t unit) {
    return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
}

// The device names Windows gives every folder, with or without an extension; COM and LPT with a superscript
// digit count too.
bool IsDeviceName(TextView part) {
    const size_t dot = part.find(u'.');
    TextView base = part.substr(0, dot);
    while (!base.empty() && base.back() == u' ') {
        base.remove_suffix(1);
    }
    for (const char16_t* device : {u"con", u"prn", u"aux", u"nul", u"conin$", u"conout$"}) {
        if (EqualIgnoringAsciiCase(base, device)) {
            return true;
        }
    }
    if (base.size() == 4 &&
        (EqualIgnoringAsciiCase(base.substr(0, 3), u"com") || EqualIgnoringAsciiCase(base.substr(0, 3), u"lpt"))) {
        const char16_t digit = base[3];
        return (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' || digit == u'\u00B3';
    }
    return false;
}

// Where the folders and the file name start: after "C:\" or after "\\server\share\".
size_t RootLength(TextView path) {
    if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == u':' && IsSeparator(path[2])) {
        return 3;
    }
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        if (path.size() >= 3 && (path[2] == u'?' || path[2] == u'.')) {
            throw Error(Quoted(path) + u" is a device or \\\\?\\ path, not a file path such as C:\\Logs\\scale.csv");
        }
        size_t server_end = 2;
        while (server_end < path.size() && !IsSeparator(path[server_end])) {
            ++server_end;
        }
        size_t share_end = server_end + 1;
        while (share_end < path.size() && !IsSeparator(path[share_end])) {
            ++share_end;
        }
        if (server_end > 2 && share_end < path.size() && share_end > server_end + 1) {
            return share_end + 1;
        }
    }
    throw Error(Quoted(path) +
                u" is not a full path: start it with a drive or a share, such as "
                u"%USERPROFILE%\\Documents\\scale-%DATE%.csv or \\\\server\\share\\scale.csv");
}

void CheckPath(TextView path) {
    const size_t root = RootLength(path);
    size_t start = root;
    for (size_t i = root; i <= path.size(); ++i) {
        if (i < path.size() && !IsSeparator(path[i])) {
            const char16_t unit = path[i];
            if (unit < 0x20 || Text(u"<>:\"|?*").find(unit) != Text::npos) {
                throw Error(Quoted(path) + u" holds a character not allowed in a file name: " +
                            (unit < 0x20 ? Text(u"a control character") : Quoted(TextView(&path[i], 1))));
            }
            continue;
        }
        const TextView part = path.substr(start, i - start);
        if (part.empty()) {
            throw Error(Quoted(path) + (i == path.size() ? Text(u" names a folder, not a file")
                                                         : Text(u" has two folder separators in a row")));
        }
        if (IsDeviceName(part)) {
            throw Error(Quoted(path) + u" names the device " + Quoted(part) + u", not a file");
        }
        start = i + 1;
    }
}

}  // namespace

Text DateText(const LocalTime& time) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", time.year % 10000, time.month % 100, time.day % 100);
    return AsciiText(buffer);
}

LogPath LogPath::Parse(TextView value, const Environment& environment) {
    const Text trimmed = TrimBlanks(value);
    if (trimmed.empty()) {
        return {};
    }
    LogPath log_path;
    Text part;
    for (size_t i = 0; i < trimmed.size(); ++i) {
        if (trimmed[i] != u'%') {
            part.push_back(trimmed[i]);
            continue;
        }
        const size_t close = trimmed.find(u'%', i + 1);
        if (close == Text::npos) {
            throw Error(Quoted(trimmed) + u" has a % without its closing %");
        }
        const TextView name = TextView(trimmed).substr(i + 1, close - i - 1);
        if (EqualIgnoringAsciiCase(name, kDateSlot.substr(1, 4))) {
            log_path.parts_.push_back(std::move(part));
            part.clear();
        } else if (const std::optional<Text> variable = name.empty() ? std::nullopt : environment.Variable(name)) {
            part += *variable;
        } else {
            throw Error(Quoted(trimmed) + u" names %" + Text(name) + u"%, which is not set");
        }
        i = close;
    }
    log_path.parts_.push_back(std::move(part));
    log_path.source_ = trimmed;
    // Checked as it will be opened, with a date in every slot.
    const Text example = log_path.For(LocalTime{});
    if (TrimBlanks(example).empty()) {
        throw Error(Quoted(trimmed) + u" is empty once its variables are put in");
    }
    CheckPath(example);
    if (example.size() > kMaxPath) {
        throw Error(Quoted(example) + u" is longer than " + AsciiText(std::to_string(kMaxPath)) + u" characters");
    }
    return log_path;
}

Text LogPath::For(const LocalTime& time) const {
    Text path;
    for (size_t i = 0; i < parts_.size(); ++i) {
        if (i > 0) {
            path += DateText(time);
        }
        path += parts_[i];
    }
    return path;
}

}  // namespace corvanta
