#include "fakes/simulated_serial_device.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace corvanta {

void SimulatedSerialDevice::Open(int16_t port, const LineSettings& line, int32_t handshaking, bool discard_leftovers) {
    // The texts Windows gives for CreateFile's ERROR_FILE_NOT_FOUND and ERROR_ACCESS_DENIED.
    if (!existing_ports.contains(port)) {
        throw DeviceAbsentError(CommPortName(port) + u": The system cannot find the file specified.");
    }
    if (busy_ports.contains(port)) {
        throw Error(CommPortName(port) + u": Access is denied.");
    }
    CheckDriverTakes(port, line);
    std::string leftovers = std::exchange(in_driver_[port], {});
    if (!discard_leftovers) {
        read_ += leftovers;
    }
    open_port_ = port;
    reading_ = true;
    last_open = Applied{port, FormatLineSettings(line), handshaking};
}

void SimulatedSerialDevice::Configure(const LineSettings& line, int32_t) {
    CheckDriverTakes(*open_port_, line);
}

void SimulatedSerialDevice::CheckDriverTakes(int16_t port, const LineSettings& line) const {
    const Text settings = FormatLineSettings(line);
    if (driver_refuses.contains(settings)) {
        // The text Windows gives for ERROR_NOT_SUPPORTED.
        throw Error(CommPortName(port) + u": Applying the line settings " + settings +
                    u": The request is not supported.");
    }
}

std::string SimulatedSerialDevice::Close() {
    open_port_.reset();
    gone_ = false;
    unsent_.clear();
    return std::exchange(read_, {});
}

void SimulatedSerialDevice::Transmit(std::string_view bytes) {
    if (!open_port_) {
        throw std::logic_error("SimulatedSerialDevice::Transmit on a closed port");
    }
    if (std::exchange(fail_next_transmit, false)) {
        // Gone as by Unplug, but noticed by the writer, whose notice comes from the message loop.
        existing_ports.erase(*open_port_);
        in_driver_.erase(*open_port_);
        gone_ = true;
        return;
    }
    if (unsent_.size() + bytes.size() > kMaxUnsentBytes) {
        throw UnsentOutputError(*open_port_, unsent_.size());
    }
    if (hold_output) {
        unsent_ += bytes;
    } else {
        transmitted[*open_port_] += bytes;
    }
}

void SimulatedSerialDevice::ReleaseOutput() {
    hold_output = false;
    if (open_port_) {
        transmitted[*open_port_] += std::exchange(unsent_, {});
    }
}

size_t SimulatedSerialDevice::Write(int16_t port, std::string_view bytes) {
    if (open_port_ == port && reading_) {
        read_ += bytes;
    } else if (open_port_ == port) {
        std::string& driver = in_driver_[port];
        bytes = bytes.substr(0, kDriverBufferSize - std::min(driver.size(), kDriverBufferSize));
        driver += bytes;
    } else if (existing_ports.contains(port)) {
        in_driver_[port] += bytes;
    } else {
        return 0;
    }
    return bytes.size();
}

void SimulatedSerialDevice::SetReading(bool on) {
    reading_ = on;
    if (on && open_port_) {
        read_ += std::exchange(in_driver_[*open_port_], {});
    }
}

size_t SimulatedSerialDevice::InDriver(int16_t port) const {
    const auto found = in_driver_.find(port);
    return found == in_driver_.end() ? 0 : found->second.size();
}

void SimulatedSerialDevice::Deliver() {
    if ((read_.empty() && !gone_) || !on_read_) {
        return;
    }
    on_read_(std::exchange(read_, {}), std::exchange(gone_, false));
}

void SimulatedSerialDevice::Receive(std::string_view bytes) {
    if (open_port_) {
        Write(*open_port_, bytes);
    }
    Deliver();
}

void SimulatedSerialDevice::Unplug(int16_t port) {
    existing_ports.erase(port);
    in_driver_.erase(port);
    if (open_port_ == port) {
        gone_ = true;
        Deliver();
    }
}

void SimulatedSerialDevice::Plug(int16_t port, bool announced) {
    existing_ports.insert(port);
    if (announced) {
        Announce(port);
    }
}

void SimulatedSerialDevice::Announce(std::optional<int16_t> port) {
    if (on_arrival_) {
        on_arrival_(port);
    }
}

}  // namespace corvanta
