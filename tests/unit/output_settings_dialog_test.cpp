// The Output Settings dialog's logic: each field shows the value the registry sets (a policy's greyed), OK checks
// every field with the reader's parser and writes only what changed, and the Try box types a sample as the relay
// would.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/frmOutputSettings.h"
#include "core/request_scheduler.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_code_pages.h"
#include "fakes/fake_environment.h"
#include "fakes/fake_form_host.h"
#include "fakes/fake_registry.h"

namespace corvanta {
namespace {

// The dialog's controls as state: what the logic showed, and what a test "typed" since.
class FakeOutputSettingsView : public OutputSettingsView {
  public:
    struct Shown {
        std::vector<Text> choices;
        FieldState state;
        bool policy = false;
        bool text_enabled = false;
    };

    void ShowField(size_t field,
                   const std::vector<Text>& choices,
                   const FieldState& state,
                   bool policy,
                   bool text_enabled) override {
        fields.resize(std::max(fields.size(), field + 1));
        fields[field] = {choices, state, policy, text_enabled};
    }
    void EnableFieldText(size_t field, bool enabled) override { fields.at(field).text_enabled = enabled; }
    FieldState Field(size_t field) const override { return fields.at(field).state; }
    void FocusField(size_t field) override { focus = field; }
    Text TrySample() const override { return sample; }
    void SetTryResult(TextView text) override { try_result = Text(text); }
    void SetPolicyNote(TextView text) override { note = Text(text); }

    std::vector<Shown> fields;
    std::optional<size_t> focus;
    Text sample;
    Text try_result;
    Text note;
};

void PutString(FakeRegistry& registry, RegKey root, const char16_t* path, const std::string& name, std::string text) {
    registry.Put(root, ToUtf8(path), name, reg::kRegSz, text + '\0');
}

void PutDword(FakeRegistry& registry, const char16_t* path, const std::string& name, uint32_t value) {
    registry.Put(reg::kHkeyCurrentUser, ToUtf8(path), name, reg::kRegDword,
                 std::string(reinterpret_cast<const char*>(&value), sizeof(value)));
}

// A change a test makes in the dialog: a field's entry (by caption) and/or its text.
struct Edit {
    const char* field;
    const char* choice = nullptr;
    const char* text = nullptr;
};

class OutputSettingsDialogTest : public ::testing::Test {
  protected:
    frmOutputSettings& Open() {
        form.emplace(view, OutputSettingsServices{registry, context, host, [this] { unloaded = true; }});
        form->Form_Load();
        return *form;
    }

    size_t Index(const std::string& name) const {
        const std::vector<Field>& fields = form->Fields();
        for (size_t i = 0; i < fields.size(); ++i) {
            if (ToUtf8(fields[i].value->name) == name) {
                return i;
            }
        }
        throw std::logic_error("no field " + name);
    }

    void Apply(const Edit& edit) {
        const size_t i = Index(edit.field);
        FieldState& state = view.fields.at(i).state;
        if (edit.choice != nullptr) {
            state.choice = -1;
            const std::vector<Text>& choices = view.fields[i].choices;
            for (size_t c = 0; c < choices.size(); ++c) {
                if (ToUtf8(choices[c]) == edit.choice) {
                    state.choice = static_cast<int>(c);
                }
            }
        }
        if (edit.text != nullptr) {
            state.text = FromUtf8(edit.text);
        }
        form->Field_Change(i);
    }

    std::optional<std::string> UserValue(const char16_t* path, const std::string& name) const {
        const std::optional<FakeRegistry::Value> value = registry.Get(reg::kHkeyCurrentUser, ToUtf8(path), name);
        if (!value) {
            return std::nullopt;
        }
        if (value->type == reg::kRegDword) {
            uint32_t number = 0;
            std::memcpy(&number, value->data.data(), 4);
            return "dword:" + std::to_string(number);
        }
        return value->data.substr(0, value->data.find('\0'));
    }

    FakeRegistry registry;
    FakeAnsiCodePage ansi;
    FakeCodePages code_pages;
    FakeEnvironment environment;
    ValueContext context{ansi, code_pages, environment};
    FakeFormHost host;
    FakeOutputSettingsView view;
    bool unloaded = false;
    std::optional<frmOutputSettings> form;
};

// A field shows what decides the value: the machine policy, then the user policy, then the user's own; a policy's
// field is greyed and named in the note. A value the reader refuses shows as stored, so the user sees what to mend;
// one of another type shows the default the reader uses.
TEST_F(OutputSettingsDialogTest, FieldsShowTheValuesThatDecide) {
    using R = FakeRegistry;
    const struct {
        std::function<void(R&)> put;
        const char* field;
        const char* choice;  // the caption of the entry shown, or "" for none
        const char* text;
        bool policy;
    } cases[] = {
        {[](R&) {}, "LineEnd", "Enter", "", false},
        {[](R& r) { PutString(r, kOutputUserRoot, kOutputUserPath, "LineEnd", "TAB"); }, "LineEnd", "Tab", "", false},
        {[](R& r) { PutString(r, kOutputUserRoot, kOutputUserPath, "LineEnd", "\\x03"); }, "LineEnd", "Text\u2026",
         "\\x03", false},
        {[](R& r) {
             PutString(r, kOutputUserRoot, kOutputUserPath, "LineEnd", "tab");
             PutString(r, kOutputPolicyRoot, kOutputPolicyPath, "LineEnd", "none");
         },
         "LineEnd", "None", "", true},
        {[](R& r) { PutString(r, kOutputUserRoot, kOutputUserPath, "ControlCharacters", "\\x1d=|"); },
         "ControlCharacters", "Map\u2026", "\\x1D=|", false},
        {[](R& r) { PutString(r, kOutputUserRoot, kOutputUserPath, "Encoding", "932"); }, "Encoding", "932 (Japanese)",
         "", false},
        {[](R& r) { PutString(r, kOutputUserRoot, kOutputUserPath, "Encoding", "UTF8"); }, "Encoding", "UTF-8", "",
         false},
        {[](R& r) { PutString(r, kOutputUserRoot, kOutputUserPath, "Encoding", "437"); }, "Encoding", "437", "", false},
        {[](R& r) { PutString(r, kOutputUserRoot, kOutputUserPath, "KeyMode", "fast"); }, "KeyMode", "", "fast", false},
        {[](R& r) { PutDword(r, kOutputUserPath, "KeyDelay", 5); }, "KeyDelay", "", "5", false},
        {[](R& r) { PutString(r, kOutputUserRoot, kOutputUserPath, "RecordGap", "70"); }, "RecordGap", "", "100",
         false},
        {[](R& r) { PutString(r, reg::kHkeyCurrentUser, kRequestUserPath, "Hotkey", "ctrl + shift+w"); }, "Hotkey", "",
         "Ctrl+Shift+W", false},
        {[](R& r) { PutString(r, reg::kHkeyCurrentUser, kRequestPolicyPath, "Command", "Q\\r"); }, "Command", "",
         "Q\\r", true},
    };
    for (const auto& c : cases) {
        registry = FakeRegistry();
        c.put(registry);
        Open();
        const FakeOutputSettingsView::Shown& shown = view.fields.at(Index(c.field));
        const std::string choice = shown.state.choice < 0 ? "" : ToUtf8(shown.choices.at(shown.state.choice));
        EXPECT_EQ(choice, c.choice) << c.field << " " << c.text;
        EXPECT_EQ(ToUtf8(shown.state.text), c.text) << c.field << " " << c.choice;
        EXPECT_EQ(shown.policy, c.policy) << c.field << " " << c.text;
        EXPECT_EQ(view.note.empty(), !c.policy) << c.field << ": " << ToUtf8(view.note);
    }
}

// OK checks every field with the parser that reads the registry: the first one that does not parse is named in
// one message with why, gets the focus, and nothing is written; the dialog stays open.
TEST_F(OutputSettingsDialogTest, OkRefusesAFieldThatDoesNotParse) {
    const struct {
        std::vector<Edit> edits;
        const char* field;    // named and focused
        const char* message;  // the start of the message
    } cases[] = {
        {{{"Extract", nullptr, "(\\d+"}}, "Extract", "Extract pattern: "},
        {{{"KeyDelay", nullptr, "abc"}}, "KeyDelay", "Key delay (ms): \"abc\" is not a whole number of milliseconds."},
        {{{"KeyDelay", nullptr, ""}}, "KeyDelay", "Key delay (ms): it is empty"},
        {{{"KeyDelay", nullptr, "5000"}}, "KeyDelay", "Key delay (ms): 5000 ms is more than 1000."},
        {{{"Interval", nullptr, "99999999999"}}, "Interval", "Interval (ms): \"99999999999\" is too large."},
        {{{"LineEnd", "Text\u2026", "\\q"}}, "LineEnd", "Line end: "},
        {{{"KeyMode", "nothing"}}, "KeyMode", "Key mode: nothing is chosen."},
        {{{"Hotkey", nullptr, "Key 0x07"}}, "Hotkey", "Hotkey: "},
        {{{"LogFile", nullptr, "C:\\\u4E2D.csv"}}, "LogFile", "Log file: it holds characters the system's code page"},
        // The first in the dialog's order, whichever was typed last.
        {{{"Interval", nullptr, "1"}, {"Prefix", nullptr, "\\"}}, "Prefix", "Prefix: "},
    };
    for (const auto& c : cases) {
        registry = FakeRegistry();
        host.message_boxes.clear();
        view.focus.reset();
        unloaded = false;
        Open();
        for (const Edit& edit : c.edits) {
            Apply(edit);
        }
        form->cmdOK_Click();
        ASSERT_EQ(host.message_boxes.size(), 1u) << c.message;
        EXPECT_EQ(ToUtf8(host.message_boxes[0].prompt).rfind(c.message, 0), 0u)
            << c.message << " got: " << ToUtf8(host.message_boxes[0].prompt);
        EXPECT_EQ(view.focus, Index(c.field)) << c.message;
        EXPECT_FALSE(registry.KeyExists(reg::kHkeyCurrentUser, ToUtf8(kOutputUserPath))) << c.message;
        EXPECT_FALSE(registry.KeyExists(reg::kHkeyCurrentUser, ToUtf8(kRequestUserPath))) << c.message;
        EXPECT_FALSE(unloaded) << c.message;
    }
}

// OK writes the changed fields in their canonical form under the user's keys, deletes a value put back at its
// default, leaves an unchanged value as it was stored, and never writes a field a policy sets. Cancel writes nothing.
TEST_F(OutputSettingsDialogTest, OkWritesWhatChangedAndCancelNothing) {
    using R = FakeRegistry;
    const struct {
        const char* what;
        std::function<void(R&)> put;
        std::vector<Edit> edits;
        const char16_t* path;
        const char* name;
        std::optional<std::string> stored;  // after OK; "dword:N" for a number
        bool cancel = false;
    } cases[] = {
        {"Tab", [](R&) {}, {{"LineEnd", "Tab"}}, kOutputUserPath, "LineEnd", "tab"},
        {"text", [](R&) {}, {{"LineEnd", "Text\u2026", "\\x03"}}, kOutputUserPath, "LineEnd", "\\x03"},
        {"number", [](R&) {}, {{"KeyDelay", nullptr, " 007 "}}, kOutputUserPath, "KeyDelay", "dword:7"},
        {"map",
         [](R&) {},
         {{"ControlCharacters", "Map\u2026", "\\x1d=|;\\x04="}},
         kOutputUserPath,
         "ControlCharacters",
         "\\x04=;\\x1D=|"},
        {"hotkey", [](R&) {}, {{"Hotkey", nullptr, "ctrl+f9"}}, kRequestUserPath, "Hotkey", "Ctrl+F9"},
        {"command in the encoding chosen beside it",
         [](R&) {},
         {{"Encoding", "UTF-8"}, {"Command", nullptr, "\u00E9\\r"}},
         kRequestUserPath,
         "Command",
         "\\xC3\\xA9\\r"},
        {"back at the default",
         [](R& r) { PutString(r, kOutputUserRoot, kOutputUserPath, "LineEnd", "tab"); },
         {{"LineEnd", "Enter"}},
         kOutputUserPath,
         "LineEnd",
         std::nullopt},
        {"number back at the default",
         [](R& r) { PutDword(r, kOutputUserPath, "RecordGap", 40); },
         {{"RecordGap", nullptr, "100"}},
         kOutputUserPath,
         "RecordGap",
         std::nullopt},
        {"unchanged stays as stored",
         [](R& r) { PutString(r, kOutputUserRoot, kOutputUserPath, "LineEnd", "TAB"); },
         {{"Prefix", nullptr, "X"}},
         kOutputUserPath,
         "LineEnd",
         "TAB"},
        {"changed and back is unchanged",
         [](R& r) { PutString(r, kOutputUserRoot, kOutputUserPath, "LineEnd", "TAB"); },
         {{"LineEnd", "None"}, {"LineEnd", "Tab"}},
         kOutputUserPath,
         "LineEnd",
         "TAB"},
        {"policy's field",
         [](R& r) {
             PutString(r, kOutputUserRoot, kOutputUserPath, "LineEnd", "tab");
             PutString(r, reg::kHkeyCurrentUser, kOutputPolicyPath, "LineEnd", "none");
         },
         {{"LineEnd", "Enter"}},
         kOutputUserPath,
         "LineEnd",
         "tab"},
        {"cancel", [](R&) {}, {{"LineEnd", "Tab"}}, kOutputUserPath, "LineEnd", std::nullopt, true},
    };
    for (const auto& c : cases) {
        registry = FakeRegistry();
        host.message_boxes.clear();
        unloaded = false;
        c.put(registry);
        Open();
        for (const Edit& edit : c.edits) {
            Apply(edit);
        }
        if (c.cancel) {
            form->cmdCancel_Click();
        } else {
            form->cmdOK_Click();
        }
        EXPECT_TRUE(host.message_boxes.empty()) << c.what << ": " << ToUtf8(host.message_boxes[0].prompt);
        EXPECT_TRUE(unloaded) << c.what;
        EXPECT_EQ(UserValue(c.path, c.name), c.stored) << c.what;
    }
}

// A value that cannot be written is named in a message and the dialog stays open, its fields as they were.
TEST_F(OutputSettingsDialogTest, AFailedWriteIsToldAndTheDialogStays) {
    registry.refuse_user_writes = true;
    Open();
    Apply({"LineEnd", "Tab"});
    form->cmdOK_Click();
    ASSERT_EQ(host.message_boxes.size(), 1u);
    EXPECT_EQ(ToUtf8(host.message_boxes[0].prompt), "Saving LineEnd failed with error 5 (access is denied).");
    EXPECT_FALSE(unloaded);
}

// The Try box types a sample through the pipeline with the values as the fields hold them now: Enter as ↵, Tab as
// ⇥, or why nothing would be typed. A field that does not parse is named instead.
TEST_F(OutputSettingsDialogTest, TryShowsWhatWouldBeTyped) {
    const struct {
        std::vector<Edit> edits;
        std::string sample;
        const char* shown;
    } cases[] = {
        {{}, "12.5\\r", "12.5\u21B5"},
        {{{"LineEnd", "Tab"}}, "12.5\\r\\n", "12.5\u21E5"},
        {{{"LineEnd", "None"}}, "12.5\\r", "12.5"},
        {{{"Prefix", nullptr, "<"}, {"Suffix", nullptr, ">"}}, "A\\rB", "<A>\u21B5   <B>"},
        {{{"Extract", nullptr, "(\\d+)g"}}, "W 123g\\r", "123\u21B5"},
        {{{"Extract", nullptr, "\\d+"}}, "abc\\r", "no match"},
        {{{"Extract", nullptr, "\\d+"}}, std::string(5000, '1') + "\\r", "too long"},
        {{{"Encoding", "UTF-8"}}, "\\xC3\\xA9\\r", "\u00E9\u21B5"},
        {{{"ControlCharacters", "Map\u2026", "\\x1d=|"}}, "a\\x1Db\\r", "a|b\u21B5"},
        {{{"KeyDelay", nullptr, "x"}}, "1\\r", "Key delay (ms): \"x\" is not a whole number of milliseconds."},
        {{}, "\\q", "The sample: "},
        {{}, "", ""},
    };
    for (const auto& c : cases) {
        registry = FakeRegistry();
        Open();
        for (const Edit& edit : c.edits) {
            Apply(edit);
        }
        view.sample = FromUtf8(c.sample);
        form->txtTry_Change();
        EXPECT_EQ(ToUtf8(view.try_result).rfind(c.shown, 0), 0u)
            << c.sample.substr(0, 40) << " got: " << ToUtf8(view.try_result);
        if (std::string(c.shown).empty()) {
            EXPECT_TRUE(view.try_result.empty());
        }
    }
}

// The edit box beside a list is for typing only while its entry takes text ("Text…", "Map…"), and never in a
// policy's field.
TEST_F(OutputSettingsDialogTest, TextBoxFollowsTheEntry) {
    PutString(registry, kOutputPolicyRoot, kOutputPolicyPath, "ControlCharacters", "\\x1d=|");
    Open();
    EXPECT_FALSE(view.fields[Index("LineEnd")].text_enabled);
    Apply({"LineEnd", "Text\u2026"});
    EXPECT_TRUE(view.fields[Index("LineEnd")].text_enabled);
    Apply({"LineEnd", "Tab"});
    EXPECT_FALSE(view.fields[Index("LineEnd")].text_enabled);
    EXPECT_FALSE(view.fields[Index("ControlCharacters")].text_enabled);
    EXPECT_TRUE(view.fields[Index("Prefix")].text_enabled);
    EXPECT_EQ(ToUtf8(view.note), "Set by your administrator: Control characters.");
}

}  // namespace
}  // namespace corvanta
