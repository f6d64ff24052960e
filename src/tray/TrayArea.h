#pragma once

#include <cstdint>
#include <functional>
#include <random>

#include "common/text.h"
#include "platform/ansi_code_page.h"
#include "platform/form_host.h"
#include "platform/shell_notify.h"

namespace corvanta {

// The shell's tray callback message: the mouse message number arrives in lParam of this message.
inline constexpr uint32_t kTrayCallbackMessage = 512;

// The ANSI tip as the shell's 64-byte szTip gets it: the text cut to at most 63 bytes on a character boundary,
// one NUL, then blanks to the end.
void EncodeTip(const AnsiCodePage& ansi, TextView text, char (&szTip)[64]);

// One icon in the taskbar notification area. The hosting form sets Icon, ToolTip and Visible; the shell's mouse
// notifications come back through the host as UserControl_MouseMove and are raised as the four events.
//
// Lifetime: the shell service must outlive the control. UserControl_Terminate sends the control's last delete
// request and runs once per instance: when the host calls it, or else from the destructor. The destructor never
// touches the host, so the host may go first.
class TrayArea : public ControlEvents {
  public:
    TrayArea(ControlHost& host, ShellNotify& shell, AnsiCodePage& ansi);
    TrayArea(const TrayArea&) = delete;
    TrayArea& operator=(const TrayArea&) = delete;
    ~TrayArea() override;

    PictureRef Icon() const { return m_Icon; }
    void SetIcon(PictureRef New_Icon);

    Text ToolTip() const { return m_ToolTip; }
    void SetToolTip(TextView New_ToolTip);

    bool Visible() const { return m_Visible; }
    void SetVisible(bool New_Visible);

    // A balloon over the shown icon, which keeps its picture and tip; a title or text too long for the shell is
    // cut with an ellipsis. False when no icon is shown (hidden, not added yet, or refused by the shell).
    bool ShowBalloon(TextView title, TextView text, BalloonIcon icon);

    // Events. Button is 1 (left) or 2 (right); it refers to a temporary, so a handler's change is lost.
    std::function<void()> MouseMove;
    std::function<void(int16_t& Button)> MouseDown;
    std::function<void(int16_t& Button)> MouseUp;
    // Raised when a mouse button is pressed and released twice in quick succession over the icon (either button).
    std::function<void()> DblClick;

    // Handlers the host calls.
    void UserControl_InitProperties();
    void UserControl_ReadProperties(PropertyBag& PropBag) override;
    void UserControl_WriteProperties(PropertyBag& PropBag);
    void UserControl_Resize() override;
    void UserControl_MouseMove(int16_t Button, int16_t Shift, float X, float Y) override;
    void UserControl_Terminate();

    // The shell's "TaskbarCreated" broadcast: Explorer (re)started and holds none of the old icons. A shown icon
    // is added afresh, which also completes an add that failed because the taskbar was not up yet at logon.
    void OnTaskbarCreated() override;

    // The request record as the shell last saw it (or will see it with the next request).
    const NotifyIconData& NotifyData() const { return m_NotifyData; }

  private:
    uint32_t DrawId();
    void AddIcon();

    ControlHost& host_;
    ShellNotify& shell_;
    AnsiCodePage& ansi_;
    // Never seeded: every run draws the same sequence of identifiers.
    std::minstd_rand random_;
    bool InResize = false;
    bool terminated_ = false;

    NotifyIconData m_NotifyData{};
    bool m_Visible = false;
    Text m_ToolTip;
    PictureRef m_Icon;
};

}  // namespace corvanta
