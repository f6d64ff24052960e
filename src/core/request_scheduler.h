#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/text.h"
#include "core/policy_values.h"
#include "core/serial_control.h"
#include "platform/ansi_code_page.h"
#include "platform/shell_notify.h"
#include "platform/system_hotkey.h"
#include "platform/timer.h"

namespace corvanta {

// Where the request values live, with the rules of the output values: a value of the same name under the policy
// key wins over the user's.
inline constexpr char16_t kRequestUserPath[] = u"Software\\Corvanta\\Request";
inline constexpr char16_t kRequestPolicyPath[] = u"Software\\Policies\\Corvanta\\Request";
inline constexpr PolicyGroup kRequestGroup{kRequestUserPath, kRequestPolicyPath};

inline constexpr uint32_t kMinRequestIntervalMs = 100;
inline constexpr uint32_t kMaxRequestIntervalMs = 86400000;
inline constexpr uint32_t kMaxReplyTimeoutMs = 60000;

// How the program asks the device for a reading. The defaults ask nothing.
struct RequestSettings {
    // The bytes written for each request (see EncodeCommand); empty: no requests at all.
    std::string command;
    std::optional<Hotkey> hotkey;
    // Between two requests of the timer while the port is open; 0: no timer.
    uint32_t interval_ms = 0;
    // Within which a record must arrive after a request; 0: no reply is waited for.
    uint32_t reply_timeout_ms = 2000;

    bool operator==(const RequestSettings&) const = default;
};

// The checks of the values, for the settings reader: each returns the value it takes, or throws Error saying why
// (for the message that names refused values).
// Interval: 0, or 100 to 86400000 ms.
uint32_t ParseRequestInterval(uint32_t ms);
// ReplyTimeout: 0, or 1 to 60000 ms.
uint32_t ParseReplyTimeout(uint32_t ms);
// Command: the bytes of the value's text. The escapes are those of the output values, but \xNN is the byte NN as
// it stands (devices take bytes, such as \x02 or a checksum); every other character above U+007F is written in
// the output encoding: the code page's, or UTF-8 without one. A character the code page lacks, half a surrogate
// pair or a bad escape is refused.
std::string EncodeCommand(TextView value, const AnsiCodePage* code_page);

// What the scheduler works with; all of it outlives the scheduler, whose handlers it takes over (the two timers'
// and the hotkey's).
struct RequestServices {
    SerialControl& port;
    Timer& interval_timer;
    Timer& reply_timer;
    SystemHotkey& hotkey;
    // A balloon on the tray icon, under the program's title; never a modal box (the user may be serving someone).
    std::function<void(TextView text, BalloonIcon icon)> balloon;
    // A request got no record within the reply timeout: the log's "no reply" row for COMn.
    std::function<void(int16_t port)> no_reply;
};

// The request policy. A request comes from the tray menu's "Request Reading", the hotkey or the interval timer,
// and writes the command to the port. One request at a time: while one waits for its reply, another is not sent.
// Any record that arrives ends the wait; none within the reply timeout gives the balloon "No reply from COMn"
// once until a record comes again, and a log row every time. The timer runs only while the port is open: it
// pauses while the port waits for its device and goes on when it reopens. A request of the user while the port
// is closed or waits for its device gives the balloon "COMn is not open"; the timer's just pauses.
class RequestScheduler {
  public:
    explicit RequestScheduler(RequestServices services);
    ~RequestScheduler();
    RequestScheduler(const RequestScheduler&) = delete;
    RequestScheduler& operator=(const RequestScheduler&) = delete;

    // Takes new settings at once: the hotkey is held while there is a command (a combination held before is let
    // go), and the timer follows the new interval. Returns why the hotkey could not be taken (another program
    // holds it), for the message that names refused values; everything else works without it.
    std::optional<Text> SetSettings(const RequestSettings& settings);
    const RequestSettings& Settings() const { return settings_; }

    // Whether requests can be made: the tray menu offers "Request Reading" then.
    bool CanRequest() const { return !settings_.command.empty(); }
    // The tray menu's "Request Reading"; the hotkey makes the same request.
    void RequestReading();

    // The relay passed a record on (a reply or not, late or not): the wait for a reply ends.
    void RecordArrived();
    // The port may have opened, closed, lost its device or got it back: on OnComm, and after the port dialog
    // or anything else that opens or closes the port.
    void PortStateChanged();

    bool AwaitingReply() const { return awaiting_reply_; }

  private:
    enum class Source : uint8_t { kUser, kTimer };

    void Request(Source source);
    void OnIntervalTimer();
    void OnReplyTimeout();
    // Starts the interval timer when it should run and does not, stops it when it should not run.
    void FollowPort();
    void EndWait();
    void Balloon(TextView text);

    RequestServices services_;
    RequestSettings settings_;
    bool awaiting_reply_ = false;
    // "No reply" was shown and no record came since.
    bool no_reply_shown_ = false;
    // A write the port refused was shown and none went out since.
    bool refusal_shown_ = false;
};

}  // namespace corvanta
