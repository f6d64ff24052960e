#include "platform/win32/win32_comm_reader.h"

#include <initializer_list>
#include <system_error>
#include <utility>

#include "platform/win32/win32_comm_port.h"

namespace corvanta::win32 {
namespace {

constexpr DWORD kReadChunk = 4096;
constexpr int kMaxEmptyReads = 64;
// Bytes read and not taken yet beyond which the reader waits for the UI thread: one held up elsewhere (a slow
// keyboard hook inside SendInput) must not make it read without bound.
constexpr size_t kReadAhead = 256 * 1024;

}  // namespace

CommReader::CommReader(HANDLE comm, int16_t port, HWND window, UINT message)
    : comm_(comm), window_(window), message_(message) {
    for (UniqueHandle* event : {&stop_, &may_read_, &read_done_}) {
        event->Reset(CreateEventW(nullptr, TRUE, event == &may_read_, nullptr));
        if (!event->Valid()) {
            throw CommPortError(port, "Creating an event", GetLastError());
        }
    }
    try {
        thread_ = std::thread(&CommReader::ReadLoop, this);
    } catch (const std::system_error& e) {
        throw CommPortError(port, "Starting the reader", static_cast<DWORD>(e.code().value()));
    }
}

void CommReader::Stop() {
    if (thread_.joinable()) {
        SetEvent(stop_.Get());
        thread_.join();
    }
}

void CommReader::SetReading(bool on) {
    std::lock_guard lock(mutex_);
    reading_on_ = on;
    UpdateMayReadLocked();
}

void CommReader::UpdateMayReadLocked() {
    // Deliberately unchecked: both only fail for an invalid handle, and this one lives as long as the reader.
    if (reading_on_ && waiting_.bytes.size() < kReadAhead) {
        SetEvent(may_read_.Get());
    } else {
        ResetEvent(may_read_.Get());
    }
}

CommReader::Taken CommReader::Take() {
    std::lock_guard lock(mutex_);
    wake_pending_ = false;
    Taken taken = std::exchange(waiting_, {});
    UpdateMayReadLocked();
    return taken;
}

void CommReader::ReadLoop() {
    char buffer[kReadChunk];
    bool stopping = false;
    int empty_reads = 0;
    while (!stopping) {
        // Reads that complete at once (a busy line) never reach the wait below: look for a stop here too. While
        // reading is off, this is where the thread waits.
        const HANDLE before_read[] = {stop_.Get(), may_read_.Get()};
        if (WaitForMultipleObjects(2, before_read, FALSE, INFINITE) == WAIT_OBJECT_0) {
            stopping = true;
            break;
        }
        OVERLAPPED overlapped{};
        overlapped.hEvent = read_done_.Get();
        DWORD count = 0;
        if (!ReadFile(comm_, buffer, kReadChunk, &count, &overlapped)) {
            if (GetLastError() != ERROR_IO_PENDING) {
                break;
            }
            const HANDLE waits[] = {stop_.Get(), read_done_.Get()};
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
                // Stopping: the read is cancelled, and whatever it took before the cancel is still kept.
                stopping = true;
                CancelIoEx(comm_, &overlapped);
            }
            // The wait must complete even after a cancel: the driver writes into buffer and overlapped until then.
            if (!GetOverlappedResult(comm_, &overlapped, &count, TRUE)) {
                // When stopping, the failure is our own cancel (ERROR_OPERATION_ABORTED); otherwise the device
                // went away.
                if (!stopping) {
                    break;
                }
                count = 0;
            }
        }
        if (count > 0) {
            empty_reads = 0;
            Append(buffer, count);
        } else if (!stopping && ++empty_reads >= kMaxEmptyReads) {
            // With these timeouts a read only ends empty when something is wrong with the line: a driver that
            // keeps answering that way is treated as gone (and retried), rather than spinning here.
            break;
        }
    }
    if (!stopping) {
        ReportGone();
    }
}

void CommReader::Append(const char* bytes, DWORD count) {
    std::lock_guard lock(mutex_);
    waiting_.bytes.append(bytes, count);
    if (waiting_.bytes.size() >= kReadAhead) {
        UpdateMayReadLocked();
    }
    WakeLocked();
}

void CommReader::ReportGone() {
    std::lock_guard lock(mutex_);
    waiting_.gone = true;
    WakeLocked();
}

void CommReader::WakeLocked() {
    // One wake-up in the queue at a time; the flag clears when the UI thread takes what waits, so a later append
    // posts again and none is lost.
    if (!wake_pending_) {
        wake_pending_ = PostMessageW(window_, message_, 0, 0) != FALSE;
    }
}

}  // namespace corvanta::win32
