#pragma once
// The program's side of the command line in tests: a window of ours that keeps the verbs the pipe
// server takes (ForwardedVerbs) and carries them out from its posted message, as the main window
// does, noting what was open on the thread at each step.
#include <windows.h>

#include <memory>
#include <vector>

#include "core/command_line.h"
#include "win/command_line_forwarding.h"
#include "win/ui.h"

namespace quenvix::win::test {

class VerbWindow : public Window {
  public:
    // Message-only, or a hidden top-level window that can own a menu or a message box.
    explicit VerbWindow(bool topLevel = false) {
        if (topLevel) {
            CreateBound(L"QuenvixVerbOwnerTest", WS_POPUP, WS_EX_TOOLWINDOW, L"", 0, 0, 0, 0,
                        nullptr);
        } else {
            CreateBound(L"QuenvixPipeTestWindow", 0, 0, L"", 0, 0, 0, 0, HWND_MESSAGE);
        }
        verbs_ = std::make_unique<ForwardedVerbs>(Hwnd(), [this](core::Command command) {
            ran.push_back(core::VerbOfCommand(command).value_or(core::CommandVerb::Start));
            ranInMenu.push_back(MenuOpenOnThisThread());
        });
    }
    bool Take(core::CommandVerb verb) {
        ++taken;
        takenInMenu = MenuOpenOnThisThread();
        takenInMessageBox = FindWindowW(L"#32770", nullptr) != nullptr;
        return verbs_->Accept(verb);
    }
    int taken = 0;
    bool takenInMenu = false;
    bool takenInMessageBox = false;
    std::vector<core::CommandVerb> ran;
    std::vector<bool> ranInMenu;

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == kRunForwardedVerb) {
            verbs_->RunKept([] { return false; });
            return 0;
        }
        return Window::OnMessage(msg, wParam, lParam);
    }

  private:
    std::unique_ptr<ForwardedVerbs> verbs_;
};

}  // namespace quenvix::win::test
