#pragma once
// The system services the program works through. The entry point makes the real ones once and
// hands them in; tests hand in fakes (an in-memory registry, manual timers, a scripted desktop).
// The registry answers for every root: the user's settings and the machine's processor speed.
#include "core/cpu_gauge.h"
#include "core/ports/desktop.h"
#include "core/ports/foreground.h"
#include "core/ports/key_state.h"
#include "core/ports/registry_backend.h"
#include "core/ports/timer.h"
#include "core/ports/window_events.h"
#include "core/update.h"
#include "win/http.h"
#include "win/tray_icon.h"

namespace quenvix::win {

struct Platform {
    core::RegistryBackend& registry;
    core::TimerFactory& timers;
    const core::KeyState& keys;
    core::Desktop& desktop;
    core::Foreground& foreground;
    core::Clock& clock;
    // Other programs' windows as they come and go, for the rules.
    core::WindowEvents& windowEvents;
    // The tray gauge's readings; it ticks on the tray icon's thread.
    core::CpuCounters& cpuCounters;
    // Each update request makes its own WinHTTP client (so that it can be cancelled alone);
    // these are its limits.
    Win32HttpClient::Limits http{};
    // The shell's icon call; empty means Shell_NotifyIconW.
    ShellNotifyIconFn shellNotifyIcon{};
    // Raw keyboard input feeds the hotkey detector; off, the detector polls `keys`.
    bool followKeyEvents = true;
};

}  // namespace quenvix::win
