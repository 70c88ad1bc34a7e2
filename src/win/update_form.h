#pragma once
// The update window: the result of an update check (version and release notes)
// with "Download" and "Close", and the check itself wired to WinHTTP, the local
// date and the question dialog.
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/update.h"
#include "win/ui.h"

namespace quenvix::win {

class TCheckUpdate : public ModalDialog, public core::UpdateUi {
  public:
    TCheckUpdate(HWND owner, core::TMyRegistry& settings) : owner_(owner), settings_(settings) {}

    // core::UpdateUi
    bool ConfirmAutoCheck() override;
    void ShowUpdate(const std::string& caption, const std::vector<std::string>& memo) override;

    // Builds the window without showing it; Run shows it modally over the owner. ShowUpdate
    // does both.
    void Create(const std::string& caption, const std::vector<std::string>& memo);
    int Run() { return RunModal(owner_); }
    HWND Memo1() const { return memo1_; }

    // "Download": opens the stored download address when it is a web address.
    void SpeedButton1Click();
    // "Close".
    void SpeedButton2Click();

  protected:
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    HWND owner_;
    core::TMyRegistry& settings_;
    HWND memo1_ = nullptr;
};

// Today's local date for the update check.
class LocalClock : public core::Clock {
  public:
    int Today() override;
};

// The main window's "Check update" (manual) and its start-up timer (automatic):
// the whole check; true when the update window was shown. Settings errors other
// than an unreadable last-check date reach the caller.
bool CheckForUpdate(HWND owner, core::TMyRegistry& settings, bool manual);

}  // namespace quenvix::win
