#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "contract/contract_sides.h"
#include "fakes/fake_settings_store.h"
#include "platform/settings_store.h"

#ifdef CORVANTA_HAVE_WIN32
#include <windows.h>

#include "platform/registry.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_settings_store.h"
#endif

namespace corvanta {
namespace {

// Never the program's own name: a test run must not touch the user's real settings.
constexpr char16_t kApp[] = u"CorvantaContractTest";
constexpr char16_t kOtherApp[] = u"CorvantaContractTest2";

#ifdef CORVANTA_HAVE_WIN32
// Removes whatever a test stored.
void RemoveTestKeys() {
    for (const char16_t* app : {kApp, kOtherApp}) {
        const Text path = Text(u"Software\\") + app;
        const LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, win32::Wide(path));
        ASSERT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << status;
        RegDeleteKeyW(HKEY_CURRENT_USER, win32::Wide(path));
    }
}

// The user's real store, with the tests' keys removed before and after.
class CleanWin32Store : public win32::Win32SettingsStore {
  public:
    CleanWin32Store() { RemoveTestKeys(); }
    ~CleanWin32Store() override { RemoveTestKeys(); }
};
#endif

using Side = contract::Side<std::unique_ptr<SettingsStore>>;

std::vector<Side> Sides() {
    std::vector<Side> sides = {{"Fake", [] { return std::make_unique<FakeSettingsStore>(); }}};
#ifdef CORVANTA_HAVE_WIN32
    sides.push_back({"Win32", [] { return std::make_unique<CleanWin32Store>(); }});
#endif
    return sides;
}

class SettingsStoreContract : public ::testing::TestWithParam<Side> {
  protected:
    void SetUp() override { store_ = GetParam().make(); }

    Text Get(TextView key, TextView default_value, TextView section = u"Properties", TextView app = kApp) {
        return store_->GetSetting(app, section, key, default_value);
    }
    void Save(TextView key, TextView value, TextView section = u"Properties", TextView app = kApp) {
        store_->SaveSetting(app, section, key, value);
    }

    std::unique_ptr<SettingsStore> store_;
};

// Nothing stored, neither the application, the section nor the value: the default comes back as given.
TEST_P(SettingsStoreContract, AbsentGivesTheDefault) {
    EXPECT_EQ(Get(u"CommPort", u"1"), u"1");
    EXPECT_EQ(Get(u"Settings", u""), u"");
    Save(u"CommPort", u"3");
    EXPECT_EQ(Get(u"Handshaking", u"0"), u"0") << "another value of the same section";
}

// Texts come back exactly as written: no trimming, no case change, nothing lost outside ASCII.
TEST_P(SettingsStoreContract, WrittenTextReadsBackUnchanged) {
    const Text values[] = {u"3",
                           u"19200,e,7,1",
                           u"9600,n,8,1.5",
                           u"9600,N,8,1",
                           u"",
                           u"  x  ",
                           u"\u00E9\u20AC\u00FC \u4E2D \U0001F600",
                           Text(300, u'z')};
    for (const Text& value : values) {
        Save(u"Settings", value);
        EXPECT_EQ(ToUtf8(Get(u"Settings", u"default")), ToUtf8(value));
    }
}

TEST_P(SettingsStoreContract, WriteReplacesTheValue) {
    Save(u"CommPort", u"12");
    Save(u"CommPort", u"3");
    EXPECT_EQ(Get(u"CommPort", u"1"), u"3");
    Save(u"CommPort", u"");
    EXPECT_EQ(Get(u"CommPort", u"1"), u"") << "an empty text is a stored value, not an absent one";
}

// The same key under another section or another application is another value.
TEST_P(SettingsStoreContract, SectionsAndApplicationsAreSeparate) {
    Save(u"CommPort", u"3");
    Save(u"CommPort", u"4", u"Other");
    Save(u"CommPort", u"5", u"Properties", kOtherApp);
    EXPECT_EQ(Get(u"CommPort", u"1"), u"3");
    EXPECT_EQ(Get(u"CommPort", u"1", u"Other"), u"4");
    EXPECT_EQ(Get(u"CommPort", u"1", u"Properties", kOtherApp), u"5");
    EXPECT_EQ(Get(u"CommPort", u"1", u"Third"), u"1");
}

INSTANTIATE_TEST_SUITE_P(All, SettingsStoreContract, ::testing::ValuesIn(Sides()), contract::SideName());

#ifdef CORVANTA_HAVE_WIN32
class Win32SettingsStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { RemoveTestKeys(); }
    void TearDown() override { RemoveTestKeys(); }
    win32::Win32SettingsStore store_;
};

// Values live where a user or an administrator expects them: HKCU\Software\<app>\<section>, as REG_SZ.
TEST_F(Win32SettingsStoreTest, StoresRegSzUnderTheUsersSoftwareKey) {
    store_.SaveSetting(kApp, u"Properties", u"Settings", u"9600,n,8,1.5");
    const Text path = Text(u"Software\\") + kApp + u"\\Properties";
    DWORD type = 0;
    wchar_t data[64] = {};
    DWORD bytes = sizeof(data);
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, win32::Wide(path), L"Settings", RRF_RT_ANY, &type, data, &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(ToUtf8(win32::FromWide(data, wcslen(data))), "9600,n,8,1.5");
}

// A value someone stored with another type, or larger than any value the program reads, is not ours: it reads as
// absent rather than as garbage.
TEST_F(Win32SettingsStoreTest, ValuesThatAreNotOursReadAsAbsent) {
    const Text path = Text(u"Software\\") + kApp + u"\\Properties";
    const std::wstring big(reg::kMaxValueBytes / sizeof(wchar_t) + 1, L'9');
    const DWORD number = 3;
    const struct {
        const char* label;
        DWORD type;
        const void* data;
        DWORD size;
    } cases[] = {
        {"REG_DWORD", REG_DWORD, &number, sizeof(number)},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, L"3", 2 * sizeof(wchar_t)},
        {"REG_SZ over the limit", REG_SZ, big.c_str(), static_cast<DWORD>((big.size() + 1) * sizeof(wchar_t))},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, win32::Wide(path), L"CommPort", c.type, c.data, c.size),
                  ERROR_SUCCESS)
            << c.label;
        EXPECT_EQ(store_.GetSetting(kApp, u"Properties", u"CommPort", u"1"), u"1") << c.label;
    }
}
#endif

}  // namespace
}  // namespace corvanta
