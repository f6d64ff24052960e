#pragma once

#include <windows.h>

#include "platform/list_control.h"

namespace corvanta::win32 {

// A drop-down list over a CBS_DROPDOWNLIST combo box that its dialog owns; the box must not be CBS_SORT, so
// entries keep the order in which they were added.
class Win32ComboBox : public ComboBox {
  public:
    explicit Win32ComboBox(HWND combo) : combo_(combo) {}

    void Clear() override;
    void AddItem(TextView item) override;
    int32_t ListCount() const override;
    Text List(int32_t index) const override;
    int32_t ListIndex() const override;
    void SetListIndex(int32_t index) override;

    HWND Window() const { return combo_; }

  private:
    LRESULT Send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const;

    HWND combo_;
};

}  // namespace corvanta::win32
