// The running executable's folder and name as the system reports them: the auto-start entry is built from
// these, so they must name this very file again.
#ifdef CORVANTA_HAVE_WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/win32/win32_app_info.h"
#include "platform/win32/win32_error.h"

namespace corvanta {
namespace {

TEST(AppInfoWin32, FolderAndNameGiveTheRunningExecutable) {
    const win32::Win32AppInfo app;
    const Text path = app.Path();
    const Text module = win32::ModuleFileName();
    ASSERT_FALSE(path.empty());
    EXPECT_NE(path.back(), u'\\') << ToUtf8(path);
    EXPECT_EQ(app.EXEName(), u"contract_tests");
    const Text rebuilt = path + u"\\" + app.EXEName() + u".exe";
    EXPECT_EQ(CompareStringOrdinal(win32::Wide(rebuilt), -1, win32::Wide(module), -1, TRUE), CSTR_EQUAL)
        << ToUtf8(rebuilt) << " vs " << ToUtf8(module);
    EXPECT_NE(GetFileAttributesW(win32::Wide(rebuilt)), INVALID_FILE_ATTRIBUTES) << ToUtf8(rebuilt);
}

}  // namespace
}  // namespace corvanta
#endif
