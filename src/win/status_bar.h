#pragma once
// The settings window's status bar: one part, its hint text, and a click that opens the file the
// hint names.
#include <windows.h>

#include <string>

#include "win/ui.h"

namespace quenvix::win {

class StatusBar {
  public:
    static constexpr int kHeight96 = 19;

    // A child of `window` along its bottom edge, with the window's font.
    StatusBar(FormWindow& window, int id);

    HWND Hwnd() const { return bar_; }
    void ShowHint();
    // A line for the user that needs no answer (a window the system would not let us hide).
    void ShowNotice(const std::wstring& text);
    // The hint is the path of a file: a click opens it, anything else does nothing.
    void OnClick();
    // After the window was resized or moved to another DPI.
    void Layout();

  private:
    FormWindow& window_;
    HWND bar_ = nullptr;
    std::wstring hint_;
};

}  // namespace quenvix::win
