#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/identity.h"
#include "core/auto_start.h"
#include "core/output_pipeline.h"
#include "core/output_settings.h"
#include "core/serial_control.h"
#include "core/text_decoder.h"
#include "core/typing_queue.h"
#include "platform/ansi_code_page.h"
#include "platform/code_pages.h"
#include "platform/dialogs.h"
#include "platform/form_host.h"
#include "platform/popup_menu.h"
#include "platform/registry.h"
#include "platform/registry_watch.h"
#include "platform/settings_store.h"
#include "platform/timer.h"
#include "tray/TrayArea.h"

namespace corvanta {

// The items of the tray menu `Menu`, by id.
enum MenuItemId : int { mmPortSettinges = 1, AutoStart, mmLine, mmAbout, mmExit };

inline constexpr MenuItemDef kMenuItems[] = {
    {mmPortSettinges, u"CommPort Properties"},
    {AutoStart, u"Run at Start Windows"},
    {mmLine, u"-"},
    {mmAbout, u"About"},
    {mmExit, u"Exit"},
};

// What the tray menu's commands work with besides the form's own services.
struct TerminalMenuServices {
    PopupMenu& Menu;
    Dialogs& dialogs;
    Registry& registry;
    AutoStartService& auto_start;
    // The run-time's unload of this form: raises Form_Unload right away, and the message loop ends after the
    // current message.
    std::function<void()> unload;
};

// What shaping the typed text needs (prefix, suffix, line ends, control characters, encoding). Without it,
// text is typed as it comes, as with no output value set.
struct TerminalOutputServices {
    Timer& record_gap_timer;
    const CodePages& code_pages;
    RegistryWatch& watch;
    // Hands the settings that others carry out (key delay, key mode, control characters as themselves) on to
    // the typing side, at start and after every change.
    std::function<void(const OutputSettings&)> apply;
};

// The hidden main form: brings the port and the tray icon up, types every block the port receives into the
// focused window, offers the tray menu, and closes the port when it unloads. It owns nothing; the services
// outlive it.
class frmTerminal {
  public:
    frmTerminal(FormHost& form,
                SerialControl& comm,
                corvanta::TrayArea& tray,
                SettingsStore& settings,
                TypingQueue& queue,
                AnsiCodePage& ansi,
                TerminalMenuServices menu,
                TerminalOutputServices output);
    frmTerminal(const frmTerminal&) = delete;
    frmTerminal& operator=(const frmTerminal&) = delete;

    // Start-up. A port that cannot be configured or opened does not stop it: the port stays closed, the tray
    // icon still appears, and one message box tells the user why. An absent device is waited for.
    void Form_Load();

    // The relay: one read of Input, converted from the ANSI code page, queued in one piece. What the queue
    // cannot take yet is kept, and the port's bytes wait behind it until the queue has room again.
    void MSComm1_OnComm();

    // Closes the port; Cancel is left as it is, so the unload always goes ahead.
    void Form_Unload(int16_t& Cancel);

    // Pops the menu up at the cursor, whichever button was released, and runs the chosen item's command. While
    // a dialog is open the dialog comes to the front instead: its command is still waiting for it to close.
    void TrayArea_MouseUp(int16_t& Button);

    void mmPortSettinges_Click();
    void AutoStart_Click();
    void mmAbout_Click();
    // Removes the tray icon, then unloads the form, which closes the port; the process then ends by itself.
    void mmExit_Click();

    SerialControl& MSComm1;
    corvanta::TrayArea& TrayArea;
    PopupMenu& Menu;

  private:
    // The check mark of AutoStart follows what the registry holds.
    void RefreshAutoStartCheck();

    // One turn of the relay: the text the queue turned away, then one read of Input.
    void RelayOnce();
    // Reads the output values, hands them on and names the refused ones in a message box, unless the same ones
    // were named last time.
    void LoadOutputSettings();
    // The record gap has passed: the suffix of the open record is typed.
    void RecordGap_Timer();
    // Queues text behind whatever the queue turned away earlier; what does not fit waits in unqueued_.
    void QueueText(TextView text);

    // Applies the stored port values and opens the port; the description of the first failure, if any.
    std::optional<Text> OpenPortFromStore();

    FormHost& form_;
    SettingsStore& settings_;
    TypingQueue& queue_;
    AnsiCodePage& ansi_;
    Dialogs& dialogs_;
    Registry& registry_;
    AutoStartService& auto_start_;
    std::function<void()> unload_;
    // Bytes read whose conversion failed, tried again with the next read (a character split between reads is
    // held by the decoder).
    std::string unconverted_;
    bool conversion_failure_reported_ = false;
    // Converted text the queue had no room for; it goes before anything read later.
    Text unqueued_;
    bool relaying_ = false;
    bool relay_again_ = false;
    TerminalOutputServices output_services_;
    OutputPipeline output_;
    std::optional<std::vector<RefusedValue>> refused_output_values_;
};

}  // namespace corvanta
