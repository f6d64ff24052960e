#include "platform/win32/win32_combo_box.h"

#include <vector>

#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

namespace {
const char16_t kInvalidValue[] = u"Invalid property value";
}

LRESULT Win32ComboBox::Send(UINT message, WPARAM wparam, LPARAM lparam) const {
    return SendMessageW(combo_, message, wparam, lparam);
}

void Win32ComboBox::Clear() {
    Send(CB_RESETCONTENT);
}

void Win32ComboBox::AddItem(TextView item) {
    const Text entry(item);
    const LRESULT result = Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(entry)));
    if (result == CB_ERRSPACE) {
        throw Error(u"Adding \"" + entry + u"\" to a list: there is not enough memory.");
    }
    if (result == CB_ERR) {
        throw Error(u"Adding \"" + entry + u"\" to a list: the list refused the entry.");
    }
}

int32_t Win32ComboBox::ListCount() const {
    const LRESULT count = Send(CB_GETCOUNT);
    if (count == CB_ERR) {
        throw Error(u"Counting the entries of a list: the list is gone.");
    }
    return static_cast<int32_t>(count);
}

Text Win32ComboBox::List(int32_t index) const {
    if (index < 0 || index >= ListCount()) {
        throw Error(kInvalidValue);
    }
    const LRESULT length = Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length == CB_ERR) {
        throw Error(kInvalidValue);
    }
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    if (copied == CB_ERR) {
        throw Error(kInvalidValue);
    }
    return FromWide(buffer.data(), static_cast<size_t>(copied));
}

int32_t Win32ComboBox::ListIndex() const {
    const LRESULT selected = Send(CB_GETCURSEL);
    return selected == CB_ERR ? kNoSelection : static_cast<int32_t>(selected);
}

void Win32ComboBox::SetListIndex(int32_t index) {
    if (index == kNoSelection) {
        // CB_SETCURSEL answers CB_ERR whenever it clears the selection: that is its success here.
        Send(CB_SETCURSEL, static_cast<WPARAM>(-1));
        return;
    }
    if (index < 0 || index >= ListCount()) {
        throw Error(kInvalidValue);
    }
    if (Send(CB_SETCURSEL, static_cast<WPARAM>(index)) != index) {
        throw Error(kInvalidValue);
    }
}

}  // namespace corvanta::win32
