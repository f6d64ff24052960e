#include "platform/win32/instance_lock.h"

namespace corvanta::win32 {

InstanceLock::InstanceLock(const wchar_t* name, DWORD wait_ms) : mutex_(CreateMutexW(nullptr, TRUE, name)) {
    // A lock that cannot be made (the name taken by another kind of object) must not keep the user from their
    // program: it runs unguarded.
    if (!mutex_.Valid()) {
        return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        owned_ = true;
        return;
    }
    switch (WaitForSingleObject(mutex_.Get(), wait_ms)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED:  // the other copy ended without letting go: killed, or crashed
            owned_ = true;
            break;
        case WAIT_TIMEOUT:
            another_runs_ = true;
            break;
        default:
            break;
    }
}

InstanceLock::~InstanceLock() {
    if (owned_) {
        ReleaseMutex(mutex_.Get());
    }
}

}  // namespace corvanta::win32
