#include "core/request_scheduler.h"

#include <initializer_list>
#include <string>
#include <utility>

#include "common/serial_settings.h"
#include "core/escapes.h"
#include "core/hotkey_names.h"

namespace corvanta {
namespace {

// One character above U+007F (one unit, or a surrogate pair) in the encoding.
std::string EncodeCharacter(TextView character, const AnsiCodePage* code_page) {
    if (code_page == nullptr) {
        return ToUtf8(character);
    }
    std::string bytes = code_page->ToAnsi(character);
    // A code page writes a character it lacks as its default character: that would send the device a "?".
    if (code_page->ToText(bytes) != character) {
        throw Error(u"\"" + Text(character) + u"\" is not in the output encoding's code page");
    }
    return bytes;
}

// Resolved text: ASCII as it stands, everything above in the encoding.
void AppendEncoded(TextView text, const AnsiCodePage* code_page, std::string& bytes) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] < 0x80) {
            bytes.push_back(static_cast<char>(text[i]));
            continue;
        }
        size_t length = 1;
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            length = 2;
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            throw Error(u"it holds half of a surrogate pair, which is no character");
        }
        bytes += EncodeCharacter(text.substr(i, length), code_page);
        i += length - 1;
    }
}

// A reason in brackets: the system text's own full stop would end the sentence inside them.
Text WithoutFullStop(Text text) {
    if (!text.empty() && text.back() == u'.') {
        text.pop_back();
    }
    return text;
}

}  // namespace

uint32_t ParseRequestInterval(uint32_t ms) {
    if (ms != 0 && (ms < kMinRequestIntervalMs || ms > kMaxRequestIntervalMs)) {
        throw Error(AsciiText(std::to_string(ms) + " ms is neither 0 (no timer) nor between " +
                              std::to_string(kMinRequestIntervalMs) + " and " + std::to_string(kMaxRequestIntervalMs)));
    }
    return ms;
}

uint32_t ParseReplyTimeout(uint32_t ms) {
    if (ms > kMaxReplyTimeoutMs) {
        throw Error(AsciiText(std::to_string(ms) + " ms is more than " + std::to_string(kMaxReplyTimeoutMs)));
    }
    return ms;
}

std::string EncodeCommand(TextView value, const AnsiCodePage* code_page) {
    return UnescapeBytes(value, [code_page](TextView text) {
        std::string bytes;
        AppendEncoded(text, code_page, bytes);
        return bytes;
    });
}

RequestScheduler::RequestScheduler(RequestServices services) : services_(std::move(services)) {
    services_.interval_timer.SetOnTimer([this] { OnIntervalTimer(); });
    services_.reply_timer.SetOnTimer([this] { OnReplyTimeout(); });
    services_.hotkey.SetOnPressed([this] { Request(Source::kUser); });
}

RequestScheduler::~RequestScheduler() {
    services_.hotkey.SetOnPressed(nullptr);
    services_.hotkey.Unregister();
    for (Timer* timer : {&services_.interval_timer, &services_.reply_timer}) {
        timer->SetOnTimer(nullptr);
        timer->Stop();
    }
}

std::optional<Text> RequestScheduler::SetSettings(const RequestSettings& settings) {
    const bool interval_changed = settings.interval_ms != settings_.interval_ms;
    settings_ = settings;
    if (!CanRequest()) {
        EndWait();
    }
    if (interval_changed) {
        services_.interval_timer.Stop();
    }
    FollowPort();

    // A combination that does nothing is not taken from the other programs.
    if (!CanRequest() || !settings_.hotkey) {
        services_.hotkey.Unregister();
        return std::nullopt;
    }
    const Text name = FormatHotkey(*settings_.hotkey);
    try {
        services_.hotkey.Register(*settings_.hotkey);
    } catch (const HotkeyTakenError& taken) {
        return u"another program holds " + name + u" (" + WithoutFullStop(taken.Description()) + u")";
    } catch (const Error& refused) {
        return name + u" cannot be used (" + WithoutFullStop(refused.Description()) + u")";
    }
    return std::nullopt;
}

void RequestScheduler::RequestReading() {
    Request(Source::kUser);
}

void RequestScheduler::RecordArrived() {
    EndWait();
    no_reply_shown_ = false;
}

void RequestScheduler::PortStateChanged() {
    // A reply cannot come through a port that closed; the user learns of the port, not of a missing reply.
    if (services_.port.State() != PortState::kOpen) {
        EndWait();
    }
    FollowPort();
}

void RequestScheduler::Request(Source source) {
    if (!CanRequest()) {
        return;
    }
    if (services_.port.State() != PortState::kOpen) {
        if (source == Source::kUser) {
            Balloon(CommPortName(services_.port.CommPort()) + u" is not open");
        }
        // A tick that comes before the port's news: the timer pauses now.
        FollowPort();
        return;
    }
    if (awaiting_reply_) {
        return;
    }
    try {
        services_.port.Output(settings_.command);
    } catch (const Error& refused) {
        // A device that takes nothing would otherwise bring a balloon with every tick.
        if (!std::exchange(refusal_shown_, true)) {
            Balloon(refused.Description());
        }
        return;
    }
    refusal_shown_ = false;
    if (settings_.reply_timeout_ms != 0) {
        awaiting_reply_ = true;
        services_.reply_timer.Start(settings_.reply_timeout_ms);
    }
}

void RequestScheduler::OnIntervalTimer() {
    Request(Source::kTimer);
    FollowPort();
}

void RequestScheduler::OnReplyTimeout() {
    if (!awaiting_reply_) {
        return;
    }
    awaiting_reply_ = false;
    const int16_t port = services_.port.CommPort();
    if (services_.no_reply) {
        services_.no_reply(port);
    }
    if (!std::exchange(no_reply_shown_, true)) {
        Balloon(u"No reply from " + CommPortName(port));
    }
}

void RequestScheduler::FollowPort() {
    const bool run = CanRequest() && settings_.interval_ms != 0 && services_.port.State() == PortState::kOpen;
    if (!run) {
        services_.interval_timer.Stop();
    } else if (!services_.interval_timer.Pending()) {
        services_.interval_timer.Start(settings_.interval_ms);
    }
}

void RequestScheduler::EndWait() {
    awaiting_reply_ = false;
    services_.reply_timer.Stop();
}

void RequestScheduler::Balloon(TextView text) {
    if (services_.balloon) {
        services_.balloon(text, BalloonIcon::kWarning);
    }
}

}  // namespace corvanta
