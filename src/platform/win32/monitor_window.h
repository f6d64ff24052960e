#pragma once

#include <windows.h>

#include <memory>

#include "monitor/frmMonitor.h"
#include "platform/monitor_window.h"

namespace corvanta::win32 {

// Control ids of the Monitor, for tests that drive it.
namespace monitor_id {
constexpr int kRecordsLabel = 1201;
constexpr int kRecords = 1202;
constexpr int kCopy = 1203;
constexpr int kClear = 1204;
constexpr int kSendLabel = 1205;
constexpr int kSendText = 1206;
constexpr int kSend = 1207;
constexpr int kRequest = 1208;
constexpr int kStatus = 1209;
}  // namespace monitor_id

inline constexpr wchar_t kMonitorClassName[] = L"CorvantaMonitor";
inline constexpr char16_t kMonitorTitle[] = u"Corvanta Monitor";

class MonitorForm;

// The Monitor: a window of its own beside the user's work, resizable, scaled to the DPI of the screen it is on, in
// the system's message font. Enter in the Send box sends, Esc closes it. Its logic is frmMonitor over the services,
// which outlive this object; a closed Monitor keeps nothing of its rows, and the next one starts empty.
class Win32MonitorWindow : public MonitorWindow {
  public:
    Win32MonitorWindow(HINSTANCE instance, MonitorServices services);
    ~Win32MonitorWindow() override;
    Win32MonitorWindow(const Win32MonitorWindow&) = delete;
    Win32MonitorWindow& operator=(const Win32MonitorWindow&) = delete;

    bool IsOpen() const override;
    void Open() override;
    void BringToFront() override;

    // The open Monitor's window, or nullptr.
    HWND hWnd() const;

  private:
    HINSTANCE instance_;
    MonitorServices services_;
    // The last Monitor opened; once closed it holds no window, font or row, and goes at the next opening.
    std::unique_ptr<MonitorForm> form_;
};

}  // namespace corvanta::win32
