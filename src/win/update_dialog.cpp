#include "win/update_dialog.h"

#include "core/dialog_text.h"
#include "core/product.h"
#include "win/confirm_dialog.h"
#include "win/http.h"
#include "win/shell.h"

namespace quenvix::win {
namespace {

enum : int { kNotesId = 101, kDownloadId, kCloseId };

// 10 point at 96 DPI.
constexpr FontSpec kMemoFont{nullptr, 13, false, false};
constexpr int kClientWidth = 382;
constexpr int kClientHeight = 242;
constexpr int kPanelHeight = 41;

std::wstring JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += "\r\n";
        text += lines[i];
    }
    return Widen(text);
}

}  // namespace

bool UpdateDialog::ConfirmAutoCheck() {
    // The question has no owner: at start-up the main window is not on the
    // screen.
    return ConfirmUnlessSilenced(settings_, core::AutoUpdateCheckText, nullptr);
}

void UpdateDialog::Create(const std::string& caption, const std::vector<std::string>& memo) {
    CreateDialogWindow(L"QuenvixCheckUpdate", Widen(caption), kClientWidth, kClientHeight, owner_);
    const int panelTop = kClientHeight - kPanelHeight;
    notesEdit_ = AddControl(L"Edit", JoinLines(memo),
                            WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                            0, 0, kClientWidth, panelTop, kNotesId, kMemoFont, WS_EX_CLIENTEDGE);
    AddControl(L"Button", L"Download", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 224, panelTop + 11,
               65, 22, kDownloadId);
    AddControl(L"Button", L"Close", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 304, panelTop + 11, 65,
               22, kCloseId);
    SetDefaultButton(kCloseId);
}

void UpdateDialog::ShowUpdate(const std::string& caption, const std::vector<std::string>& memo) {
    Create(caption, memo);
    Run();
}

void UpdateDialog::OnDownload() {
    const std::string url =
        settings_.ReadString(core::kUpdateSection, core::kDownloadUrlValue, core::kWebsite);
    // Whatever else the registry may hold is not handed to the shell, which would
    // run it.
    if (core::IsWebAddress(url)) ShellOpen(url);
}

void UpdateDialog::OnCloseButton() {
    EndModal(IDCANCEL);
}

void UpdateDialog::OnCommand(int id, int code, HWND control) {
    if (id == kDownloadId && code == BN_CLICKED) {
        OnDownload();
    } else if (id == kCloseId && code == BN_CLICKED) {
        OnCloseButton();
    } else if (control == nullptr) {
        ModalDialog::OnCommand(id, code, control);
    }
}

LRESULT UpdateDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    // A read-only edit asks for static colours; the notes stay on the usual white.
    if (msg == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == notesEdit_) {
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    return ModalDialog::OnMessage(msg, wParam, lParam);
}

int Win32Clock::Today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return core::DateSerial(now.wYear, now.wMonth, now.wDay);
}

struct UpdateChecker::Check {
    Check(HWND owner, core::SettingsStore& settings, core::Clock& clock)
        : form(owner, settings), check(settings, clock, form) {}

    UpdateDialog form;
    core::UpdateCheck check;
    std::unique_ptr<BackgroundGet> request;
};

UpdateChecker::UpdateChecker(HWND window, core::SettingsStore& settings, core::Clock& clock,
                             const Win32HttpClient::Limits& limits)
    : window_(window), settings_(settings), limits_(limits), clock_(clock) {}

UpdateChecker::~UpdateChecker() = default;

bool UpdateChecker::Start(bool manual) {
    if (check_) return false;
    // Held from here, so that a click while the question is up finds the check running.
    check_ = std::make_unique<Check>(window_, settings_, clock_);
    try {
        auto request = check_->check.StartCheck(manual, core::kVersion, core::kProductName);
        if (!request) {
            check_.reset();
            return false;
        }
        check_->request = std::make_unique<BackgroundGet>(window_, kUpdateReplyMessage,
                                                          std::move(*request), limits_);
    } catch (...) {
        check_.reset();
        throw;
    }
    return true;
}

bool UpdateChecker::Finish() {
    if (!check_ || !check_->request || !check_->request->Done()) return false;
    const auto reply = check_->request->TakeReply();
    check_->request.reset();
    // Released however it ends; while the result window is up the check still counts as running.
    struct Release {
        std::unique_ptr<Check>& check;
        ~Release() { check.reset(); }
    } release{check_};
    return check_->check.FinishCheck(reply);
}

}  // namespace quenvix::win
