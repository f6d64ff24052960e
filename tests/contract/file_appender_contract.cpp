#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "contract/contract_sides.h"
#include "fakes/fake_file_appender.h"
#include "platform/file_appender.h"

#ifdef CORVANTA_HAVE_WIN32
#include <windows.h>

#include "platform/win32/handles.h"
#include "platform/win32/win32_file_appender.h"
#endif

namespace corvanta {
namespace {

struct AppenderBed {
    std::shared_ptr<FileAppender> appender;
    Text folder;  // an empty folder of the bed's own
    std::function<std::string(const Text& path)> read;
    // Opens the file as a spreadsheet does that shows it (sharing reading only); release closes it again.
    std::function<void(const Text& path)> hold;
    std::function<void()> release;
    std::shared_ptr<void> cleanup;
};

using Side = contract::Side<AppenderBed>;

#ifdef CORVANTA_HAVE_WIN32
const wchar_t* W(const Text& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

AppenderBed Win32Bed() {
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    const Text folder = Text(reinterpret_cast<const char16_t*>(temp), length) + u"corvanta append " +
                        AsciiText(std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()));
    CreateDirectoryW(W(folder), nullptr);
    auto held = std::make_shared<win32::UniqueHandle>();
    AppenderBed bed;
    bed.appender = std::make_shared<win32::Win32FileAppender>();
    bed.folder = folder;
    bed.read = [](const Text& path) {
        win32::UniqueHandle file(
            CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        std::string bytes;
        char buffer[4096];
        DWORD done = 0;
        while (file.Valid() && ReadFile(file.Get(), buffer, sizeof buffer, &done, nullptr) != FALSE && done > 0) {
            bytes.append(buffer, done);
        }
        return bytes;
    };
    bed.hold = [held](const Text& path) {
        held->Reset(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held->Valid()) << ToUtf8(path);
    };
    bed.release = [held] { held->Reset(); };
    bed.cleanup = std::shared_ptr<void>(nullptr, [folder, held](void*) {
        held->Reset();
        WIN32_FIND_DATAW found;
        const Text pattern = folder + u"\\*";
        HANDLE search = FindFirstFileW(W(pattern), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                    DeleteFileW(W(folder + u"\\" + reinterpret_cast<const char16_t*>(found.cFileName)));
                }
            } while (FindNextFileW(search, &found) != FALSE);
            FindClose(search);
        }
        RemoveDirectoryW(W(folder));
    });
    return bed;
}
#endif

std::vector<Side> Sides() {
    std::vector<Side> sides = {{"Fake", [] {
                                    auto appender = std::make_shared<FakeFileAppender>();
                                    AppenderBed bed;
                                    bed.appender = appender;
                                    bed.folder = u"C:\\logs";
                                    bed.read = [appender](const Text& path) { return appender->files[path]; };
                                    bed.hold = [appender](const Text& path) { appender->held.insert(path); };
                                    bed.release = [appender] { appender->held.clear(); };
                                    return bed;
                                }}};
#ifdef CORVANTA_HAVE_WIN32
    sides.push_back({"Win32", Win32Bed});
#endif
    return sides;
}

class FileAppenderContract : public ::testing::TestWithParam<Side> {};

// A file is created when missing and grows at its end, each opening seeing the size it had; what was appended
// can be read while the file is still open.
TEST_P(FileAppenderContract, AppendsAtTheEnd) {
    const AppenderBed bed = GetParam().make();
    const Text path = bed.folder + u"\\scale \u00E9\u65E5-2026-12-07.csv";
    {
        const std::unique_ptr<AppendingFile> file = bed.appender->Open(path);
        EXPECT_EQ(file->Size(), 0u);
        file->Append("time,port\r\n");
        EXPECT_EQ(bed.read(path), "time,port\r\n");
    }
    for (const std::string& row : {std::string("a,1\r\n"), std::string(70000, 'x')}) {
        const std::string before = bed.read(path);
        const std::unique_ptr<AppendingFile> file = bed.appender->Open(path);
        EXPECT_EQ(file->Size(), before.size());
        file->Append(row);
        EXPECT_EQ(bed.read(path), before + row);
    }
}

// A missing folder, a folder's own path and a file another program holds are refused with the path and the
// reason; the file is as it was.
TEST_P(FileAppenderContract, RefusesWhatCannotBeWritten) {
    const AppenderBed bed = GetParam().make();
    const Text held = bed.folder + u"\\held.csv";
    bed.appender->Open(held)->Append("kept\r\n");
    bed.hold(held);
    for (const Text& path : {bed.folder + u"\\missing\\x.csv", bed.folder, held}) {
        try {
            bed.appender->Open(path)->Append("lost\r\n");
            ADD_FAILURE() << ToUtf8(path) << " was opened";
        } catch (const Error& error) {
            EXPECT_NE(error.Description().find(path), Text::npos) << ToUtf8(error.Description());
        }
    }
    EXPECT_EQ(bed.read(held), "kept\r\n");
    bed.release();
    bed.appender->Open(held)->Append("more\r\n");
    EXPECT_EQ(bed.read(held), "kept\r\nmore\r\n");
}

INSTANTIATE_TEST_SUITE_P(Sides, FileAppenderContract, ::testing::ValuesIn(Sides()), contract::SideName());

}  // namespace
}  // namespace corvanta
