#include "tray/TrayArea.h"

#include <cstring>
#include <utility>

namespace corvanta {

void EncodeTip(const AnsiCodePage& ansi, TextView text, char (&szTip)[64]) {
    const std::string bytes = ansi.ToAnsi(text);
    // Keep whole characters only: a lead byte left without its trail byte would swallow the terminator.
    size_t kept = 0;
    while (kept < bytes.size()) {
        const size_t length =
            ansi.IsLeadByte(static_cast<unsigned char>(bytes[kept])) && kept + 1 < bytes.size() ? 2 : 1;
        if (kept + length > sizeof(szTip) - 1) {
            break;
        }
        kept += length;
    }
    std::memset(szTip, ' ', sizeof(szTip));
    std::memcpy(szTip, bytes.data(), kept);
    szTip[kept] = '\0';
}

namespace {

// The text whole when it fits; otherwise cut to leave room for an ellipsis, never between the two halves of a
// surrogate pair.
Text FitBalloonText(TextView text, size_t units) {
    if (text.size() <= units) {
        return Text(text);
    }
    size_t kept = units - 1;
    if (kept > 0 && text[kept - 1] >= 0xD800 && text[kept - 1] <= 0xDBFF) {
        --kept;
    }
    return Text(text.substr(0, kept)) + u"\u2026";
}

}  // namespace

TrayArea::TrayArea(ControlHost& host, ShellNotify& shell, AnsiCodePage& ansi)
    : host_(host), shell_(shell), ansi_(ansi) {}

// The shell answers the delete request with a flag, never an exception, and the answer is ignored anyway.
TrayArea::~TrayArea() {
    UserControl_Terminate();
}

uint32_t TrayArea::DrawId() {
    std::uniform_int_distribution<uint32_t> id(1, 65535);
    return id(random_);
}

// Every request below ignores the shell's answer: a refused request is not undone and not reported, and the
// fields keep what was set before it (a tip set before the first add is sent again by the add).

void TrayArea::SetVisible(bool New_Visible) {
    if (New_Visible == m_Visible) {
        return;
    }
    m_Visible = New_Visible;
    if (New_Visible) {
        // In a form designer the flag is kept but nothing goes to the tray.
        if (host_.AmbientUserMode()) {
            AddIcon();
        }
    } else {
        shell_.NotifyIcon(notify::kDelete, m_NotifyData);
    }
    host_.PropertyChanged(u"Visible");
}

void TrayArea::AddIcon() {
    m_NotifyData.cbSize = sizeof(NotifyIconData);
    m_NotifyData.hWnd = host_.hWnd();
    m_NotifyData.uID = DrawId();
    m_NotifyData.uFlags = notify::kFlagMessage;
    if (m_Icon) {
        m_NotifyData.uFlags |= notify::kFlagIcon;
        m_NotifyData.hIcon = m_Icon->Handle();
    }
    if (!m_ToolTip.empty()) {
        m_NotifyData.uFlags |= notify::kFlagTip;
        EncodeTip(ansi_, m_ToolTip, m_NotifyData.szTip);
    }
    m_NotifyData.uCallbackMessage = kTrayCallbackMessage;
    shell_.NotifyIcon(notify::kAdd, m_NotifyData);
}

bool TrayArea::ShowBalloon(TextView title, TextView text, BalloonIcon icon) {
    // The pair of the icon as last added: after Explorer restarts, the re-added icon's.
    if (!m_Visible || terminated_ || m_NotifyData.cbSize == 0 || !host_.AmbientUserMode()) {
        return false;
    }
    Balloon balloon;
    balloon.hWnd = m_NotifyData.hWnd;
    balloon.uID = m_NotifyData.uID;
    balloon.title = FitBalloonText(title, notify::kBalloonTitleUnits);
    balloon.text = FitBalloonText(text, notify::kBalloonTextUnits);
    balloon.icon = icon;
    return shell_.ShowBalloon(balloon);
}

void TrayArea::SetIcon(PictureRef New_Icon) {
    m_Icon = std::move(New_Icon);
    if (!m_Icon) {
        SetVisible(false);
    } else if (m_Visible) {
        m_NotifyData.uFlags = notify::kFlagIcon;
        m_NotifyData.hIcon = m_Icon->Handle();
        shell_.NotifyIcon(notify::kModify, m_NotifyData);
    }
    host_.PropertyChanged(u"Icon");
}

void TrayArea::SetToolTip(TextView New_ToolTip) {
    m_ToolTip = TrimBlanks(New_ToolTip);
    // Sent whatever the state: before the first add it names window 0, identifier 0 and matches no icon.
    m_NotifyData.uFlags = notify::kFlagTip;
    EncodeTip(ansi_, m_ToolTip, m_NotifyData.szTip);
    shell_.NotifyIcon(notify::kModify, m_NotifyData);
    host_.PropertyChanged(u"ToolTip");
}

void TrayArea::UserControl_InitProperties() {
    m_Icon = host_.LoadEmptyPicture();
    m_ToolTip.clear();
    m_Visible = false;
}

void TrayArea::UserControl_ReadProperties(PropertyBag& PropBag) {
    // Straight into the fields: a saved "Visible" of true leaves the flag set with no icon in the tray.
    m_Icon = PropBag.ReadPicture(u"Icon", nullptr);
    m_ToolTip = PropBag.ReadText(u"ToolTip", u"");
    m_Visible = PropBag.ReadBool(u"Visible", false);
}

void TrayArea::UserControl_WriteProperties(PropertyBag& PropBag) {
    PropBag.WritePicture(u"Icon", m_Icon, nullptr);
    PropBag.WriteText(u"ToolTip", m_ToolTip, u"");
    PropBag.WriteBool(u"Visible", m_Visible, false);
}

void TrayArea::UserControl_Resize() {
    if (InResize) {
        return;
    }
    // Each size assignment below makes the host call this handler again; the flag ends those inner calls. It is
    // cleared on a failure too, or the control would never snap back again.
    struct ClearOnExit {
        bool& flag;
        ~ClearOnExit() { flag = false; }
    } clear{InResize};
    InResize = true;
    host_.SetHeight(host_.Image1Height());
    host_.SetWidth(host_.Image1Width());
}

void TrayArea::UserControl_MouseMove(int16_t /*Button*/, int16_t /*Shift*/, float X, float /*Y*/) {
    // The shell's callback is the mouse-move message itself, with the mouse message number where the x
    // coordinate belongs; the host has already scaled it to twips. Only an exact match raises an event.
    const auto q = static_cast<float>(static_cast<double>(X) / static_cast<double>(host_.TwipsPerPixelX()));

    enum class Kind { kMove, kDown, kUp, kDblClick };
    static constexpr struct {
        float q;
        Kind kind;
        int16_t button;
    } kRows[] = {
        {512.0f, Kind::kMove, 0}, {513.0f, Kind::kDown, 1}, {514.0f, Kind::kUp, 1},       {515.0f, Kind::kDblClick, 0},
        {516.0f, Kind::kDown, 2}, {517.0f, Kind::kUp, 2},   {518.0f, Kind::kDblClick, 0},
    };
    for (const auto& row : kRows) {
        if (q != row.q) {
            continue;
        }
        int16_t button = row.button;
        switch (row.kind) {
            case Kind::kMove:
                if (MouseMove) {
                    MouseMove();
                }
                break;
            case Kind::kDown:
                if (MouseDown) {
                    MouseDown(button);
                }
                break;
            case Kind::kUp:
                if (MouseUp) {
                    MouseUp(button);
                }
                break;
            case Kind::kDblClick:
                if (DblClick) {
                    DblClick();
                }
                break;
        }
        return;
    }
}

void TrayArea::UserControl_Terminate() {
    if (terminated_) {
        return;
    }
    terminated_ = true;
    // Unconditional: also when nothing was ever added, and after a hide has already deleted the icon.
    shell_.NotifyIcon(notify::kDelete, m_NotifyData);
}

void TrayArea::OnTaskbarCreated() {
    // Only an icon this instance has asked for: a flag loaded from saved data without any add stays iconless.
    if (!m_Visible || terminated_ || m_NotifyData.cbSize == 0 || !host_.AmbientUserMode()) {
        return;
    }
    // The broadcast may also come while the old icon is still there (a second shell, a stray sender): take the
    // old pair away first, so the fresh add never leaves the user with two icons.
    shell_.NotifyIcon(notify::kDelete, m_NotifyData);
    AddIcon();
}

}  // namespace corvanta
