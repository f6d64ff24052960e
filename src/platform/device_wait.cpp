#include "platform/device_wait.h"

namespace corvanta {

Error WaitingForDeviceError(const Error& absent) {
    return Error(absent.Description() + u" The port opens by itself when its device is connected.");
}

}  // namespace corvanta
