#pragma once

#include <windows.h>

#include <cstddef>

#include "core/settings_model.h"
#include "platform/registry.h"

namespace corvanta::win32 {

// Control ids of the Output Settings dialog, for tests that drive it: field i (in the order of ValueDefinitions())
// has its label at kFieldBase + 4 i, its list or edit box one above, and a list's edit box two above.
namespace output_settings_id {
constexpr int kFieldBase = 1300;
constexpr int FieldLabel(size_t field) {
    return kFieldBase + 4 * static_cast<int>(field);
}
constexpr int FieldControl(size_t field) {
    return FieldLabel(field) + 1;
}
constexpr int FieldText(size_t field) {
    return FieldLabel(field) + 2;
}
constexpr int kTrySample = 1281;
constexpr int kTryResult = 1283;
constexpr int kPolicyNote = 1284;
constexpr int kOk = IDOK;
constexpr int kCancel = IDCANCEL;
}  // namespace output_settings_id

// Shows "Output Settings" modally and returns once it has unloaded; what it writes reaches the program through the
// registry watch. While another dialog is open, that one is brought to the front instead.
void ShowOutputSettingsDialog(HINSTANCE instance, Registry& registry, const ValueContext& context);

}  // namespace corvanta::win32
