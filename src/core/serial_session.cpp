#include "core/serial_session.h"

#include <utility>

namespace corvanta {

SerialSession::SerialSession(SerialDevice& device, Timer& timer)
    : device_(device), timer_(timer), line_(ParseLineSettings(kInitialSettings)) {
    device_.SetOnRead([this](std::string bytes, bool gone) { OnRead(std::move(bytes), gone); });
    device_.SetOnArrival([this](std::optional<int16_t> port) { OnArrival(port); });
    timer_.SetOnTimer([this] { OnTimer(); });
}

SerialSession::~SerialSession() {
    timer_.SetOnTimer(nullptr);
    timer_.Stop();
    device_.SetOnArrival(nullptr);
    device_.SetOnRead(nullptr);
    device_.Close();
}

void SerialSession::SetCommPort(int16_t port) {
    CheckCommPort(port);
    if (PortOpen()) {
        throw CommPortWhileOpenError(port_);
    }
    port_ = port;
    // The user picked another port while the old one's device was away: its device is the one to wait for.
    if (wait_.Waiting()) {
        BeginWait();
    }
}

void SerialSession::SetSettings(TextView settings) {
    const LineSettings line = ParseLineSettings(settings);
    if (PortOpen()) {
        device_.Configure(line, handshaking_);
    }
    line_ = line;
}

void SerialSession::SetHandshaking(int32_t code) {
    CheckHandshaking(code);
    if (PortOpen()) {
        device_.Configure(line_, code);
    }
    handshaking_ = code;
}

void SerialSession::SetInputLen(int16_t length) {
    CheckInputLen(length);
    input_len_ = length;
}

void SerialSession::SetPortOpen(bool open) {
    // Either way the user has decided: a wait for the device ends, and an open that fails is not retried.
    EndWait();
    if (!open) {
        Close();
    } else if (!PortOpen()) {
        Open(true);
    }
}

PortState SerialSession::State() const {
    if (PortOpen()) {
        return PortState::kOpen;
    }
    return wait_.Waiting() ? PortState::kWaitingForDevice : PortState::kClosed;
}

void SerialSession::OpenOrWaitForDevice() {
    if (PortOpen()) {
        return;
    }
    EndWait();
    try {
        Open(true);
    } catch (const DeviceAbsentError& absent) {
        BeginWait();
        throw Error(absent.Description() + u" The port opens by itself when its device is connected.");
    }
}

std::string SerialSession::Input() {
    std::string taken = TakeInput(received_, input_len_);
    UpdateReading();
    return taken;
}

void SerialSession::Output(std::string_view bytes) {
    if (!PortOpen()) {
        throw Error(CommPortName(port_) + u" is not open.");
    }
    device_.Transmit(bytes);
}

void SerialSession::Open(bool discard_leftovers) {
    device_.Open(port_, line_, handshaking_, discard_leftovers);
    reading_ = true;
    UpdateReading();
}

void SerialSession::UpdateReading() {
    const bool reading = received_.size() < kReceiveLimit;
    if (reading != reading_ && PortOpen()) {
        device_.SetReading(reading);
        reading_ = reading;
    }
}

void SerialSession::Close() {
    received_ += device_.Close();
}

void SerialSession::BeginWait() {
    wait_.Begin();
    reopen_notice_ = false;
    // Replaces a pending tick. Should it throw, the state is already right: an arrival or the user's open still
    // ends the wait.
    timer_.Start(wait_.DelayMs());
}

void SerialSession::EndWait() {
    if (wait_.Waiting()) {
        wait_.End();
        timer_.Stop();
    }
}

void SerialSession::TryReopen(bool announced) {
    if (!wait_.Waiting()) {
        return;
    }
    try {
        Open(false);
    } catch (const Error&) {
        wait_.TryFailed(announced);
        timer_.Start(wait_.DelayMs());
        return;
    }
    EndWait();
    if (announced) {
        // The arrival comes inside a message the system sends; OnComm comes from the message loop.
        reopen_notice_ = true;
        timer_.Start(0);
    } else {
        RaiseOnComm();
    }
}

void SerialSession::OnRead(std::string bytes, bool gone) {
    received_ += bytes;
    UpdateReading();
    if (gone && PortOpen()) {
        Close();
        BeginWait();
    }
    if (gone || !received_.empty()) {
        RaiseOnComm();
    }
}

void SerialSession::OnArrival(std::optional<int16_t> port) {
    if (port && *port != port_) {
        return;
    }
    TryReopen(true);
}

void SerialSession::OnTimer() {
    if (wait_.Waiting()) {
        TryReopen(false);
    } else if (std::exchange(reopen_notice_, false)) {
        RaiseOnComm();
    }
}

void SerialSession::RaiseOnComm() {
    if (on_comm_) {
        on_comm_();
    }
}

}  // namespace corvanta
