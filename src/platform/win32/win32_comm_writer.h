#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/win32/handles.h"

namespace corvanta::win32 {

// Writes to an open port on a thread of its own, so that a device whose handshake holds the bytes back (CTS
// low, XOFF) never stalls the UI thread: Write only queues. The bytes go out in order with overlapped writes
// that a stop event cancels. When a write fails it posts `message` to `window` once and writes no more.
class CommWriter {
  public:
    // Starts the thread; `port` names it in errors. The handle and the window outlive the writer.
    CommWriter(HANDLE comm, int16_t port, HWND window, UINT message);
    ~CommWriter() { Stop(); }
    CommWriter(const CommWriter&) = delete;
    CommWriter& operator=(const CommWriter&) = delete;

    // Queues the bytes behind those waiting. Throws UnsentOutputError when more than `max_unsent` would wait
    // (the bytes of an unfinished write count until the device has taken them).
    void Write(std::string_view bytes, size_t max_unsent);
    // Whether a write failed: the port's device went away.
    bool Failed();
    // Ends the thread; an unfinished write is cancelled, and what still waits is dropped with the port.
    void Stop();

  private:
    void WriteLoop();
    // Writes one block whole; false when the port failed or the writer was stopped.
    bool WriteBlock(const std::string& block, bool& stopping);
    void ReportFailure();

    HANDLE comm_;
    int16_t port_;
    HWND window_;
    UINT message_;
    UniqueHandle stop_;
    UniqueHandle queued_;
    UniqueHandle write_done_;
    std::thread thread_;

    std::mutex mutex_;
    std::string waiting_;
    // Waiting bytes plus those of the write in progress.
    size_t unsent_ = 0;
    bool failed_ = false;
};

}  // namespace corvanta::win32
