// Entry point: one copy per user desktop, the program, and the message loop.
#include <windows.h>
// (after windows.h)
#include <objbase.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "core/product.h"
#include "win/app.h"
#include "win/application.h"
#include "win/command_line_forwarding.h"
#include "win/cpu_counters.h"
#include "win/crash_guard.h"
#include "win/desktop.h"
#include "win/foreground.h"
#include "win/key_state.h"
#include "win/local_verbs.h"
#include "win/log.h"
#include "win/message_wait.h"
#include "win/portable.h"
#include "win/timer.h"
#include "win/ui.h"
#include "win/update_dialog.h"
#include "win/win_event_hook.h"

#if defined(__GLIBCXX__)
// libstdc++'s default terminate handler prints the exception's type to stderr, which a windowed
// program does not have, and brings in the whole C++ name demangler to do it (about 45 KB of the
// program). InstallCrashFilter puts our own handler in its place before any C++ code of ours
// runs; until then (and in the guardian's run) an end is an end.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx
#endif

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace quenvix;
    // Before anything loads a DLL: system DLLs come from System32 only, never from the folder
    // the program was started from (a planted DLL there would run as us).
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // The registry (or a portable copy's settings file) and the desktop, made once:
    // "--restore-recorded" needs them already.
    win::SettingsBackend settings;
    core::RegistryBackend& registry = settings.Registry();
    win::Win32Desktop desktop;
    // The guardian's run and "--restore-recorded" are answered here, before any of the start-up.
    if (const auto answered = win::HandleLocalVerb(registry, desktop)) return *answered;
    win::InstallCrashFilter();
    // An option on the command line is answered (or handed to the running copy) without starting,
    // and leaves the log alone unless it fails: a "Start" without an "Exit" would read like a
    // crash.
    if (const auto handled = win::HandleCommandLine()) return *handled;
    win::Log(std::string("Start, version ") + std::string(core::kVersion) + ", process " +
             std::to_string(GetCurrentProcessId()));
    // A real start: the crash guard starts a guardian that outlives a forced end of this process.
    win::EnableGuardian();
    const win::ComApartment com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    int exitCode = 0;
    {
        // The system services, made once; they outlive every window that uses them.
        win::Win32Timers timers;
        win::Win32KeyState keys;
        win::Win32Foreground foreground;
        win::Win32Clock clock;
        win::Win32WindowEvents windowEvents;
        win::Win32CpuCounters cpuCounters;
        const win::Platform platform{registry,   timers, keys,         desktop,
                                     foreground, clock,  windowEvents, cpuCounters};
        win::Application program(platform);
        if (win::CheckSingleInstance(win::Widen(core::kProductName), program.Owner())) {
            bool started = false;
            win::Guarded(nullptr, [&] {
                program.Start();
                started = true;
            });
            if (started) {
                MSG msg{};
                BOOL got = 0;
                // The wait also serves the command pipe, on this thread, between messages.
                while ((got = win::WaitForNextMessage(msg)) > 0) {
                    if (win::IsForgedPost(msg)) continue;
                    // Tab and the arrow keys move between the settings window's controls.
                    if (IsDialogMessageW(program.Form(), &msg)) continue;
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
                if (got == 0) exitCode = static_cast<int>(msg.wParam);
            }
        }
        // The program's end brings back every window it still holds hidden.
    }
    win::Log(std::string("Exit, version ") + std::string(core::kVersion) + ", code " +
             std::to_string(exitCode));
    return exitCode;
}
