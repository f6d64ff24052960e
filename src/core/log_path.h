#pragma once

#include <vector>

#include "common/text.h"
#include "platform/clock.h"
#include "platform/environment.h"

namespace corvanta {

// The LogFile value: the file each record's row goes to. Environment variables (%USERPROFILE%, %PUBLIC%, ...)
// are put in when the value is read; %DATE% stays a slot for the row's local date as yyyy-mm-dd, a file a day.
//
// Refused, with the reason, for the start-up message:
// - a % without its closing %, or a variable that is not set;
// - nothing left once expanded;
// - not a full path: it must start with a drive (C:\) or a share (\\server\share\); a relative path would land in
//   whatever folder the program was started from. \\?\ and \\.\ paths are refused too;
// - a character Windows does not allow in a file name (< > : " | ? * and control characters), a device name such
//   as NUL, CON or COM1 as a part of the path (COM1.csv opens the serial port on older Windows), or a path that
//   ends in a folder separator;
// - longer than 259 characters with its date, the limit of Windows' ordinary file calls.
// Folders are not checked or created: one that is missing (a network drive not yet connected) makes rows wait.
class LogPath {
  public:
    // No log.
    LogPath() = default;

    // An empty value is no log. Throws Error saying why the value is refused.
    static LogPath Parse(TextView value, const Environment& environment);

    bool Empty() const { return parts_.empty(); }

    // The file for a row written at this time.
    Text For(const LocalTime& time) const;

    // The value it was read from, blanks around it trimmed: its variables and %DATE% as written.
    const Text& Source() const { return source_; }

    bool operator==(const LogPath&) const = default;

  private:
    // The expanded path, split where %DATE% stood.
    std::vector<Text> parts_;
    Text source_;
};

// yyyy-mm-dd of the local date.
Text DateText(const LocalTime& time);

}  // namespace corvanta
