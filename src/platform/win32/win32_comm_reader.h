#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/win32/handles.h"

namespace corvanta::win32 {

// Reads an open port on a thread of its own, with overlapped reads that a stop event cancels. What it reads, and
// the end of the port when its device goes away, wait here; each time something new waits it posts `message` to
// `window`, once until Take, so the UI thread takes it from its message loop.
class CommReader {
  public:
    // Starts reading; `port` names it in errors. The handle and the window outlive the reader.
    CommReader(HANDLE comm, int16_t port, HWND window, UINT message);
    ~CommReader() { Stop(); }
    CommReader(const CommReader&) = delete;
    CommReader& operator=(const CommReader&) = delete;

    struct Taken {
        std::string bytes;
        bool gone = false;
    };
    Taken Take();
    // Ends the thread: an unfinished read is cancelled, and what it took before is kept for Take.
    void Stop();

  private:
    void ReadLoop();
    void Append(const char* bytes, DWORD count);
    void ReportGone();
    void WakeLocked();

    HANDLE comm_;
    HWND window_;
    UINT message_;
    UniqueHandle stop_;
    UniqueHandle read_done_;
    std::thread thread_;

    std::mutex mutex_;
    Taken waiting_;
    bool wake_pending_ = false;
};

}  // namespace corvanta::win32
