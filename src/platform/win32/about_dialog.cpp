#include "platform/win32/about_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

#include "about/frmAbout_logic.h"
#include "common/identity.h"
#include "corvanta_publisher.h"
#include "corvanta_version.h"
#include "platform/win32/dialog_window.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_error.h"
#include "resource.h"

namespace corvanta::win32 {

namespace {

namespace id = about_id;

// The licences' full texts travel with the program in both packages, beside Corvanta.exe.
constexpr char16_t kDisclaimer[] =
    u"Corvanta is protected by copyright law. You may copy, modify and distribute it only as the MIT License in "
    u"LICENSE.txt permits, and the PCRE2 library it contains only as its BSD License in THIRD-PARTY-NOTICES.txt "
    u"permits. Any other reproduction or distribution is prohibited.";

constexpr BYTE kArabicCharset = 178;
constexpr TwipsRect kPicture{120, 75, 1515, 1710};

DialogLayout Layout() {
    constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
    constexpr TwipsRect kCommentPlaces[] = {
        {1965, 885, 4335, 195}, {1950, 1170, 2025, 195}, {1950, 1395, 4335, 195}, {1950, 1620, 2025, 195}};
    // Who publishes the program under which licence, and the library whose BSD licence asks for its copyright
    // notice wherever the program goes.
    constexpr const char16_t* kComments[] = {u"" CORVANTA_PUBLISHER, u"MIT License",
                                             u"PCRE2 \u00A9 University of Cambridge", u"BSD License"};
    auto comment = [&](int index) {
        return DialogControl{id::kComment0 + index, WC_STATICW, kComments[index], kLabel, kCommentPlaces[index]};
    };
    return DialogLayout{
        u"",
        6960,
        3030,
        {
            {id::kOk, WC_BUTTONW, u"&Ok", BS_DEFPUSHBUTTON | WS_TABSTOP, {5430, 2115, 1365, 345}},
            {id::kDisclaimer, WC_STATICW, kDisclaimer, kLabel, {195, 2130, 5025, 915}},
            {id::kTitle, WC_STATICW, u"", kLabel, {1950, 75, 4785, 555}},
            {id::kVersion, WC_STATICW, u"Version " CORVANTA_VERSION_WIDE, kLabel, {1935, 615, 4335, 225}},
            comment(3),
            comment(1),
            comment(2),
            comment(0),
            {id::kSysInfo, WC_BUTTONW, u"&System Info...", BS_PUSHBUTTON | WS_TABSTOP, {5430, 2520, 1365, 345}},
        },
        id::kOk,
        id::kOk,
    };
}

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FaceInstalled(HWND window, const wchar_t* face, BYTE charset) {
    const ScopedGetDC dc(window);
    if (dc.Get() == nullptr) {
        return false;
    }
    LOGFONTW query{};
    query.lfCharSet = charset;
    wcsncpy(query.lfFaceName, face, LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExW(dc.Get(), &query, &NoteFound, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

// The named face at this size, in the character set when the face has it. For a face that is not installed
// the font mapper would pick an arbitrary one, possibly without Latin letters: the dialog's own face is used.
UniqueFont NamedFont(const DialogWindow& dialog, const wchar_t* face, int centipoints, LONG weight, BYTE charset) {
    LOGFONTW font{};
    GetObjectW(dialog.Font(), sizeof(font), &font);
    font.lfHeight = -MulDiv(centipoints, dialog.DpiY(), 7200);
    font.lfWidth = 0;
    font.lfWeight = weight;
    font.lfItalic = FALSE;
    font.lfUnderline = FALSE;
    if (FaceInstalled(dialog.hWnd(), face, charset)) {
        font.lfCharSet = charset;
        wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    } else if (FaceInstalled(dialog.hWnd(), face, DEFAULT_CHARSET)) {
        font.lfCharSet = DEFAULT_CHARSET;
        wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    }
    return UniqueFont(CreateFontIndirectW(&font));
}

// The dialog's font, or a smaller size of it when the system's message font is too large for the whole notice
// to fit above the dialog's bottom edge (it was written for a small font); the label runs to that edge.
UniqueFont NoticeFont(const DialogWindow& dialog, HWND label) {
    LOGFONTW font{};
    GetObjectW(dialog.Font(), sizeof(font), &font);
    RECT box{};
    GetWindowRect(label, &box);
    MapWindowPoints(nullptr, dialog.hWnd(), reinterpret_cast<POINT*>(&box), 2);
    RECT client{};
    GetClientRect(dialog.hWnd(), &client);
    const int room = client.bottom - box.top;
    SetWindowPos(label, nullptr, 0, 0, box.right - box.left, room, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    UniqueFont fitting;
    const ScopedGetDC dc(label);
    const LONG largest = font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
    for (LONG height = largest; height >= largest * 3 / 4; --height) {
        font.lfHeight = -height;
        fitting.Reset(CreateFontIndirectW(&font));
        if (dc.Get() == nullptr || fitting.Get() == nullptr) {
            break;
        }
        const ScopedSelectObject selected(dc.Get(), fitting.Get());
        RECT needed{0, 0, box.right - box.left, 0};
        DrawTextW(dc.Get(), reinterpret_cast<const wchar_t*>(kDisclaimer), -1, &needed,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        if (needed.bottom <= room) {
            break;
        }
    }
    return fitting;
}

void DrawPicture(HDC dc, HBITMAP picture, RECT box) {
    BITMAP info{};
    const UniqueDc source(CreateCompatibleDC(dc));
    if (!source.Valid() || GetObjectW(picture, sizeof(info), &info) == 0) {
        return;
    }
    const ScopedSelectObject selected(source.Get(), picture);
    // HALFTONE averages the pixels a shrunk picture drops; the mode wants the brush origin set after it.
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, source.Get(), 0, 0, info.bmWidth,
               info.bmHeight, SRCCOPY);
}

}  // namespace

void ShowAboutDialog(HINSTANCE instance, Registry& reg, const AnsiCodePage& ansi, ProcessLauncher& launcher) {
    if (BringOpenDialogToFront()) {
        return;
    }
    // Missing only where the program's resources are not linked in (a test): the box then stays empty.
    const UniqueBitmap picture(
        static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(IDB_ABOUT), IMAGE_BITMAP, 0, 0, 0)));
    DialogWindow dialog(instance, Layout());
    dialog.SetControlFont(id::kTitle,
                          dialog.KeepFont(NamedFont(dialog, L"Times New Roman", 2175, FW_NORMAL, kArabicCharset)));
    HFONT comment_font = dialog.KeepFont(NamedFont(dialog, L"MS Sans Serif", 825, FW_BOLD, kArabicCharset));
    for (int index = 0; index < 4; ++index) {
        dialog.SetControlFont(id::kComment0 + index, comment_font);
    }
    if (HFONT notice_font = dialog.KeepFont(NoticeFont(dialog, dialog.Item(id::kDisclaimer)))) {
        dialog.SetControlFont(id::kDisclaimer, notice_font);
    }
    for (int index = 0; index < 4; ++index) {
        dialog.WidenToText(id::kComment0 + index);
    }
    // The company line keeps the default static colour, which is the window-text colour.
    dialog.SetTextColour(id::kTitle, RGB(0, 0, 0));
    dialog.SetTextColour(id::kDisclaimer, RGB(0, 0, 0));

    dialog.OnPaint = [&dialog, &picture](HDC dc) {
        if (picture.Get() != nullptr) {
            DrawPicture(
                dc, picture.Get(),
                RECT{dialog.PixelsX(kPicture.left), dialog.PixelsY(kPicture.top),
                     dialog.PixelsX(kPicture.left + kPicture.width), dialog.PixelsY(kPicture.top + kPicture.height)});
        }
        // An etched separator: a grey line over a two-pixel white one, both running out at the right edge.
        RECT client{};
        GetClientRect(dialog.hWnd(), &client);
        const int pixel = std::max(1, MulDiv(1, dialog.DpiY(), 96));
        const RECT grey{dialog.PixelsX(90), dialog.PixelsY(1965), client.right, dialog.PixelsY(1965) + pixel};
        const RECT white{dialog.PixelsX(105), dialog.PixelsY(1980), client.right, dialog.PixelsY(1980) + 2 * pixel};
        const UniqueBrush grey_brush(CreateSolidBrush(RGB(0x80, 0x80, 0x80)));
        FillRect(dc, &grey, grey_brush.Get());
        FillRect(dc, &white, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    };

    DialogFormHost host(instance, dialog);
    frmAbout about(host, reg, ansi, launcher);
    auto BtnOK_Click = [&dialog] { dialog.Unload(); };
    dialog.OnCommand = [&](int command) {
        // Esc and closing the window answer as BtnOK, the dialog's cancel button.
        if (command == id::kOk || command == IDCANCEL) {
            BtnOK_Click();
        } else if (command == id::kSysInfo) {
            about.BtnSysInfo_Click();
        }
    };
    dialog.ShowModal([&] {
        // Form_Load
        dialog.CentreOnScreen();
        const Text title(kAppTitle);
        SetDlgItemTextW(dialog.hWnd(), id::kTitle, Wide(title));
    });
}

}  // namespace corvanta::win32
