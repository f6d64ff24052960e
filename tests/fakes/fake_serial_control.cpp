#include "fakes/fake_serial_control.h"

#include "platform/serial_settings.h"

namespace corvanta {

void FakeSerialControl::SetCommPort(int16_t port) {
    CheckCommPort(port);
    if (open_) {
        throw CommPortWhileOpenError(port_);
    }
    port_ = port;
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
    if (open == open_) {
        return;
    }
    if (open) {
        // The texts Windows gives for CreateFile's ERROR_FILE_NOT_FOUND and ERROR_ACCESS_DENIED.
        if (!existing_ports.contains(port_)) {
            throw Error(CommPortName(port_) + u": The system cannot find the file specified.");
        }
        if (busy_ports.contains(port_)) {
            throw Error(CommPortName(port_) + u": Access is denied.");
        }
        ApplyToDriver(settings_);
        last_open_ = Applied{port_, settings_, handshaking_};
    }
    open_ = open;
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
    }
}

void FakeSerialControl::RaiseOnComm() {
    if (on_comm_) {
        on_comm_();
    }
}

void FakeSerialControl::DeviceGone() {
    if (!open_) {
        return;
    }
    open_ = false;
    RaiseOnComm();
}

}  // namespace corvanta
