#include "platform/win32/win32_process_launcher.h"

#include <windows.h>

#include "platform/win32/handles.h"
#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

bool Win32ProcessLauncher::IsPlainFile(TextView path) const {
    const Text path_z(path);
    const DWORD attributes = GetFileAttributesW(Wide(path_z));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void Win32ProcessLauncher::Start(TextView program_path, int show_command) {
    const Text application(program_path);
    Text operation = u"Starting \"" + application + u"\"";
    if (application.empty()) {
        throw SystemError(operation, ERROR_FILE_NOT_FOUND);
    }
    // Naming the program in lpApplicationName keeps Windows from guessing where an unquoted path ends
    // ("C:\Program Files\x.exe" would first try "C:\Program.exe"); the command line repeats it quoted, as
    // programs expect to find themselves in argv[0].
    Text command_line = u"\"" + application + u"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show_command);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(Wide(application), reinterpret_cast<wchar_t*>(command_line.data()), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &info)) {
        ThrowLastError(operation);
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
}

}  // namespace corvanta::win32
