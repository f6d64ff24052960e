#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <vector>

#include "common/text.h"
#include "platform/form_host.h"
#include "platform/win32/handles.h"

namespace corvanta::win32 {

// A place on a dialog's client area in twips: Left, Top, Width, Height.
struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

// One control of a dialog. Every control has its own id; buttons report theirs when clicked.
struct DialogControl {
    int id;
    const wchar_t* window_class;  // WC_BUTTONW, WC_STATICW, WC_COMBOBOXW
    const char16_t* caption;
    DWORD style;  // besides WS_CHILD | WS_VISIBLE
    TwipsRect place;
};

struct DialogLayout {
    const char16_t* title;
    int client_width;  // twips
    int client_height;
    std::vector<DialogControl> controls;  // in tab order
    int default_id;                       // the button Enter presses while no other button has the focus
    int focus_id;                         // the control with the focus when the dialog opens
};

// The work area of the screen the pointer is on, where a window opened from the tray belongs.
RECT WorkAreaUnderPointer();

// A modal dialog without an owner, laid out in twips scaled to the screen's dpi, in the system's message font.
// Enter presses the default button (or the push button that has the focus), Esc and closing the window report
// IDCANCEL. The window has a taskbar button: the program has no other visible window, so that is how a user
// finds an open dialog again once other windows have covered it.
class DialogWindow {
  public:
    DialogWindow(HINSTANCE instance, const DialogLayout& layout);
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;
    ~DialogWindow();

    HWND hWnd() const { return window_.Get(); }
    // The control with this id; throws corvanta::Error when there is none.
    HWND Item(int id) const;
    HFONT Font() const { return font_; }
    int PixelsX(int twips) const { return MulDiv(twips, dpi_x_, 1440); }
    int PixelsY(int twips) const { return MulDiv(twips, dpi_y_, 1440); }
    int DpiY() const { return dpi_y_; }

    // Routed from the dialog procedure, where errors end in ReportUnhandledError.
    std::function<void(int id)> OnCommand;  // a button clicked; IDCANCEL for Esc and for closing the window
    std::function<void(HDC)> OnPaint;       // drawing on the dialog's own surface, under the controls
    // Any other notification of a control (EN_CHANGE, CBN_SELCHANGE, ...), with the control's id.
    std::function<void(int id, int code)> OnNotify;

    // Keeps a font for as long as the dialog's controls live; returns its handle.
    HFONT KeepFont(UniqueFont font);
    void SetControlFont(int id, HFONT font);
    void SetTextColour(int id, COLORREF colour);
    // Widens a one-line label to its text in its font: the places were made for a narrower font than the
    // system's message font.
    void WidenToText(int id);
    // Gives a drop-down list this closed height and a list that shows `entries` entries when dropped.
    void FitDropDown(int id, int closed_height_twips, int entries);

    // Centres the window on the work area of the screen the pointer is on.
    void CentreOnScreen();

    // Calls Form_Load, shows the dialog and dispatches every message of the thread (other windows' posted
    // messages included) until the dialog unloads or the program is asked to quit.
    void ShowModal(const std::function<void()>& Form_Load);
    // Ends ShowModal once the current message has been handled.
    void Unload() { unloaded_ = true; }

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void CreateControls(HINSTANCE instance, const DialogLayout& layout);
    void FollowFocus();

    // Fonts first: they must outlive the controls that use them.
    UniqueFont owned_font_;
    std::vector<UniqueFont> kept_fonts_;
    HFONT font_ = nullptr;
    UniqueHwnd window_;
    int dpi_x_ = 96;
    int dpi_y_ = 96;
    int default_id_;
    int focus_id_;
    HWND last_focus_ = nullptr;
    bool unloaded_ = false;
    std::map<int, COLORREF> text_colours_;
};

// The dialog that is open now, or nullptr.
HWND OpenDialogWindow();
// Brings the open dialog (or the message box it is showing) to the front; false when no dialog is open.
bool BringOpenDialogToFront();

// The form host of a dialog: its message boxes are owned by the dialog, which they disable while open.
class DialogFormHost : public FormHost {
  public:
    DialogFormHost(HINSTANCE instance, DialogWindow& dialog) : instance_(instance), dialog_(dialog) {}

    PictureRef LoadResIcon(int id) override;
    PictureRef Icon() const override { return icon_; }
    void SetIcon(PictureRef icon) override;
    void Hide() override;
    int MsgBox(TextView prompt, uint32_t style, TextView title) override;

  private:
    HINSTANCE instance_;
    DialogWindow& dialog_;
    PictureRef icon_;
};

}  // namespace corvanta::win32
