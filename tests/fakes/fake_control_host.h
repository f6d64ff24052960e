#pragma once

#include <vector>

#include "platform/form_host.h"

namespace corvanta {

// A user control's host in memory. Setting a size calls the attached control's resize handler back at once,
// re-entrantly, as a real host does. Every size assignment and property-changed notification is recorded.
class FakeControlHost : public ControlHost {
  public:
    struct SizeChange {
        char dimension;  // 'H' or 'W'
        float twips;
    };

    void Attach(ControlEvents& control) { control_ = &control; }

    bool AmbientUserMode() const override;
    uintptr_t hWnd() const override { return hwnd; }
    void PropertyChanged(TextView name) override { property_changes.emplace_back(name); }
    float Height() const override { return height; }
    float Width() const override { return width; }
    void SetHeight(float twips) override;
    void SetWidth(float twips) override;
    float Image1Height() const override { return image1_height; }
    float Image1Width() const override { return image1_width; }
    float TwipsPerPixelX() const override { return twips_per_pixel_x; }
    PictureRef LoadEmptyPicture() override;

    bool user_mode = true;
    bool refuse_user_mode = false;  // AmbientUserMode throws, as a failing host service would
    uintptr_t hwnd = 0x10203;
    float twips_per_pixel_x = 15;
    float height = 510;
    float width = 510;
    float image1_height = 510;
    float image1_width = 510;
    std::vector<Text> property_changes;
    std::vector<SizeChange> size_changes;

  private:
    ControlEvents* control_ = nullptr;
};

}  // namespace corvanta
