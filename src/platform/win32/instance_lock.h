#pragma once

#include <windows.h>

#include "platform/win32/handles.h"

namespace corvanta::win32 {

// One running copy of the program per logon session: two would fight over the same port and the same settings,
// and the second would only ever show "Access is denied" beside a second tray icon.
//
// The lock is a named mutex owned by the running copy's main thread. A copy that is still shutting down (the
// user chose Exit and started the program again at once) is waited for, briefly.
class InstanceLock {
  public:
    InstanceLock(const wchar_t* name, DWORD wait_ms);
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    // False only when another copy holds the lock and keeps running.
    bool Acquired() const { return !another_runs_; }

  private:
    UniqueHandle mutex_;
    bool owned_ = false;
    bool another_runs_ = false;
};

}  // namespace corvanta::win32
