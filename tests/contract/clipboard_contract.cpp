#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "contract/contract_sides.h"
#include "fakes/fake_clipboard.h"
#include "platform/clipboard.h"

#ifdef CORVANTA_HAVE_WIN32
#include <windows.h>

#include <thread>

#include "platform/win32/handles.h"
#include "platform/win32/win32_clipboard.h"
#endif

namespace corvanta {
namespace {

struct ClipboardBed {
    std::shared_ptr<void> keep_alive;
    Clipboard* clipboard = nullptr;
    // Another program opens the clipboard and keeps it open until release.
    std::function<void()> hold;
    std::function<void()> release;
};

using ClipboardSide = contract::Side<ClipboardBed>;

#ifdef CORVANTA_HAVE_WIN32
// The clipboard opened by a window of its own, as the program's main form opens it; another thread stands for
// another program, since Windows lets whoever opened it, and only them, open it again.
struct Win32Bed {
    Win32Bed()
        : owner(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr)),
          clipboard(owner.Get()),
          opened(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          released(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Win32Bed() { Release(); }
    void Hold() {
        ResetEvent(opened.Get());
        ResetEvent(released.Get());
        holder = std::thread([this] {
            const BOOL open = OpenClipboard(nullptr);
            SetEvent(opened.Get());
            WaitForSingleObject(released.Get(), 20000);
            if (open) {
                CloseClipboard();
            }
        });
        WaitForSingleObject(opened.Get(), 20000);
    }
    void Release() {
        SetEvent(released.Get());
        if (holder.joinable()) {
            holder.join();
        }
    }
    win32::UniqueHwnd owner;
    win32::Win32Clipboard clipboard;
    win32::UniqueHandle opened;
    win32::UniqueHandle released;
    std::thread holder;
};
#endif

std::vector<ClipboardSide> Sides() {
    std::vector<ClipboardSide> sides{{"Fake", [] {
                                          auto fake = std::make_shared<FakeClipboard>();
                                          return ClipboardBed{fake, fake.get(),
                                                              [fake] { fake->held_by_another_program = true; },
                                                              [fake] { fake->held_by_another_program = false; }};
                                      }}};
#ifdef CORVANTA_HAVE_WIN32
    sides.push_back({"Win32", []() -> ClipboardBed {
                         if (std::getenv("DISPLAY") == nullptr) {
                             return {};
                         }
                         auto bed = std::make_shared<Win32Bed>();
                         return ClipboardBed{bed, &bed->clipboard, [bed] { bed->Hold(); }, [bed] { bed->Release(); }};
                     }});
#endif
    return sides;
}

class ClipboardContract : public ::testing::TestWithParam<ClipboardSide> {
  protected:
    void SetUp() override {
        bed = GetParam().make();
        if (bed.clipboard == nullptr) {
            GTEST_SKIP() << "no display: the clipboard needs one";
        }
    }
    ClipboardBed bed;
};

// What is copied is what is pasted, to the last character: tabs and line breaks of the rows, characters beyond the
// ANSI code page and beyond the first 64 K, a text far longer than one row; each copy replaces the one before.
TEST_P(ClipboardContract, TextAsCopied) {
    const Text cases[] = {
        u"14:03:22.512\t01\\x1D10AB\\r\\n\t01|10AB\u21B5\ttyped\r\n",
        u"\u00E9 \u4E2D \U0001F600 \u21B5\u21E5",
        Text(100000, u'7') + u"\r\n",
        u"x",
    };
    for (const Text& text : cases) {
        bed.clipboard->SetText(text);
        EXPECT_EQ(ToUtf8(bed.clipboard->GetText()), ToUtf8(text)) << ToUtf8(text.substr(0, 40));
    }
}

// While another program holds the clipboard open, a copy fails with a reason and leaves the clipboard as it was.
TEST_P(ClipboardContract, HeldByAnotherProgram) {
    bed.clipboard->SetText(u"before");
    bed.hold();
    try {
        bed.clipboard->SetText(u"after");
        ADD_FAILURE() << "the copy was taken while another program held the clipboard";
    } catch (const Error& error) {
        EXPECT_FALSE(error.Description().empty());
    }
    bed.release();
    EXPECT_EQ(bed.clipboard->GetText(), u"before");
}

INSTANTIATE_TEST_SUITE_P(Clipboards, ClipboardContract, ::testing::ValuesIn(Sides()), contract::SideName());

}  // namespace
}  // namespace corvanta
