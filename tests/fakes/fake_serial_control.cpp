#include "fakes/fake_serial_control.h"

#include <stdexcept>

#include "platform/serial_settings.h"

namespace corvanta {

void FakeSerialControl::SetCommPort(int16_t port) {
    CheckCommPort(port);
    if (open_) {
        throw CommPortWhileOpenError(port_);
    }
    port_ = port;
    in_driver_.clear();
    if (wait_.Waiting()) {
        wait_.Begin();
    }
}

void FakeSerialControl::SetSettings(TextView settings) {
    Text reported = FormatLineSettings(ParseLineSettings(settings));
    if (open_) {
        ApplyToDriver(reported);
    }
    settings_ = std::move(reported);
}

void FakeSerialControl::ApplyToDriver(const Text& settings) const {
    if (driver_refuses.contains(settings)) {
        // The text Windows gives for ERROR_NOT_SUPPORTED.
        throw Error(CommPortName(port_) + u": Applying the line settings " + settings +
                    u": The request is not supported.");
    }
}

void FakeSerialControl::SetHandshaking(int32_t code) {
    CheckHandshaking(code);
    handshaking_ = code;
}

void FakeSerialControl::SetInputLen(int16_t length) {
    CheckInputLen(length);
    input_len_ = length;
}

void FakeSerialControl::SetPortOpen(bool open) {
    if (!open) {
        wait_.End();
        open_ = false;
        return;
    }
    if (!open_) {
        wait_.End();
        Open(true);
    }
}

void FakeSerialControl::Open(bool discard_leftovers) {
    // The texts Windows gives for CreateFile's ERROR_FILE_NOT_FOUND and ERROR_ACCESS_DENIED.
    if (!existing_ports.contains(port_)) {
        throw DeviceAbsentError(CommPortName(port_) + u": The system cannot find the file specified.");
    }
    if (busy_ports.contains(port_)) {
        throw Error(CommPortName(port_) + u": Access is denied.");
    }
    ApplyToDriver(settings_);
    last_open_ = Applied{port_, settings_, handshaking_};
    open_ = true;
    if (!discard_leftovers) {
        received_ += in_driver_;
    }
    in_driver_.clear();
}

PortState FakeSerialControl::State() const {
    if (open_) {
        return PortState::kOpen;
    }
    return wait_.Waiting() ? PortState::kWaitingForDevice : PortState::kClosed;
}

void FakeSerialControl::OpenOrWaitForDevice() {
    if (open_) {
        return;
    }
    wait_.End();
    try {
        Open(true);
    } catch (const DeviceAbsentError& absent) {
        wait_.Begin();
        throw WaitingForDeviceError(absent);
    }
}

std::string FakeSerialControl::Input() {
    return TakeInput(received_, input_len_);
}

void FakeSerialControl::Receive(std::string_view bytes) {
    QueueReceived(bytes);
    if (open_) {
        RaiseOnComm();
    }
}

void FakeSerialControl::QueueReceived(std::string_view bytes) {
    if (open_) {
        received_ += bytes;
    } else if (existing_ports.contains(port_)) {
        in_driver_ += bytes;
    }
}

void FakeSerialControl::RaiseOnComm() {
    if (on_comm_) {
        on_comm_();
    }
}

void FakeSerialControl::DeviceGone(int16_t port) {
    existing_ports.erase(port);
    if (port != port_) {
        return;
    }
    in_driver_.clear();
    if (open_) {
        open_ = false;
        wait_.Begin();
        RaiseOnComm();
    }
}

void FakeSerialControl::DeviceReturns(int16_t port, bool announced) {
    existing_ports.insert(port);
    if (announced) {
        AnnounceArrival(port);
    }
}

void FakeSerialControl::AnnounceArrival(int16_t port) {
    if (wait_.Waiting() && port == port_) {
        TryReopen(true);
    }
}

void FakeSerialControl::FireRetryTimer() {
    if (!wait_.Waiting()) {
        throw std::logic_error("FakeSerialControl::FireRetryTimer while no retry timer runs");
    }
    TryReopen(false);
}

std::optional<uint32_t> FakeSerialControl::RetryDelayMs() const {
    if (!wait_.Waiting()) {
        return std::nullopt;
    }
    return wait_.DelayMs();
}

void FakeSerialControl::TryReopen(bool announced) {
    try {
        Open(false);
    } catch (const Error&) {
        wait_.TryFailed(announced);
        return;
    }
    wait_.End();
    RaiseOnComm();
}

}  // namespace corvanta
