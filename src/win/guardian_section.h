#pragma once
// What quenvix.exe and its guardian, quenvix_guardian.exe, share: the section that carries the
// hidden list from the one to the other, and how the guardian is started. Both programs are built
// from the same tree, so the layout needs no version of its own.
//
// The guardian is a program of its own, with its own image name, and no descendant of the copy it
// guards: ending every process named quenvix.exe, or the copy's whole process tree ("End process
// tree", "taskkill /t", which follow the parent process id), leaves it standing. The copy starts it
// through a short-lived launcher (the guardian program run with kDetachOption), which starts the
// guardian and ends at once, its exit code the guardian's process id: a process whose parent has
// ended belongs to no tree. The copy's process handle and the section's handle reach the guardian
// by inheritance through the launcher, so it holds both even if the copy ends before the guardian
// has begun.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "win/guarded_list.h"

namespace quenvix::win {

// What the section holds. The magic is written last, when the rest is ready.
struct GuardianSection {
    std::atomic<std::uint32_t> magic;
    std::atomic<std::uint32_t> processId;  // the copy that writes it
    std::atomic<std::uint32_t> cleanExit;  // 1: that copy ended the normal way, its list empty
    // The newest guardian the copy started. A guardian it replaced that still runs (it was only
    // thought gone) leaves the windows to this one, so that each is shown once.
    std::atomic<std::uint32_t> guardianProcessId;
    GuardedList list;
};

inline constexpr std::uint32_t kGuardianMagic = 0x51564744;  // "QVGD"

// The guardian program's file name, beside quenvix.exe.
inline constexpr wchar_t kGuardianProgram[] = L"quenvix_guardian.exe";
// "quenvix_guardian.exe --detach <copy's process id> <process handle> <section handle>" is the
// launcher; the same without the option is the guardian. Handles in decimal, as inherited.
inline constexpr wchar_t kDetachOption[] = L"--detach";

// Shows one window in the show state the hider recorded for it to come back in when nobody asks,
// asynchronously and without activating it: the crash filter's and the guardian's way back for a
// window, the same commands as the program's own exit (core's RestoreCommandFor(state, false),
// which the guardian, a program without the core, cannot call). A hung program must not hold up a
// process that is going down, nor the guardian.
inline void ShowInRecordedState(HWND window, core::ShowState state) noexcept {
    // Which commands activate: ShowWindow's documentation
    // (https://learn.microsoft.com/en-us/windows/win32/api/winuser/nf-winuser-showwindow).
    switch (state) {
        case core::ShowState::Minimized:
            ShowWindowAsync(window, SW_SHOWMINNOACTIVE);
            return;
        case core::ShowState::Maximized:
            // Hidden maximised, it is maximised still; no command maximises without activating.
            ShowWindowAsync(window, SW_SHOWNA);
            return;
        case core::ShowState::Normal:
            break;
    }
    ShowWindowAsync(window, SW_SHOWNOACTIVATE);
}

}  // namespace quenvix::win
