#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "about/frmAbout_logic.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_form_host.h"
#include "fakes/fake_process_launcher.h"
#include "fakes/fake_registry.h"

namespace corvanta {
namespace {

const std::string kKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const std::string kFolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
const Text kTool = u"C:\\Program Files\\Common Files\\Microsoft Shared\\MSInfo\\msinfo32.exe";
const Text kFolder = u"C:\\Program Files\\Common Files\\Microsoft Shared\\MSInfo";

std::string Sz(const std::string& text) {
    return text + '\0';
}

class AboutTest : public ::testing::Test {
  protected:
    bool Get(Text& value) { return about.GetKeyValue(reg::kHkeyLocalMachine, u"Software\\Test", u"Value", value); }
    void Put(uint32_t type, std::string data) {
        registry.Put(reg::kHkeyLocalMachine, "Software\\Test", "Value", type, std::move(data));
    }
    std::vector<Text> Messages() const {
        std::vector<Text> texts;
        for (const auto& box : form.message_boxes) {
            EXPECT_EQ(box.style, msgbox::kOkOnly);
            EXPECT_EQ(box.title, u"Corvanta");
            texts.push_back(box.prompt);
        }
        return texts;
    }

    FakeFormHost form;
    FakeRegistry registry;
    FakeAnsiCodePage ansi;
    FakeProcessLauncher launcher;
    frmAbout about{form, registry, ansi, launcher};
};

// Text values lose one trailing NUL; numbers read as decimal; other types leave the caller's text alone.
TEST_F(AboutTest, GetKeyValueByType) {
    struct {
        const char* label;
        uint32_t type;
        std::string data;
        Text expected;
    } cases[] = {
        {"text", reg::kRegSz, Sz("C:\\x y\\a.exe"), u"C:\\x y\\a.exe"},
        {"text without NUL", reg::kRegSz, "abc", u"abc"},
        {"only a NUL", reg::kRegSz, Sz(""), u""},
        {"two NULs keep one", reg::kRegSz, std::string("ab\0\0", 4), Text(u"ab\0", 3)},
        {"ANSI text", reg::kRegSz, Sz("\xE9\x80"), u"\u00E9\u20AC"},
        {"1024 bytes fit", reg::kRegSz, std::string(1024, 'q'), Text(1024, u'q')},
        {"a 2 KB path", reg::kRegSz, Sz("C:\\" + std::string(2045, 'p')), u"C:\\" + Text(2045, u'p')},
        {"number", reg::kRegDword, std::string("\x2A\0\0\0", 4), u"42"},
        {"number with every byte", reg::kRegDword, "\x01\x02\x03\x04", u"67305985"},
        {"largest number", reg::kRegDword, "\xFF\xFF\xFF\xFF", u"4294967295"},
        {"expandable", reg::kRegExpandSz, Sz("%windir%"), u"unchanged"},
        {"binary", reg::kRegBinary, "\x01", u"unchanged"},
    };
    for (const auto& c : cases) {
        Put(c.type, c.data);
        Text value = u"unchanged";
        EXPECT_TRUE(Get(value)) << c.label;
        EXPECT_EQ(value, c.expected) << c.label;
        EXPECT_EQ(registry.OpenKeyCount(), 0u) << c.label;
    }
}

// Failure empties the caller's text.
TEST_F(AboutTest, GetKeyValueFailureEmptiesText) {
    struct {
        const char* label;
        const char* name;  // the value put, or null for no key at all
        std::string data;
        bool refuse;
    } cases[] = {
        {"key missing", nullptr, "", false},
        {"value missing", "Other", Sz("x"), false},
        {"value over the limit of every value", "Value", std::string(reg::kMaxValueBytes + 1, 'q'), false},
    };
    for (const auto& c : cases) {
        registry = FakeRegistry{};
        if (c.name != nullptr) {
            registry.Put(reg::kHkeyLocalMachine, "Software\\Test", c.name, reg::kRegSz, c.data);
        }
        registry.refuse_machine_writes = c.refuse;
        Text value = u"unchanged";
        EXPECT_FALSE(Get(value)) << c.label;
        EXPECT_EQ(value, u"") << c.label;
        EXPECT_EQ(registry.OpenKeyCount(), 0u) << c.label;
    }
}

// A user without administrator rights can still read the tool's keys under HKEY_LOCAL_MACHINE and start it.
TEST_F(AboutTest, UserWithoutRightsStartsTheTool) {
    registry.refuse_machine_writes = true;
    registry.Put(reg::kHkeyLocalMachine, kKey, "PATH", reg::kRegSz, Sz(ToUtf8(kTool)));
    launcher.files.insert(kTool);
    about.BtnSysInfo_Click();
    ASSERT_EQ(launcher.requests.size(), 1u);
    EXPECT_EQ(launcher.requests[0].path, kTool);
    EXPECT_TRUE(launcher.requests[0].started);
    EXPECT_EQ(Messages(), std::vector<Text>{});
}

// A value with no data has no last byte to test: an error for the caller (whose trap turns it into the
// message), with the key closed.
TEST_F(AboutTest, ValueWithoutDataRaises) {
    registry.Put(reg::kHkeyLocalMachine, kKey, "PATH", reg::kRegSz, "");
    Text value;
    EXPECT_THROW(
        about.GetKeyValue(reg::kHkeyLocalMachine, u"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", u"PATH", value), Error);
    EXPECT_EQ(registry.OpenKeyCount(), 0u);
    about.StartSysInfo();
    EXPECT_TRUE(launcher.requests.empty());
    EXPECT_EQ(Messages(), std::vector<Text>{frmAbout::kUnavailableMessage});
}

// Which program is asked for, if any, for each way the tool can be registered; every failure ends in the message.
TEST_F(AboutTest, StartSysInfoPaths) {
    const Text in_folder = kFolder + u"\\MSINFO32.EXE";
    const std::string tool = ToUtf8(kTool);
    const std::string folder = ToUtf8(kFolder);
    struct {
        const char* label;
        std::vector<std::pair<std::string, std::string>> values;  // key, data
        uint32_t path_type;
        std::vector<Text> files;
        std::vector<Text> refused;
        std::optional<Text> requested;
        bool started;
    } cases[] = {
        {"PATH present", {{kKey, tool}}, reg::kRegSz, {kTool}, {}, kTool, true},
        {"PATH present, no such file", {{kKey, tool}}, reg::kRegSz, {}, {}, kTool, false},
        {"PATH comes first", {{kKey, tool}, {kFolderKey, folder}}, reg::kRegSz, {kTool, in_folder}, {}, kTool, true},
        {"folder holds the tool", {{kFolderKey, folder}}, reg::kRegSz, {in_folder}, {}, in_folder, true},
        {"folder without the tool", {{kFolderKey, folder}}, reg::kRegSz, {}, {}, std::nullopt, false},
        {"neither value", {}, reg::kRegSz, {in_folder}, {}, std::nullopt, false},
        {"PATH of another type names nothing", {{kKey, tool}}, reg::kRegExpandSz, {kTool}, {}, u"", false},
        {"start refused", {{kKey, tool}}, reg::kRegSz, {kTool}, {kTool}, kTool, false},
    };
    for (const auto& c : cases) {
        registry = FakeRegistry{};
        launcher = FakeProcessLauncher{};
        form.message_boxes.clear();
        for (const auto& [key, data] : c.values) {
            const bool tool_key = key == kKey;
            registry.Put(reg::kHkeyLocalMachine, key, tool_key ? "PATH" : "MSINFO",
                         tool_key ? c.path_type : reg::kRegSz, Sz(data));
        }
        launcher.files.insert(c.files.begin(), c.files.end());
        launcher.refused.insert(c.refused.begin(), c.refused.end());

        about.BtnSysInfo_Click();

        if (c.requested) {
            ASSERT_EQ(launcher.requests.size(), 1u) << c.label;
            EXPECT_EQ(launcher.requests[0].path, *c.requested) << c.label;
            EXPECT_EQ(launcher.requests[0].show_command, show::kNormalFocus) << c.label;
            EXPECT_EQ(launcher.requests[0].started, c.started) << c.label;
        } else {
            EXPECT_TRUE(launcher.requests.empty()) << c.label;
        }
        EXPECT_EQ(Messages(), c.started ? std::vector<Text>{} : std::vector<Text>{frmAbout::kUnavailableMessage})
            << c.label;
        EXPECT_EQ(registry.OpenKeyCount(), 0u) << c.label;
    }
}

}  // namespace
}  // namespace corvanta
