#pragma once

#include <cstdint>
#include <vector>

#include "fakes/fake_picture.h"
#include "platform/form_host.h"

namespace corvanta {

// A form that records what was done to it: its icon, whether it is hidden, the message boxes it showed.
class FakeFormHost : public FormHost {
  public:
    struct MessageBox {
        Text prompt;
        uint32_t style;
        Text title;
    };

    // Resource icons get the handle kIconHandleBase + id.
    static constexpr uintptr_t kIconHandleBase = 0x10000;

    PictureRef LoadResIcon(int id) override;
    PictureRef Icon() const override { return icon; }
    void SetIcon(PictureRef new_icon) override { icon = std::move(new_icon); }
    void Hide() override { hidden = true; }
    int MsgBox(TextView prompt, uint32_t style, TextView title) override;

    PictureRef icon;
    bool hidden = false;
    std::vector<MessageBox> message_boxes;
};

}  // namespace corvanta
