#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/ports/registry_backend.h"
#include "core/product.h"
#include "core/settings_store.h"
#include "fakes/memory_registry.h"
#include "win/about_box.h"
#include "win/update_dialog.h"

namespace quenvix::win {
namespace {

constexpr const char* kCpuKey = "Hardware\\Description\\System\\CentralProcessor\\0";

std::string TextOf(HWND hwnd) {
    wchar_t text[512] = {};
    GetWindowTextW(hwnd, text, 512);
    return Narrow(text);
}

std::vector<std::uint8_t> Dword(std::uint32_t v) {
    std::vector<std::uint8_t> bytes(4);
    std::memcpy(bytes.data(), &v, 4);
    return bytes;
}

// A WM_CLOSE queued behind the messages under test: it ends the box if they did
// not, and is still waiting when they did.
bool CloseStillQueued(HWND hwnd) {
    MSG msg;
    return PeekMessageW(&msg, hwnd, WM_CLOSE, WM_CLOSE, PM_REMOVE) != FALSE;
}

class AboutBoxTest : public ::testing::Test {
  protected:
    test::MemoryRegistry machine;
};

TEST_F(AboutBoxTest, ShowsVersionAndProcessorSpeed) {
    machine.PutMachineRaw(kCpuKey, "~MHz", core::kRegDword, Dword(1993));
    AboutBox form(machine);
    form.Create(nullptr);
    EXPECT_EQ(TextOf(form.SpeedLabel()), "???");
    EXPECT_EQ(form.FillVersionAndSpeed(), std::nullopt);
    EXPECT_EQ(TextOf(form.VersionLabel()), "Version 1.2");
    EXPECT_EQ(TextOf(form.SpeedLabel()), "CPU speed:1993 MHz");
    EXPECT_EQ(TextOf(form.MailLink()), "Email: " + std::string(core::kSupportMail));
    EXPECT_EQ(TextOf(form.WebsiteLink()), "Website: " + std::string(core::kWebsiteHost));
    // The speed label grows with its text instead of cutting it.
    RECT r{};
    GetClientRect(form.SpeedLabel(), &r);
    EXPECT_GT(r.right, 60);
    DestroyWindow(form.Hwnd());
}

TEST_F(AboutBoxTest, MissingHardwareKeyLeavesTheSpeedEmpty) {
    AboutBox form(machine);
    form.Create(nullptr);
    EXPECT_EQ(form.FillVersionAndSpeed(), std::nullopt);
    EXPECT_EQ(TextOf(form.SpeedLabel()), "CPU speed:");
    DestroyWindow(form.Hwnd());
}

TEST_F(AboutBoxTest, UnreadableSpeedIsAnErrorAndKeepsQuestionMarks) {
    machine.PutMachineRaw(kCpuKey, "~MHz", core::kRegSz, {'9', 0});
    AboutBox form(machine);
    form.Create(nullptr);
    EXPECT_EQ(form.FillVersionAndSpeed(), "Invalid data type for '~MHz'");
    EXPECT_EQ(TextOf(form.VersionLabel()), "Version 1.2");
    EXPECT_EQ(TextOf(form.SpeedLabel()), "???");
    DestroyWindow(form.Hwnd());
}

TEST_F(AboutBoxTest, PressesOnSpeedAndNoticeKeepItOpenAnyKeyClosesIt) {
    AboutBox form(machine);
    form.Create(nullptr);
    PostMessageW(form.SpeedLabel(), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    PostMessageW(form.NoticeEdit(), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    PostMessageW(form.NoticeEdit(), WM_KEYDOWN, 'A', 0);
    PostMessageW(form.Hwnd(), WM_CLOSE, 0, 0);
    form.ShowModal(nullptr);
    EXPECT_EQ(form.ClosedBy(), form.NoticeEdit());
    EXPECT_TRUE(CloseStillQueued(form.Hwnd()));
    DestroyWindow(form.Hwnd());
}

TEST_F(AboutBoxTest, PressOnTheFormOrItsPicturesCloses) {
    for (int target = 0; target < 3; ++target) {
        AboutBox form(machine);
        form.Create(nullptr);
        const HWND hit = target == 0   ? form.Hwnd()
                         : target == 1 ? form.VersionLabel()
                                       : form.IconImage();
        PostMessageW(hit, target == 2 ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, 0, 0);
        PostMessageW(form.Hwnd(), WM_CLOSE, 0, 0);
        form.ShowModal(nullptr);
        EXPECT_EQ(form.ClosedBy(), hit) << "target " << target;
        EXPECT_TRUE(CloseStillQueued(form.Hwnd()));
        DestroyWindow(form.Hwnd());
    }
}

// With high contrast on, every colour comes from the user's scheme (Wine refuses
// SPI_SETHIGHCONTRAST, so the scheme's choice is checked here, not on screen): nothing of the
// fixed palette may survive, and the text must differ from its background.
TEST(AboutBoxColoursTest, HighContrastPaintsOnlyInTheUsersColours) {
    const AboutColours fixed = AboutBoxColours(false);
    const AboutColours contrast = AboutBoxColours(true);
    const COLORREF scheme[] = {GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_WINDOWTEXT),
                               GetSysColor(COLOR_HOTLIGHT)};
    const auto fromScheme = [&](COLORREF c) {
        return std::find(std::begin(scheme), std::end(scheme), c) != std::end(scheme);
    };
    for (const COLORREF c :
         {contrast.panel, contrast.title, contrast.label, contrast.version, contrast.link}) {
        EXPECT_TRUE(fromScheme(c)) << std::hex << c;
    }
    EXPECT_FALSE(contrast.titleShadow);
    EXPECT_EQ(contrast.panel, GetSysColor(COLOR_WINDOW));
    for (const COLORREF c : {contrast.title, contrast.label, contrast.version, contrast.link}) {
        EXPECT_NE(c, contrast.panel) << std::hex << c;
    }
    EXPECT_NE(fixed.panel, contrast.panel);  // the user's scheme here is not our blue
}

TEST(UpdateDialogWindow, ShowsCaptionAndMemoAndCloseEndsIt) {
    test::MemoryRegistry registry;
    core::SettingsStore settings(registry, core::kSettingsKeyPath);
    UpdateDialog form(nullptr, settings);
    form.Create("There is a new update", {"Version 1.3", "", "Faster", "Smaller"});
    EXPECT_EQ(TextOf(form.Hwnd()), "There is a new update");
    EXPECT_EQ(TextOf(form.NotesEdit()), "Version 1.3\r\n\r\nFaster\r\nSmaller");
    RECT client{};
    GetClientRect(form.Hwnd(), &client);
    EXPECT_EQ(client.right, Scale(382, form.Dpi()));
    EXPECT_EQ(client.bottom, Scale(242, form.Dpi()));

    const HWND close = FindWindowExW(form.Hwnd(), nullptr, L"Button", L"Close");
    ASSERT_NE(close, nullptr);
    ASSERT_NE(FindWindowExW(form.Hwnd(), nullptr, L"Button", L"Download"), nullptr);
    PostMessageW(form.Hwnd(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(close), BN_CLICKED),
                 reinterpret_cast<LPARAM>(close));
    PostMessageW(form.Hwnd(), WM_CLOSE, 0, 0);
    form.Run();
    EXPECT_TRUE(CloseStillQueued(form.Hwnd()));
    DestroyWindow(form.Hwnd());
}

}  // namespace
}  // namespace quenvix::win
