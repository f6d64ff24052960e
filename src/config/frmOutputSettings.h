#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "common/text.h"
#include "config/output_fields.h"
#include "core/settings_model.h"
#include "platform/form_host.h"
#include "platform/registry.h"

namespace corvanta {

inline constexpr char16_t kOutputSettingsTitle[] = u"Output Settings";

// The Output Settings dialog as its logic sees it: one field per value (a list, an edit box, or both), the Try box,
// and the note that names what an administrator set.
class OutputSettingsView {
  public:
    virtual ~OutputSettingsView() = default;

    // Fills the field's list with `choices` (a field without a list has none), shows `state` and greys the field
    // while `policy`; `text_enabled` is whether its edit box can be typed in.
    virtual void ShowField(size_t field,
                           const std::vector<Text>& choices,
                           const FieldState& state,
                           bool policy,
                           bool text_enabled) = 0;
    virtual void EnableFieldText(size_t field, bool enabled) = 0;
    // What the user made of the field.
    virtual FieldState Field(size_t field) const = 0;
    virtual void FocusField(size_t field) = 0;
    virtual Text TrySample() const = 0;
    virtual void SetTryResult(TextView text) = 0;
    virtual void SetPolicyNote(TextView text) = 0;
};

// What the dialog works with; all of it outlives the dialog.
struct OutputSettingsServices {
    Registry& registry;
    ValueContext context;
    FormHost& host;  // the dialog's own, for its message boxes
    std::function<void()> unload;
};

// The logic of "Output Settings…": every Output and Request value in a field, checked on OK by the parser that reads
// the registry, and only the changed ones written to the user's keys, where the registry watch picks them up. Its
// window routes its controls' changes and buttons here.
class frmOutputSettings {
  public:
    frmOutputSettings(OutputSettingsView& view, OutputSettingsServices services);

    // Shows every value as the registry sets it now; a policy's value greyed and named in the note.
    void Form_Load();
    // A field changed: its edit box follows its list's entry, and the Try box what the fields make now.
    void Field_Change(size_t field);
    void txtTry_Change();
    // Checks every field: the first that does not parse is named in a message, gets the focus, and nothing is
    // written. Otherwise the changed values are written and the dialog unloads.
    void cmdOK_Click();
    void cmdCancel_Click();

    const std::vector<corvanta::Field>& Fields() const { return fields_; }

  private:
    std::vector<FieldState> States() const;
    void UpdateTry();

    OutputSettingsView& view_;
    OutputSettingsServices services_;
    std::vector<corvanta::Field> fields_;
    std::vector<LoadedField> loaded_;
};

}  // namespace corvanta
