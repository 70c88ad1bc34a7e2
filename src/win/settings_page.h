#pragma once
// A page of the settings window behind one of its tabs, and what the window asks of the program
// that owns it. The window knows its pages only through SettingsPage: it shows the chosen one,
// places them all after a DPI change and offers each the commands of its controls.
#include <windows.h>

#include <optional>

#include "core/command.h"

namespace quenvix::win {

class SettingsPage {
  public:
    virtual ~SettingsPage() = default;

    // The page's own window, a child of the settings window.
    virtual HWND Page() const = 0;
    // Puts the page over `area` (the settings window's client coordinates) in front of the tab
    // control, laid out for the window's DPI. Called before the page shows and after a DPI change.
    virtual void Place(const RECT& area) = 0;
    // A WM_COMMAND from one of the page's controls; false when it is not the page's.
    virtual bool OnCommand(int id, int code) = 0;
    // One of the program's commands that is the page's work (its buttons' commands, run by the
    // program); false when it is not the page's.
    virtual bool RunCommand(core::Command command) = 0;
};

// The program behind the settings window: the window carries out nothing of its own but showing
// itself and its pages, and hands the rest here.
class SettingsHost {
  public:
    virtual ~SettingsHost() = default;

    // A command from the menu bar or a page's button.
    virtual void Run(core::Command command) = 0;
    // The window's close button (or anyone's WM_CLOSE).
    virtual void OnCloseRequest() = 0;
    // Minimised: true when the program took the window into the tray.
    virtual bool MinimiseToTray() = 0;
    // The window was destroyed by anyone but the program's own end.
    virtual void OnWindowDestroyed() = 0;
    // From now on commands and clicks find nothing to do.
    virtual bool Ending() const = 0;
    // A message that is the program's rather than the form's (the session's end, the hotkey the
    // system knows, the program's own posted notices); nothing when the program leaves it to the
    // window.
    virtual std::optional<LRESULT> OnProgramMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
};

}  // namespace quenvix::win
