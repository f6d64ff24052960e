#include "fakes/fake_control_host.h"

#include "fakes/fake_picture.h"

namespace corvanta {

bool FakeControlHost::AmbientUserMode() const {
    if (refuse_user_mode) {
        throw Error(u"The container does not answer.");
    }
    return user_mode;
}

void FakeControlHost::SetHeight(float twips) {
    height = twips;
    size_changes.push_back({'H', twips});
    if (control_ != nullptr) {
        control_->UserControl_Resize();
    }
}

void FakeControlHost::SetWidth(float twips) {
    width = twips;
    size_changes.push_back({'W', twips});
    if (control_ != nullptr) {
        control_->UserControl_Resize();
    }
}

PictureRef FakeControlHost::LoadEmptyPicture() {
    return MakeFakePicture(0);
}

}  // namespace corvanta
