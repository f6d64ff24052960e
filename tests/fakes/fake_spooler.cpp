#include "fakes/fake_spooler.h"

#include <cstring>

namespace corvanta {

namespace {
constexpr uint32_t kErrorInvalidLevel = 124;
}

FakeSpooler FakeSpooler::WithNames(const std::vector<std::string>& names) {
    FakeSpooler spooler;
    for (const auto& name : names) {
        spooler.ports.push_back(FakePort{name});
    }
    return spooler;
}

uint32_t FakeSpooler::BytesNeeded() const {
    size_t bytes = ports.size() * sizeof(PortInfo2);
    for (const auto& port : ports) {
        bytes += port.name.size() + 1 + port.monitor.size() + 1 + port.description.size() + 1;
    }
    return static_cast<uint32_t>(bytes);
}

int FakeSpooler::EnumPortsA(uint32_t level, uint8_t* buffer, uint32_t size, uint32_t* needed, uint32_t* returned) {
    if (returned != nullptr) {
        *returned = 0;
    }
    if (level != 2) {
        last_error = kErrorInvalidLevel;
        return 0;
    }
    const uint32_t bytes = BytesNeeded();
    if (needed != nullptr) {
        *needed = bytes;
    }
    if (size < bytes || (bytes != 0 && buffer == nullptr)) {
        last_error = spooler::kErrorInsufficientBuffer;
        ports.insert(ports.end(), grow_after_size_call.begin(), grow_after_size_call.end());
        grow_after_size_call.clear();
        return 0;
    }
    char* text = reinterpret_cast<char*>(buffer + ports.size() * sizeof(PortInfo2));
    auto put = [&text](const std::string& value) {
        char* start = text;
        std::memcpy(text, value.c_str(), value.size() + 1);
        text += value.size() + 1;
        return start;
    };
    for (size_t i = 0; i < ports.size(); ++i) {
        PortInfo2 record{};
        record.pPortName = put(ports[i].name);
        record.pMonitorName = put(ports[i].monitor);
        record.pDescription = put(ports[i].description);
        record.fPortType = ports[i].type;
        std::memcpy(buffer + i * sizeof(PortInfo2), &record, sizeof record);
    }
    uint32_t count = static_cast<uint32_t>(ports.size());
    if (tamper) {
        tamper(buffer, size, count);
    }
    if (returned != nullptr) {
        *returned = count;
    }
    return 1;
}

}  // namespace corvanta
