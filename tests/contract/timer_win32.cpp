// The Win32 timer on a real message loop: one tick per Start, none after Stop, a later Start replacing a
// pending one.
#ifdef CORVANTA_HAVE_WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "contract/message_loop_win32.h"
#include "platform/win32/win32_timer.h"

namespace corvanta {
namespace {

bool PumpUntil(const std::function<bool()>& done, DWORD deadline_ms = 5000) {
    return test::PumpUntil(done, std::chrono::milliseconds(deadline_ms));
}

TEST(Win32Timer, TicksOnceFromTheMessageLoop) {
    win32::Win32Timer timer;
    int ticks = 0;
    timer.SetOnTimer([&] { ++ticks; });
    timer.Start(10);
    EXPECT_TRUE(timer.Pending());
    EXPECT_EQ(ticks, 0) << "ticked inside Start";
    ASSERT_TRUE(PumpUntil([&] { return ticks > 0; })) << "no tick";
    EXPECT_FALSE(timer.Pending());

    // A second timer's tick comes well after the first would have repeated: still one tick.
    win32::Win32Timer later;
    bool later_ticked = false;
    later.SetOnTimer([&] { later_ticked = true; });
    later.Start(100);
    ASSERT_TRUE(PumpUntil([&] { return later_ticked; }));
    EXPECT_EQ(ticks, 1);
}

TEST(Win32Timer, StopAndRestart) {
    win32::Win32Timer stopped;
    win32::Win32Timer restarted;
    win32::Win32Timer witness;
    bool stopped_ticked = false;
    bool restarted_ticked = false;
    bool witness_ticked = false;
    stopped.SetOnTimer([&] { stopped_ticked = true; });
    restarted.SetOnTimer([&] { restarted_ticked = true; });
    witness.SetOnTimer([&] { witness_ticked = true; });

    stopped.Start(10);
    stopped.Stop();
    EXPECT_FALSE(stopped.Pending());
    // A Start replaces a pending one: a long delay cut short.
    restarted.Start(60000);
    restarted.Start(10);
    witness.Start(200);
    ASSERT_TRUE(PumpUntil([&] { return witness_ticked; }));
    EXPECT_FALSE(stopped_ticked) << "ticked after Stop";
    EXPECT_TRUE(restarted_ticked) << "the second Start did not replace the first";
}

}  // namespace
}  // namespace corvanta
#endif
