#include "win/about_box.h"

#include "core/cpu_speed.h"
#include "core/error.h"
#include "core/product.h"
#include "win/shell.h"

namespace quenvix::win {
namespace {

enum : int {
    kVersionLabelId = 101,
    kIconId,
    kMailLinkId,
    kWebsiteLinkId,
    kSpeedLabelId,
    kNoticeId
};
constexpr UINT kReportPending = WM_APP + 1;

constexpr COLORREF kPanelColour = RGB(0, 128, 192);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

constexpr FontSpec kTitleFont{L"Comic Sans MS", 32, true, false};
constexpr FontSpec kSloganFont{L"Comic Sans MS", 19, true, false};
constexpr FontSpec kVersionFont{nullptr, 13, true, false};
constexpr FontSpec kLinkFont{nullptr, kFormCharHeightPx96, false, true};
constexpr FontSpec kSpeedFont{};

constexpr wchar_t kNotice[] =
    L"Copyright \u00A9 Tarmel. All rights reserved.\r\n"
    L"Quenvix is freeware: use it and pass it on freely, but do not sell it.";

bool IsPress(UINT msg) {
    return msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN ||
           msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDBLCLK || msg == WM_MBUTTONDBLCLK;
}

}  // namespace

AboutColours AboutBoxColours(bool highContrast) {
    if (highContrast) {
        // The user's pair of window colours, chosen to be read against each other; a shadow in
        // another colour would be noise around the letters.
        const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
        return AboutColours{GetSysColor(COLOR_WINDOW),  text, false, text, text, text,
                            GetSysColor(COLOR_HOTLIGHT)};
    }
    return AboutColours{kPanelColour, kWhite, true, kRed, kWhite, kBlack, kWhite};
}

HBRUSH AboutBox::PanelBrush() const {
    return HighContrastOn() ? GetSysColorBrush(COLOR_WINDOW) : panelBrush_.get();
}

void AboutBox::Create(HWND owner) {
    panelBrush_.reset(CreateSolidBrush(kPanelColour));
    CreateDialogWindow(L"QuenvixAboutForm", L"About Quenvix", 332, 239, owner, WS_POPUP,
                       WS_EX_TOPMOST);
    // Labels take mouse presses themselves (SS_NOTIFY), so a press can be told
    // apart by target.
    const DWORD label = WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOTIFY | SS_NOPREFIX;
    versionLabel_ =
        AddControl(L"Static", L"Version", label, 24, 104, 48, 16, kVersionLabelId, kVersionFont);
    iconImage_ =
        AddControl(L"Static", L"", WS_VISIBLE | SS_ICON | SS_NOTIFY, 184, 18, 32, 32, kIconId);
    icon_.reset(static_cast<HICON>(
        LoadImageW(AppInstance(), MAKEINTRESOURCEW(1), IMAGE_ICON, S(32), S(32), 0)));
    HICON shown = icon_ ? icon_.get() : LoadIconW(nullptr, IDI_APPLICATION);
    SendMessageW(iconImage_, STM_SETICON, reinterpret_cast<WPARAM>(shown), 0);
    mailLink_ = AddControl(L"Static", Widen("Email: " + std::string(core::kSupportMail)), label, 16,
                           127, 132, 13, kMailLinkId, kLinkFont);
    websiteLink_ = AddControl(L"Static", Widen("Website: " + std::string(core::kWebsiteHost)),
                              label, 16, 143, 127, 13, kWebsiteLinkId, kLinkFont);
    speedLabel_ = AddControl(L"Static", L"???", label, 192, 128, 18, 14, kSpeedLabelId, kSpeedFont);
    noticeEdit_ = AddControl(
        L"Edit", kNotice,
        WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 16, 168,
        305, 65, kNoticeId);
    for (HWND h : {versionLabel_, mailLink_, websiteLink_, speedLabel_}) FitToText(h);
    AfterConstruction();
}

void AboutBox::FitToText(HWND label) {
    const std::wstring text = Widen(WindowText(label));
    RECT r{0, 0, 0, 0};
    {
        const WindowDc dc(label);
        if (!dc) return;
        const SelectedObject font(dc.Get(),
                                  reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
        DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &r,
                  DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    }
    // A few pixels spare: an underline or a glyph's overhang must not be clipped.
    SetWindowPos(label, nullptr, 0, 0, r.right + S(4), r.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::optional<std::string> AboutBox::FillVersionAndSpeed() {
    SetWindowTextW(versionLabel_, Widen("Version " + std::string(core::kVersion)).c_str());
    FitToText(versionLabel_);
    std::string speed;
    try {
        speed = core::GetCPUSpeed(machine_);
    } catch (const core::Error& e) {
        return std::string(e.what());
    }
    SetWindowTextW(speedLabel_, Widen("CPU speed:" + speed).c_str());
    FitToText(speedLabel_);
    return std::nullopt;
}

void AboutBox::ShowModal(HWND owner) {
    if (auto error = FillVersionAndSpeed()) {
        // Reported from inside the modal loop, so the box is already on the screen
        // behind it.
        pendingError_ = std::move(*error);
        PostMessageW(Hwnd(), kReportPending, 0, 0);
    }
    closedBy_ = nullptr;
    RunModal(owner);
}

void AboutBox::OnKeyDown(HWND target) {
    closedBy_ = target;
    EndModal(IDCANCEL);
}

void AboutBox::OnPress(HWND target) {
    closedBy_ = target;
    EndModal(IDCANCEL);
}

void AboutBox::OnMailLink() {
    ShellOpen("mailto:" + std::string(core::kSupportMail));
}

void AboutBox::OnWebsiteLink() {
    ShellOpen(core::kWebsite);
}

bool AboutBox::PreTranslate(MSG& msg) {
    const bool ours = msg.hwnd == Hwnd() || IsChild(Hwnd(), msg.hwnd);
    if (!ours) return false;
    if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
        OnKeyDown(msg.hwnd);
        return true;
    }
    if (IsPress(msg.message) &&
        (msg.hwnd == Hwnd() || msg.hwnd == versionLabel_ || msg.hwnd == iconImage_)) {
        OnPress(msg.hwnd);
        return true;
    }
    return false;
}

void AboutBox::OnCommand(int id, int code, HWND control) {
    if (code == STN_CLICKED && id == kMailLinkId) {
        OnMailLink();
    } else if (code == STN_CLICKED && id == kWebsiteLinkId) {
        OnWebsiteLink();
    } else if (control == nullptr) {
        OutlinedForm::OnCommand(id, code, control);
    }
}

void AboutBox::PaintTitles(HDC dc) {
    SetBkMode(dc, TRANSPARENT);
    struct Shadowed {
        const wchar_t* text;
        int x, y;
        const FontSpec& font;
    };
    // Each title is drawn red first and white over it, 2 pixels right and 1
    // lower.
    const Shadowed titles[] = {{L"Quenvix", 17, 21, kTitleFont},
                               {L"Watch out. Boss is coming...", 18, 65, kSloganFont}};
    const AboutColours colours = AboutBoxColours(HighContrastOn());
    for (const auto& t : titles) {
        const SelectedObject font(dc, FontFor(t.font));
        if (colours.titleShadow) {
            SetTextColor(dc, colours.shadow);
            TextOutW(dc, S(t.x), S(t.y), t.text, lstrlenW(t.text));
        }
        SetTextColor(dc, colours.title);
        TextOutW(dc, S(t.x + 2), S(t.y + 1), t.text, lstrlenW(t.text));
    }
}

LRESULT AboutBox::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_ERASEBKGND: {
            RECT r{};
            GetClientRect(Hwnd(), &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, PanelBrush());
            return 1;
        }
        case WM_PAINT: {
            const PaintDc dc(Hwnd());
            if (dc.Get()) PaintTitles(dc.Get());
            return 0;
        }
        case WM_CTLCOLORSTATIC: {
            const auto dc = reinterpret_cast<HDC>(wParam);
            const auto control = reinterpret_cast<HWND>(lParam);
            if (control == noticeEdit_) {
                SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
                SetBkColor(dc, GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            }
            const AboutColours colours = AboutBoxColours(HighContrastOn());
            const bool link = control == mailLink_ || control == websiteLink_;
            SetTextColor(dc, control == versionLabel_ ? colours.version
                             : link                   ? colours.link
                                                      : colours.label);
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(PanelBrush());
        }
        case WM_SETCURSOR: {
            const auto over = reinterpret_cast<HWND>(wParam);
            if (over == mailLink_ || over == websiteLink_) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        }
        case kReportPending: {
            const std::string message = std::move(pendingError_);
            pendingError_.clear();
            if (!message.empty()) ReportError(Hwnd(), message);
            return 0;
        }
        default:
            break;
    }
    return OutlinedForm::OnMessage(msg, wParam, lParam);
}

void ShowAboutBox(HWND owner, core::RegistryBackend& machine) {
    AboutBox form(machine);
    form.Create(owner);
    form.ShowModal(owner);
}

}  // namespace quenvix::win
