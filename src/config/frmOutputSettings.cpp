#include "config/frmOutputSettings.h"

#include <utility>

#include "common/identity.h"

namespace corvanta {

frmOutputSettings::frmOutputSettings(OutputSettingsView& view, OutputSettingsServices services)
    : view_(view), services_(std::move(services)) {}

void frmOutputSettings::Form_Load() {
    fields_ = MakeFields(services_.context.code_pages.List());
    loaded_ = LoadFields(fields_, services_.registry, services_.context);
    Text set_by_policy;
    for (size_t i = 0; i < fields_.size(); ++i) {
        std::vector<Text> captions;
        for (const FieldChoice& choice : fields_[i].choices) {
            captions.push_back(choice.caption);
        }
        const LoadedField& field = loaded_[i];
        view_.ShowField(
            i, captions, field.state, field.policy,
            !field.policy && (fields_[i].kind != FieldKind::kList || fields_[i].TakesText(field.state.choice)));
        if (field.policy) {
            set_by_policy += (set_by_policy.empty() ? u"" : u", ") + fields_[i].Name();
        }
    }
    view_.SetPolicyNote(set_by_policy.empty() ? Text() : u"Set by your administrator: " + set_by_policy + u".");
    UpdateTry();
}

void frmOutputSettings::Field_Change(size_t field) {
    if (field >= fields_.size()) {
        return;
    }
    if (fields_[field].kind == FieldKind::kList && !loaded_[field].policy) {
        view_.EnableFieldText(field, fields_[field].TakesText(view_.Field(field).choice));
    }
    UpdateTry();
}

void frmOutputSettings::txtTry_Change() {
    UpdateTry();
}

std::vector<FieldState> frmOutputSettings::States() const {
    std::vector<FieldState> states;
    for (size_t i = 0; i < fields_.size(); ++i) {
        states.push_back(view_.Field(i));
    }
    return states;
}

void frmOutputSettings::UpdateTry() {
    const Text sample = view_.TrySample();
    if (sample.empty()) {
        view_.SetTryResult(Text());
        return;
    }
    const FieldCheck check = CheckFields(fields_, loaded_, States(), services_.context);
    if (check.failed) {
        view_.SetTryResult(check.message);
        return;
    }
    try {
        view_.SetTryResult(
            TryOutput(check.settings.output, sample, services_.context.ansi, services_.context.code_pages));
    } catch (const Error& error) {
        view_.SetTryResult(u"The sample: " + error.Description() + u".");
    }
}

void frmOutputSettings::cmdOK_Click() {
    const std::vector<FieldState> states = States();
    const FieldCheck check = CheckFields(fields_, loaded_, states, services_.context);
    if (check.failed) {
        services_.host.MsgBox(check.message, msgbox::kOkOnly | msgbox::kIconExclamation, kAppTitle);
        view_.FocusField(*check.failed);
        return;
    }
    const std::vector<ValueChange> changes = ChangedValues(fields_, loaded_, states, check.settings, services_.context);
    try {
        WriteValues(services_.registry, services_.context.ansi, changes);
    } catch (const Error& error) {
        services_.host.MsgBox(error.Description(), msgbox::kOkOnly | msgbox::kIconExclamation, kAppTitle);
        return;
    }
    services_.unload();
}

void frmOutputSettings::cmdCancel_Click() {
    services_.unload();
}

}  // namespace corvanta
