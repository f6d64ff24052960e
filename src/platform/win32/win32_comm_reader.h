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
// `window`, once until Take, so the UI thread takes it from its message loop. Told to stop reading, or far ahead
// of the UI thread, it waits before the next read, so that what arrives stays in the driver.
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
    // Stops issuing reads, or goes on. A read under way when it stops completes and is kept for Take.
    void SetReading(bool on);
    // Ends the thread: an unfinished read is cancelled, and what it took before is kept for Take.
    void Stop();

  private:
    void ReadLoop();
    void Append(const char* bytes, DWORD count);
    void ReportGone();
    void WakeLocked();
    void UpdateMayReadLocked();

    HANDLE comm_;
    HWND window_;
    UINT message_;
    UniqueHandle stop_;
    UniqueHandle may_read_;  // set while reading is on and the UI thread is not too far behind
    UniqueHandle read_done_;
    std::thread thread_;

    std::mutex mutex_;
    Taken waiting_;
    bool wake_pending_ = false;
    bool reading_on_ = true;
};

}  // namespace corvanta::win32
