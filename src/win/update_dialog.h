#pragma once
// The update window: the result of an update check (version and release notes)
// with "Download" and "Close", and the check itself wired to WinHTTP on a worker
// thread, the local date and the question dialog.
#include <memory>
#include <string>
#include <vector>

#include "core/settings_store.h"
#include "core/update.h"
#include "win/http.h"
#include "win/ui.h"

namespace quenvix::win {

class UpdateDialog : public ModalDialog, public core::UpdateUi {
  public:
    UpdateDialog(HWND owner, core::SettingsStore& settings) : owner_(owner), settings_(settings) {}

    // core::UpdateUi
    bool ConfirmAutoCheck() override;
    void ShowUpdate(const std::string& caption, const std::vector<std::string>& memo) override;

    // Builds the window without showing it; Run shows it modally over the owner. ShowUpdate
    // does both.
    void Create(const std::string& caption, const std::vector<std::string>& memo);
    int Run() { return RunModal(owner_); }
    HWND NotesEdit() const { return notesEdit_; }

    // "Download": opens the stored download address when it is a web address.
    void OnDownload();
    // "Close".
    void OnCloseButton();

  protected:
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    HWND owner_;
    core::SettingsStore& settings_;
    HWND notesEdit_ = nullptr;
};

// Today's local date for the update check; the tick count for the rules.
class Win32Clock : public core::Clock {
  public:
    int Today() override;
    std::uint64_t SteadyMs() override { return GetTickCount64(); }
};

// Posted to the window that runs an UpdateChecker when its request has ended.
inline constexpr UINT kUpdateReplyMessage = WM_APP + 20;

// The program's "Check update" (manual) and its start-up timer (automatic). The request runs
// on a worker thread; its end comes back as kUpdateReplyMessage, which the window hands to
// Finish. One check at a time: from its start (the question included) until its result window
// is closed, another start does nothing. Settings errors other than an unreadable last-check date
// reach the caller.
class UpdateChecker {
  public:
    UpdateChecker(HWND window, core::SettingsStore& settings, core::Clock& clock,
                  const Win32HttpClient::Limits& limits = {});
    // Cancels a pending request; nothing is posted afterwards.
    ~UpdateChecker();
    UpdateChecker(const UpdateChecker&) = delete;
    UpdateChecker& operator=(const UpdateChecker&) = delete;

    // True when a request went out (the automatic check asks first, modally).
    bool Start(bool manual);
    // On kUpdateReplyMessage: judges the reply and shows the result window when there is
    // something to show; true when it was shown. A message that belongs to no pending request is
    // ignored.
    bool Finish();
    bool Pending() const { return check_ != nullptr; }

  private:
    struct Check;

    HWND window_;
    core::SettingsStore& settings_;
    Win32HttpClient::Limits limits_;
    core::Clock& clock_;
    std::unique_ptr<Check> check_;
};

}  // namespace quenvix::win
