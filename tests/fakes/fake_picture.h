#pragma once

#include <memory>

#include "platform/form_host.h"

namespace corvanta {

// A picture known only by its handle; an icon of the tray, a form's icon or the empty picture (handle 0).
class FakePicture : public Picture {
  public:
    explicit FakePicture(uintptr_t handle) : handle_(handle) {}
    uintptr_t Handle() const override { return handle_; }

  private:
    uintptr_t handle_;
};

inline PictureRef MakeFakePicture(uintptr_t handle) {
    return std::make_shared<FakePicture>(handle);
}

}  // namespace corvanta
