#pragma once
// Start-up pieces: the application's hidden owner window (it owns every form and is never shown),
// and the guard that keeps one copy of the program per user desktop.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "win/ui.h"

namespace quenvix::core {
class SettingsStore;
}

namespace quenvix::win {

// The message every copy registers under the product name; a second copy posts it to the first.
extern UINT InstanceMessage;

// The application's own top-level window. It has no size and stays hidden; the settings window is
// owned by it, and carries its own taskbar button while it shows.
class AppWindow : public Window {
  public:
    AppWindow();
    void SetMainWindowHandle(HWND mainWindow) { mainWindow_ = mainWindow; }
    HWND MainWindowHandle() const { return mainWindow_; }
    // From now on a notice from a second copy brings the settings window to the front.
    void ListenForOtherCopies() { listening_ = true; }
    // What a second copy's notice does: the program shows its settings window, as --show does.
    void SetOnOtherCopy(std::function<void()> onOtherCopy) {
        onOtherCopy_ = std::move(onOtherCopy);
    }

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    HWND mainWindow_ = nullptr;
    bool listening_ = false;
    std::function<void()> onOtherCopy_;
};

// Marks this copy as running under `name`. In a second copy it tells the user, nudges the first
// copy and answers false: the caller then ends the process with exit code 0 without creating any
// window of its own. In the first copy `app` listens for such notices, and it answers true.
bool CheckSingleInstance(const std::wstring& name, AppWindow& app);

// This process's session id (0 when it cannot be had).
std::uint32_t CurrentSession();

// The value under the recovery section that holds this session's hidden windows: "Windows." and
// the session id. Each signed-in user session (fast user switching, a remote desktop beside the
// console) runs its own copy, and a copy must take back only what a copy of its own session left.
std::string RecoveryValueName();

}  // namespace quenvix::win
