#include "fakes/fake_dialogs.h"

#include "common/text.h"

namespace corvanta {

void FakeDialogs::Show(const std::string& name) {
    // A second modal show of an open dialog fails on Windows.
    if (!open_.empty()) {
        throw Error(u"The dialog is already open.");
    }
    shown.push_back(name);
    open_ = name;
    struct Close {
        std::string& open;
        ~Close() { open.clear(); }
    } close{open_};
    if (while_open) {
        while_open();
    }
}

bool FakeDialogs::BringOpenDialogToFront() {
    if (open_.empty()) {
        return false;
    }
    brought_to_front.push_back(open_);
    return true;
}

}  // namespace corvanta
