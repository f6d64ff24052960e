#pragma once

#include "common/module_path.h"
#include "platform/app_info.h"

namespace corvanta::win32 {

// The running executable's folder and name, from its module path, read once.
class Win32AppInfo : public AppInfo {
  public:
    Win32AppInfo();

    Text Path() const override { return parts_.path; }
    Text EXEName() const override { return parts_.exe_name; }

  private:
    ModulePathParts parts_;
};

// The full path of the running executable, however long.
Text ModuleFileName();

}  // namespace corvanta::win32
