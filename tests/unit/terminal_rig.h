#pragma once

// The main form over fakes of every service it uses, for the unit tests that drive it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/serial_settings.h"
#include "core/frmTerminal.h"
#include "core/record_journal.h"
#include "core/record_log.h"
#include "core/relay.h"
#include "core/request_scheduler.h"
#include "core/settings_reload.h"
#include "core/typing_queue.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_app_info.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_code_pages.h"
#include "fakes/fake_control_host.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_environment.h"
#include "fakes/fake_file_appender.h"
#include "fakes/fake_focus_window.h"
#include "fakes/fake_form_host.h"
#include "fakes/fake_keystroke_sender.h"
#include "fakes/fake_monitor_window.h"
#include "fakes/fake_popup_menu.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_registry_watch.h"
#include "fakes/fake_settings_store.h"
#include "fakes/fake_shell_notify.h"
#include "fakes/fake_system_hotkey.h"
#include "fakes/fake_timer.h"
#include "fakes/simulated_serial_control.h"

namespace corvanta::test {

using Stored = std::map<Text, Text>;  // key of the port section -> stored text

struct Rig {
    // Runs the message loop of the typing queue until nothing is pending.
    void DrainTyping() {
        for (int ticks = 0; typing_timer.Pending() && ticks < 100000; ++ticks) {
            typing_timer.Fire();
        }
    }

    explicit Rig(const Stored& stored = {}) {
        for (const auto& [key, value] : stored) {
            store.values[{u"Corvanta", u"Properties", key}] = value;
        }
        // As the composition root joins them: the log hears every row, every record ends a request's wait.
        journal.Attach(log);
        relay.SetOnRecord([this] { requests.RecordArrived(); });
    }

    FakeFormHost form;
    SimulatedSerialControl comm;
    FakeControlHost control_host;
    FakeShellNotify shell;
    FakeAnsiCodePage ansi;
    FakeSettingsStore store;
    FakeKeystrokeSender keys;
    FakeFocusWindow focus;
    FakeTimer typing_timer;
    // Reports go to the form's message boxes, as the program's do.
    std::function<void()> while_report_open;
    TypingQueue queue{keys, focus, typing_timer, [this](TextView message) {
                          form.MsgBox(message, msgbox::kOkOnly, u"Corvanta");
                          if (while_report_open) {
                              while_report_open();
                          }
                      }};
    FakePopupMenu menu;
    FakeDialogs dialogs;
    FakeMonitorWindow monitor;
    FakeRegistry registry;
    FakeAppInfo app;
    // The 32-bit view, where earlier 32-bit versions made the machine's entry; `registry` is the 64-bit one.
    FakeRegistry older_run_keys;
    AutoStartService auto_start{registry, &older_run_keys, ansi, app};
    FakeClock clock;
    RecordJournal journal;
    FakeFileAppender log_files;
    FakeTimer log_retry_timer;
    RecordLog log{log_files, log_retry_timer, [this](const Text& text) { Balloon(text); }};
    FakeTimer record_gap_timer;
    FakeCodePages code_pages;
    Relay relay{comm, queue, ansi, code_pages, record_gap_timer, clock, journal};
    FakeTimer request_interval_timer;
    FakeTimer reply_timer;
    FakeHotkeyBoard hotkey_board;
    FakeSystemHotkey hotkey{hotkey_board};
    RequestScheduler requests{{comm, request_interval_timer, reply_timer, hotkey,
                               [this](TextView text, BalloonIcon) { Balloon(text); },
                               [this](int16_t port) {
                                   journal.Add({clock.Now(), CommPortName(port), {}, {}, RecordStatus::kNoReply});
                               }}};
    FakeEnvironment environment;
    FakeRegistryWatch registry_watch;
    std::vector<OutputSettings> applied;  // what the relay was handed, in order
    SettingsReload values{registry,
                          {ansi, code_pages, environment},
                          registry_watch,
                          [this](const ProgramSettings& settings) {
                              applied.push_back(settings.output);
                              relay.SetSettings(settings.output);
                              log.SetPath(settings.output.log_file);
                              std::vector<RefusedValue> unused;
                              if (std::optional<Text> refused = requests.SetSettings(settings.request)) {
                                  unused.push_back({u"Hotkey", *refused});
                              }
                              return unused;
                          },
                          [this](TextView message) { form.MsgBox(message, msgbox::kOkOnly, u"Corvanta"); }};
    TrayArea tray{control_host, shell, ansi};
    frmTerminal terminal{form, comm, tray, store, relay, requests, values, Services()};

    // What the run-time's unload saw when it ran: the unload raises Form_Unload, as the Win32 form host does.
    struct Unload {
        bool done = false;
        size_t icons_in_tray = 0;
        bool port_open = false;
    } unload;

    TerminalMenuServices Services() {
        return {menu, dialogs, monitor, auto_start, [this] {
                    unload = {true, shell.icons.size(), comm.PortOpen()};
                    int16_t cancel = 0;
                    terminal.Form_Unload(cancel);
                }};
    }

    // A balloon over the tray icon, as the program shows one.
    void Balloon(TextView text) { tray.ShowBalloon(u"Corvanta", text, BalloonIcon::kWarning); }

    // The texts of the balloons the shell showed over the icon, oldest first.
    std::vector<std::string> Balloons() const {
        std::vector<std::string> texts;
        for (const auto& [key, icon] : shell.icons) {
            for (const corvanta::Balloon& balloon : icon.balloons) {
                texts.push_back(ToUtf8(balloon.text));
            }
        }
        return texts;
    }

    // The shell's callback for the tray icon, carrying a mouse message number.
    void TrayMouse(uint32_t message) {
        tray.UserControl_MouseMove(0, 0, static_cast<float>(message) * control_host.TwipsPerPixelX(), 0);
    }
};

}  // namespace corvanta::test
