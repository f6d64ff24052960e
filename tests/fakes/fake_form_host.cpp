#include "fakes/fake_form_host.h"

namespace corvanta {

PictureRef FakeFormHost::LoadResIcon(int id) {
    return MakeFakePicture(kIconHandleBase + static_cast<uintptr_t>(id));
}

int FakeFormHost::MsgBox(TextView prompt, uint32_t style, TextView title) {
    message_boxes.push_back({Text(prompt), style, Text(title)});
    return msgbox::kResultOk;
}

}  // namespace corvanta
