#include "platform/win32/win32_comm_writer.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "common/serial_settings.h"
#include "platform/win32/win32_comm_port.h"

namespace corvanta::win32 {
namespace {

constexpr size_t kWriteChunk = 4096;
constexpr int kMaxEmptyWrites = 64;

}  // namespace

CommWriter::CommWriter(HANDLE comm, int16_t port, HWND window, UINT message)
    : comm_(comm), port_(port), window_(window), message_(message) {
    // Manual reset for the stop (it must stay seen) and the overlapped record; auto reset for the queue's signal.
    const std::pair<UniqueHandle*, BOOL> events[] = {{&stop_, TRUE}, {&queued_, FALSE}, {&write_done_, TRUE}};
    for (const auto& [event, manual] : events) {
        event->Reset(CreateEventW(nullptr, manual, FALSE, nullptr));
        if (!event->Valid()) {
            throw CommPortError(port, "Creating an event", GetLastError());
        }
    }
    try {
        thread_ = std::thread(&CommWriter::WriteLoop, this);
    } catch (const std::system_error& e) {
        throw CommPortError(port, "Starting the writer", static_cast<DWORD>(e.code().value()));
    }
}

void CommWriter::Write(std::string_view bytes, size_t max_unsent) {
    {
        std::lock_guard lock(mutex_);
        // The port is ending: the notice of its failure is on its way to the UI thread.
        if (failed_) {
            return;
        }
        if (unsent_ + bytes.size() > max_unsent) {
            throw UnsentOutputError(port_, unsent_);
        }
        waiting_.append(bytes);
        unsent_ += bytes.size();
    }
    if (!SetEvent(queued_.Get())) {
        throw CommPortError(port_, "Writing", GetLastError());
    }
}

bool CommWriter::Failed() {
    std::lock_guard lock(mutex_);
    return failed_;
}

void CommWriter::Stop() {
    if (thread_.joinable()) {
        SetEvent(stop_.Get());
        thread_.join();
    }
}

void CommWriter::WriteLoop() {
    bool stopping = false;
    while (!stopping) {
        const HANDLE waits[] = {stop_.Get(), queued_.Get()};
        const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0) {
            return;
        }
        std::string block;
        if (woken == WAIT_OBJECT_0 + 1) {
            std::lock_guard lock(mutex_);
            block.swap(waiting_);
        }
        // A wait that fails leaves the queue unserved for good: as good as a port that fails.
        if (woken != WAIT_OBJECT_0 + 1 || !WriteBlock(block, stopping)) {
            if (!stopping) {
                ReportFailure();
            }
            return;
        }
    }
}

bool CommWriter::WriteBlock(const std::string& block, bool& stopping) {
    size_t done = 0;
    int empty_writes = 0;
    while (done < block.size()) {
        // Writes that complete at once never reach the wait below: look for a stop here too.
        if (WaitForSingleObject(stop_.Get(), 0) == WAIT_OBJECT_0) {
            stopping = true;
            return false;
        }
        OVERLAPPED overlapped{};
        overlapped.hEvent = write_done_.Get();
        const auto size = static_cast<DWORD>(std::min(block.size() - done, kWriteChunk));
        DWORD count = 0;
        if (!WriteFile(comm_, block.data() + done, size, &count, &overlapped)) {
            if (GetLastError() != ERROR_IO_PENDING) {
                return false;
            }
            // A handshake may hold the write for any time: only the stop ends the wait early.
            const HANDLE waits[] = {stop_.Get(), write_done_.Get()};
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
                stopping = true;
                CancelIoEx(comm_, &overlapped);
            }
            // The driver reads the buffer and writes the record until the write completes, cancelled or not.
            const bool completed = GetOverlappedResult(comm_, &overlapped, &count, TRUE) != FALSE;
            if (!completed || stopping) {
                return false;
            }
        }
        if (count == 0 && ++empty_writes >= kMaxEmptyWrites) {
            // With no write timeouts set a write only ends empty when the line is broken: not spinning here.
            return false;
        }
        done += count;
        std::lock_guard lock(mutex_);
        unsent_ -= count;
    }
    return true;
}

void CommWriter::ReportFailure() {
    std::lock_guard lock(mutex_);
    failed_ = true;
    // Should the post fail (a full message queue), the reader still finds the port gone on its own.
    PostMessageW(window_, message_, 0, 0);
}

}  // namespace corvanta::win32
