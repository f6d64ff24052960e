// The owner every Win32 handle lives in: each handle is closed exactly once whatever moves and resets happen,
// and neither of the API's two "no handle" values is ever closed.
#ifdef CORVANTA_HAVE_WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <utility>
#include <vector>

#include "platform/win32/handles.h"

namespace corvanta {
namespace {

std::vector<HANDLE> g_closed;

BOOL WINAPI RecordClose(HANDLE handle) {
    g_closed.push_back(handle);
    return TRUE;
}

using Owner = win32::UniqueOwner<HANDLE, &RecordClose>;

HANDLE H(uintptr_t number) {
    return reinterpret_cast<HANDLE>(number);
}

using Handles = std::vector<HANDLE>;

// After each step the handles closed so far, in order; at the end, the owners that hold nothing (empty from the
// start, moved from, released) have closed nothing.
TEST(UniqueOwner, ClosesEachHandleOnce) {
    g_closed.clear();
    {
        Owner a(H(1)), b, empty(nullptr), invalid(INVALID_HANDLE_VALUE);
        a.Reset(a.Get());
        EXPECT_EQ(g_closed, Handles{}) << "reset to the handle held";
        a.Reset(H(2));
        EXPECT_EQ(g_closed, Handles{H(1)}) << "reset to another";
        b = std::move(a);
        a.Reset();
        EXPECT_EQ(g_closed, Handles{H(1)}) << "moved from, then reset";
        Owner c(H(3));
        c = std::move(b);
        EXPECT_EQ(g_closed, (Handles{H(1), H(3)})) << "move-assigned over another";
        *c.Receive() = H(4);
        EXPECT_EQ(g_closed, (Handles{H(1), H(3), H(2)})) << "received over another";
        c.Reset();
        c.Reset();
        EXPECT_EQ(g_closed, (Handles{H(1), H(3), H(2), H(4)})) << "reset twice";
        Owner d(H(5));
        EXPECT_EQ(d.Release(), H(5));
    }
    EXPECT_EQ(g_closed, (Handles{H(1), H(3), H(2), H(4)})) << "the owners ended";
}

}  // namespace
}  // namespace corvanta
#endif
