#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/identity.h"
#include "common/serial_settings.h"
#include "core/auto_start.h"
#include "core/command_line.h"
#include "core/frmTerminal.h"
#include "core/record_journal.h"
#include "core/record_log.h"
#include "core/relay.h"
#include "core/request_scheduler.h"
#include "core/serial_session.h"
#include "core/settings_reload.h"
#include "core/start_plan.h"
#include "core/typing_queue.h"
#include "platform/win32/instance_lock.h"
#include "platform/win32/monitor_window.h"
#include "platform/win32/start_place.h"
#include "platform/win32/unhandled_error.h"
#include "platform/win32/win32_ansi_code_page.h"
#include "platform/win32/win32_app_info.h"
#include "platform/win32/win32_clipboard.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_code_pages.h"
#include "platform/win32/win32_control_host.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_environment.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_file_appender.h"
#include "platform/win32/win32_focus_window.h"
#include "platform/win32/win32_form_host.h"
#include "platform/win32/win32_keystroke_sender.h"
#include "platform/win32/win32_popup_menu.h"
#include "platform/win32/win32_process_launcher.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_registry_watch.h"
#include "platform/win32/win32_serial_device.h"
#include "platform/win32/win32_settings_store.h"
#include "platform/win32/win32_shell_notify.h"
#include "platform/win32/win32_spooler.h"
#include "platform/win32/win32_system_hotkey.h"
#include "platform/win32/win32_timer.h"
#include "tray/TrayArea.h"

namespace corvanta::win32 {
namespace {

// How long a second start waits for a copy that is shutting down.
constexpr DWORD kEndingInstanceWaitMs = 3000;

// How long /exit waits for the running copy to close its port and end.
constexpr DWORD kExitWaitMs = 10000;

std::vector<Text> CommandLineArguments() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr) {
        ThrowLastError(u"CommandLineToArgvW");
    }
    const std::unique_ptr<LPWSTR, decltype(&LocalFree)> owner(argv, &LocalFree);
    std::vector<Text> arguments;
    for (int i = 1; i < count; ++i) {
        arguments.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    }
    return arguments;
}

// Whether Windows keeps a second, 32-bit view of HKEY_LOCAL_MACHINE\Software: 64-bit Windows does. Should the
// question fail, the program keeps to the one view, which leaves an older entry there but never removes its own.
bool HasOlder32BitView() {
#ifdef _WIN64
    return true;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

// The auto-start entries in the 64-bit view, which the 32-bit program shares with the 64-bit one and both
// packages; the 32-bit view only for the entries earlier 32-bit versions made.
struct AutoStartRegistry {
    Win32Registry run_keys{RegistryView::k64Bit};
    Win32Registry older_run_keys{RegistryView::k32Bit};
    Registry* Older() { return HasOlder32BitView() ? &older_run_keys : nullptr; }
};

// The installer's switches: no window, no message box (they run silently under msiexec /qn); the exit code is
// 0 on success and 1 when the work could not be done.
int RunSwitch(StartCommand command) {
    if (command == StartCommand::kExit) {
        return CloseRunningForms(kExitWaitMs) ? 0 : 1;
    }
    AutoStartRegistry registry;
    Win32AnsiCodePage ansi;
    const Win32AppInfo app;
    AutoStartService auto_start(registry.run_keys, registry.Older(), ansi, app);
    return RunAutoStartSwitch(command, auto_start);
}

// For a switch: no box of the system's or the C runtime's either, which would hold up the installer as one of
// ours would. Not the critical-error handler's (a drive without its disk), Windows Error Reporting's after a crash,
// nor the runtime's "abnormal termination" box; std::terminate ends the switch with exit code 1 instead.
void SilenceSystemBoxes() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    _set_error_mode(_OUT_TO_STDERR);
    std::set_terminate([] { std::_Exit(1); });
}

int Run(HINSTANCE instance) {
    const std::optional<StartCommand> command = ParseStartCommand(CommandLineArguments());
    if (!command) {
        const Text caption(kAppTitle);
        const Text usage(kStartCommandUsage);
        MessageBoxW(nullptr, Wide(usage), Wide(caption), MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
        return 2;
    }
    const StartPlan plan = PlanStart(*command, CurrentStartPlace());
    if (!plan.proceed) {
        // No message box: nobody sees session 0's desktop, and the installer that started this waits for no one.
        return 1;
    }
    if (*command != StartCommand::kRun) {
        return RunSwitch(*command);
    }

    const InstanceLock lock(L"Local\\Corvanta.Running", kEndingInstanceWaitMs);
    if (!lock.Acquired()) {
        const Text caption(kAppTitle);
        MessageBoxW(nullptr,
                    L"Corvanta is already running. Its icon is in the notification area of the taskbar: click it "
                    L"for the port properties and the other commands.",
                    Wide(caption), MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
        return 0;
    }
    if (plan.register_restart) {
        try {
            RegisterForRestart();
        } catch (const std::exception& error) {
            // The program works without it; only an upgrade would leave it closed until the next logon.
            ReportUnhandledError(error);
        }
    }

    // Declaration order is teardown order reversed: the form and its services outlive the tray control, whose
    // last delete request goes out before the windows are destroyed.
    Win32AnsiCodePage ansi;
    Win32SettingsStore settings;
    Win32KeystrokeSender keys;
    Win32FocusWindow focus;
    Win32ShellNotify shell;
    Win32Registry registry;
    Win32Spooler spooler;
    Win32ProcessLauncher launcher;
    Win32AppInfo app;
    AutoStartRegistry auto_start_registry;
    AutoStartService auto_start(auto_start_registry.run_keys, auto_start_registry.Older(), ansi, app);
    Win32SerialDevice serial_device;
    Win32Timer retry_timer;
    SerialSession comm(serial_device, retry_timer);
    Win32CodePages code_pages;
    Win32Environment environment;
    Win32Dialogs dialogs(instance, comm, settings, spooler, registry, ansi, launcher, {ansi, code_pages, environment});
    Win32FormHost form(instance);
    Win32PopupMenu menu(form.hWnd());
    Win32ControlHost control_host(form.hWnd());
    TrayArea tray(control_host, shell, ansi);
    control_host.Attach(tray);
    // The program's one report channel: a message box of the form.
    const auto tell = [&form](TextView message) {
        form.MsgBox(message, msgbox::kOkOnly | msgbox::kIconExclamation, kAppTitle);
    };
    // Received text waits here when it comes faster than the focused window takes keystrokes, or while the
    // system refuses them or the focus is where keys must not go.
    Win32Timer typing_timer;
    TypingQueue queue(keys, focus, typing_timer, tell);
    // Every record's row, for the log and anyone else who listens; the log's trouble is told in a balloon, so that
    // nobody at a counter has to close a box.
    const auto balloon = [&tray](TextView text, BalloonIcon icon) { tray.ShowBalloon(kAppTitle, text, icon); };
    Win32Clock clock;
    RecordJournal journal;
    Win32FileAppender log_files;
    Win32Timer log_retry_timer;
    RecordLog log(log_files, log_retry_timer, [&balloon](const Text& text) { balloon(text, BalloonIcon::kWarning); });
    journal.Attach(log);
    // The port's bytes through the output pipeline into the queue, each record with its row.
    Win32Timer record_gap_timer;
    Relay relay(comm, queue, ansi, code_pages, record_gap_timer, clock, journal);
    // Requests for a reading: the menu item, the hotkey and the interval timer; any record ends the wait.
    Win32Timer request_interval_timer;
    Win32Timer reply_timer;
    Win32SystemHotkey hotkey;
    const auto no_reply = [&journal, &clock](int16_t port) {
        journal.Add({clock.Now(), CommPortName(port), {}, {}, RecordStatus::kNoReply});
    };
    RequestScheduler requests({comm, request_interval_timer, reply_timer, hotkey, balloon, no_reply});
    relay.SetOnRecord([&requests] { requests.RecordArrived(); });
    // The values reach each of these as they change.
    Win32RegistryWatch registry_watch;
    SettingsReload reload(
        registry, {ansi, code_pages, environment}, registry_watch,
        [&relay, &log, &requests](const ProgramSettings& values) {
            relay.SetSettings(values.output);
            log.SetPath(values.output.log_file);
            std::vector<RefusedValue> unused;
            if (std::optional<Text> hotkey_refused = requests.SetSettings(values.request)) {
                unused.push_back({u"Hotkey", std::move(*hotkey_refused)});
            }
            return unused;
        },
        tell);
    // The Monitor shows the journal's rows while it is open; its Request button asks as the menu does.
    Win32Clipboard clipboard(form.hWnd());
    Win32MonitorWindow monitor(
        instance, {journal,
                   comm,
                   clipboard,
                   [&relay] { return relay.OutputCodePage(); },
                   {[&requests] { return requests.CanRequest(); }, [&requests] { requests.RequestReading(); }}});
    frmTerminal terminal(form, comm, tray, settings, relay, requests, reload,
                         {menu, dialogs, monitor, auto_start, [&form] { form.Unload(); }});
    // Every way the form unloads (Exit, WM_CLOSE from an installer, the session's end) closes the port and
    // takes the icon away before the process can be ended.
    form.OnUnload = [&terminal, &tray](int16_t& Cancel) {
        terminal.Form_Unload(Cancel);
        if (Cancel == 0) {
            tray.UserControl_Terminate();
        }
    };

    int exit_code = 0;
    try {
        terminal.Form_Load();
        exit_code = form.RunMessageLoop();
    } catch (const std::exception& error) {
        // The form did not load, so no tray icon may be left behind to stand for a program that is not there.
        ReportUnhandledError(error);
        exit_code = 1;
        int16_t cancel = 0;
        try {
            terminal.Form_Unload(cancel);
        } catch (const std::exception& unload_error) {
            ReportUnhandledError(unload_error);
        }
    }
    tray.UserControl_Terminate();
    return exit_code;
}

}  // namespace
}  // namespace corvanta::win32

#ifdef __GLIBCXX__
// libstdc++'s default terminate handler prints the demangled type of the exception, which links in the whole
// demangler (about 70 KB). A GUI program has nowhere to print it: aborting is all that is left to do.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    const corvanta::FailureReport report = corvanta::FailureReportFor(arguments != nullptr ? arguments : "");
    if (report == corvanta::FailureReport::kExitCode) {
        corvanta::win32::SilenceSystemBoxes();
    }
    const auto failed = [report](const std::exception& error) {
        if (report == corvanta::FailureReport::kMessageBox) {
            corvanta::win32::ReportUnhandledError(error);
        }
        return 1;
    };
    // DLLs come from System32 only, never from the folder the program was started in or the current directory.
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return failed(corvanta::win32::SystemError(u"SetDefaultDllDirectories", GetLastError()));
    }
    try {
        return corvanta::win32::Run(instance);
    } catch (const std::exception& error) {
        return failed(error);
    }
}
