// The process launcher's contract (kept beside the registry's: the About dialog's System Information launcher
// needs both).
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "contract/contract_sides.h"
#include "fakes/fake_process_launcher.h"
#include "platform/process_launcher.h"

#ifdef CORVANTA_HAVE_WIN32
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "platform/win32/win32_error.h"
#include "platform/win32/win32_process_launcher.h"
#endif

namespace corvanta {
namespace {

// A launcher with a scratch folder: a program that can be started, a plain file, a sub-folder.
class LauncherBed {
  public:
    virtual ~LauncherBed() = default;
    virtual ProcessLauncher& Get() = 0;
    // Paths inside the scratch folder; the folder's name holds a blank.
    virtual Text Program() const = 0;
    virtual Text PlainFile() const = 0;
    virtual Text Folder() const = 0;
    virtual Text Missing() const = 0;
    // True once the program at path has run, whole (waits up to a deadline).
    virtual bool Ran(const Text& path) = 0;
};

class FakeBed : public LauncherBed {
  public:
    FakeBed() { launcher_.files = {Program(), PlainFile()}; }
    ProcessLauncher& Get() override { return launcher_; }
    Text Program() const override { return u"C:\\Scratch Dir\\child copy.exe"; }
    Text PlainFile() const override { return u"C:\\Scratch Dir\\notes.txt"; }
    Text Folder() const override { return u"C:\\Scratch Dir\\sub"; }
    Text Missing() const override { return u"C:\\Scratch Dir\\missing.exe"; }
    bool Ran(const Text& path) override {
        return !launcher_.requests.empty() && launcher_.requests.back().path == path &&
               launcher_.requests.back().started;
    }

  private:
    FakeProcessLauncher launcher_;
};

#ifdef CORVANTA_HAVE_WIN32
constexpr wchar_t kMarkerVariable[] = L"CORVANTA_LAUNCHER_MARKER";

// A copy of this test program, started by a test, writes its own path into the marker file and ends before
// any test runs.
const bool kChildDone = [] {
    wchar_t marker[MAX_PATH];
    if (GetEnvironmentVariableW(kMarkerVariable, marker, MAX_PATH) == 0) {
        return false;
    }
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::filesystem::path temporary = std::filesystem::path(marker).concat(L".tmp");
    std::ofstream(temporary, std::ios::binary).write(reinterpret_cast<const char*>(self), length * sizeof(wchar_t));
    std::filesystem::rename(temporary, marker);
    ExitProcess(0);
}();

class Win32Bed : public LauncherBed {
  public:
    Win32Bed() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root_ = std::filesystem::path(temp) / (L"Corvanta launcher " + std::to_wstring(GetCurrentProcessId()));
        std::filesystem::create_directories(root_ / L"sub");
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::filesystem::copy_file(self, root_ / L"child copy.exe");
        std::ofstream(root_ / L"notes.txt") << "notes";
        marker_ = root_ / L"marker";
        SetEnvironmentVariableW(kMarkerVariable, marker_.c_str());
    }
    ~Win32Bed() override {
        SetEnvironmentVariableW(kMarkerVariable, nullptr);
        std::error_code ignored;
        // The child may still be ending; its file stays locked until it has.
        for (int attempt = 0;
             attempt < 100 && std::filesystem::remove_all(root_, ignored) == static_cast<uintmax_t>(-1); ++attempt) {
            Sleep(50);
        }
    }
    ProcessLauncher& Get() override { return launcher_; }
    Text Program() const override { return Of(root_ / L"child copy.exe"); }
    Text PlainFile() const override { return Of(root_ / L"notes.txt"); }
    Text Folder() const override { return Of(root_ / L"sub"); }
    Text Missing() const override { return Of(root_ / L"missing.exe"); }
    bool Ran(const Text& path) override {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!std::filesystem::exists(marker_)) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::ifstream in(marker_, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const Text ran(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
        EXPECT_EQ(ToUtf8(ran), ToUtf8(path));
        return ran == path;
    }

  private:
    static Text Of(const std::filesystem::path& path) {
        const std::wstring& wide = path.native();
        return win32::FromWide(wide.c_str(), wide.size());
    }

    win32::Win32ProcessLauncher launcher_;
    std::filesystem::path root_;
    std::filesystem::path marker_;
};
#endif

using Side = contract::Side<std::unique_ptr<LauncherBed>>;

std::vector<Side> Sides() {
    std::vector<Side> sides{{"Fake", [] { return std::make_unique<FakeBed>(); }}};
#ifdef CORVANTA_HAVE_WIN32
    sides.push_back({"Win32", [] { return std::make_unique<Win32Bed>(); }});
#endif
    return sides;
}

class ProcessLauncherContract : public ::testing::TestWithParam<Side> {
  protected:
    void SetUp() override { bed_ = GetParam().make(); }
    std::unique_ptr<LauncherBed> bed_;
};

TEST_P(ProcessLauncherContract, PlainFilesOnly) {
    EXPECT_TRUE(bed_->Get().IsPlainFile(bed_->Program()));
    EXPECT_TRUE(bed_->Get().IsPlainFile(bed_->PlainFile()));
    EXPECT_FALSE(bed_->Get().IsPlainFile(bed_->Folder()));
    EXPECT_FALSE(bed_->Get().IsPlainFile(bed_->Missing()));
    EXPECT_FALSE(bed_->Get().IsPlainFile(u""));
}

// A path with blanks is started as the one program it names.
TEST_P(ProcessLauncherContract, StartsWholePath) {
    ASSERT_NO_THROW(bed_->Get().Start(bed_->Program(), show::kNormalFocus));
    EXPECT_TRUE(bed_->Ran(bed_->Program()));
}

// What cannot be started is reported with the path named; nothing is split off and tried instead.
TEST_P(ProcessLauncherContract, FailuresNameThePath) {
    for (const Text& path : {bed_->Missing(), bed_->Folder(), Text()}) {
        try {
            bed_->Get().Start(path, show::kNormalFocus);
            ADD_FAILURE() << "started: " << ToUtf8(path);
        } catch (const Error& error) {
            EXPECT_NE(error.Description().find(u"\"" + path + u"\""), Text::npos)
                << ToUtf8(path) << " -> " << error.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, ProcessLauncherContract, ::testing::ValuesIn(Sides()), contract::SideName());

}  // namespace
}  // namespace corvanta
