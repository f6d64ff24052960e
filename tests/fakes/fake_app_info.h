#pragma once

#include "platform/app_info.h"

namespace corvanta {

class FakeAppInfo : public AppInfo {
  public:
    Text Path() const override { return path; }
    Text EXEName() const override { return exe_name; }

    Text path = u"C:\\Program Files\\Corvanta";
    Text exe_name = u"Corvanta";
};

}  // namespace corvanta
