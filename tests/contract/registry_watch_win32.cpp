// The Win32 registry watch on a real message loop: a value set under a key that did not exist when the watch
// began is reported on the UI thread, and so is a later change to the key itself.
#ifdef CORVANTA_HAVE_WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "contract/message_loop_win32.h"
#include "platform/win32/win32_registry_watch.h"

namespace corvanta {
namespace {

bool PumpUntil(const std::function<bool()>& done, DWORD deadline_ms = 10000) {
    return test::PumpUntil(done, std::chrono::milliseconds(deadline_ms));
}

void SetValue(const wchar_t* path, DWORD data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, L"KeyDelay", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(Win32RegistryWatch, ReportsChangesBelowKeysCreatedLater) {
    const wchar_t kParent[] = L"Software\\CorvantaWatchTest";
    const wchar_t kPath[] = L"Software\\CorvantaWatchTest\\Output";
    RegDeleteTreeW(HKEY_CURRENT_USER, kParent);
    {
        win32::Win32RegistryWatch watch;
        int changes = 0;
        watch.Watch({{reg::kHkeyCurrentUser, u"Software\\CorvantaWatchTest\\Output"}}, [&] { ++changes; });
        EXPECT_EQ(changes, 0) << "reported inside Watch";
        SetValue(kPath, 5);
        ASSERT_TRUE(PumpUntil([&] { return changes > 0; })) << "the new key's value was not reported";
        const int before = changes;
        SetValue(kPath, 6);
        EXPECT_TRUE(PumpUntil([&] { return changes > before; })) << "a change after the first was not reported";
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kParent);
}

}  // namespace
}  // namespace corvanta
#endif
