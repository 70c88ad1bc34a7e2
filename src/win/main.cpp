// Entry point: one copy per user desktop, the settings window, and the message loop.
#include <windows.h>
// (after windows.h)
#include <commctrl.h>
#include <objbase.h>

#include <memory>

#include "core/product.h"
#include "win/app.h"
#include "win/command_line_forwarding.h"
#include "win/main_form.h"
#include "win/ui.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace quenvix;
    // An option on the command line is answered (or handed to the running copy) without starting.
    if (const auto handled = win::HandleCommandLine()) return *handled;
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    int exitCode = 0;
    {
        win::TApplication app;
        if (win::CheckSingleInstance(win::Widen(core::kProductName), app)) {
            std::unique_ptr<win::TMainForm> mainForm;
            win::Guarded(nullptr, [&] { mainForm = std::make_unique<win::TMainForm>(app); });
            if (mainForm) {
                app.SetMainForm(mainForm->Hwnd());
                MSG msg;
                while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                    // Tab and the arrow keys move between the settings window's controls.
                    if (IsDialogMessageW(mainForm->Hwnd(), &msg)) continue;
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
                app.SetMainForm(nullptr);
                // Destroying the main window brings back every window it still holds hidden.
                mainForm.reset();
            }
        }
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return exitCode;
}
