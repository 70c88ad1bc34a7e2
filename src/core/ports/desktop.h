#pragma once
// The desktop as the hider and the rules see it: top-level windows of every program, their
// state, and the few commands that hide and show them. The Windows shell implements it over
// user32; the unit tests script it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quenvix::core {

// A top-level window. Wide enough for any native handle; 0 means "no window".
using WindowId = std::uint64_t;
inline constexpr WindowId kNoWindow = 0;

// Extended-style bits that decide whether a window has a taskbar button: a tool window
// (floating palettes and the like) has none unless it asks for one with the app-window bit.
inline constexpr std::uint32_t kExToolWindow = 0x80;
inline constexpr std::uint32_t kExAppWindow = 0x40000;

// What decides whether a window is one that is never hidden (see WhySpared): what the system
// knows of it without asking its program.
struct WindowTraits {
    std::string executable;   // file name of its program, without the folder; may be left empty
                              // where the class alone decides
    std::string windowClass;  // the whole class name
    std::uint32_t exStyle = 0;
    bool desktopWindow = false;  // the system's desktop window, the root of every other
    bool ours = false;           // made by this program (or gone: nothing to hide either way)
    bool shellProcess = false;   // made by the shell's process (the one of the shell window)
    bool desktopView = false;    // holds the desktop's icons (a SHELLDLL_DefView child)
    bool cloaked = false;        // kept out of sight by the window manager
};

// The show commands we give, each one of ShowWindow's. Whether a command activates the window
// is in its name: only the one window the user asked for may take the keyboard ("ShowWindow
// function", learn.microsoft.com: SW_SHOWNORMAL, SW_SHOWMAXIMIZED and SW_SHOW activate;
// SW_SHOWNOACTIVATE, SW_SHOWMINNOACTIVE and SW_SHOWNA do not).
enum class ShowCommand {
    // SW_HIDE: gone from the screen and the taskbar. The window's placement keeps its state
    // (normal, minimised or maximised): it comes back in it, and nothing shows it meanwhile.
    Hide,
    ShowNormal,               // SW_SHOWNORMAL: activated, at normal size (from minimised too)
    ShowMaximized,            // SW_SHOWMAXIMIZED: activated and maximised
    ShowNormalNoActivate,     // SW_SHOWNOACTIVATE: at normal size, not activated
    ShowMinimizedNoActivate,  // SW_SHOWMINNOACTIVE: minimised on the taskbar, not activated
    ShowAsIsNoActivate,       // SW_SHOWNA: in the state its placement keeps, not activated
};

// Whether the command makes the window the active one (see ShowCommand).
constexpr bool Activates(ShowCommand command) {
    return command == ShowCommand::ShowNormal || command == ShowCommand::ShowMaximized;
}

// What became of a show command at the moment it was given.
enum class ShowResult {
    Queued,   // on its way to the window's thread (which may still take its time over it)
    Refused,  // the system will not let us command that window (it runs with higher rights)
    Failed,   // not given: the window is gone, or the system failed otherwise
};

// Who a window belongs to. A window handle can be reused once its window is destroyed; the
// owning process (with its start time, since process ids are reused too) and thread tell a
// reused handle from the window we hid.
struct WindowOrigin {
    std::uint32_t processId = 0;
    std::uint32_t threadId = 0;
    // Process creation time in the platform's own units; 0 when it could not be learnt.
    std::uint64_t processStartTime = 0;

    friend bool operator==(const WindowOrigin&, const WindowOrigin&) = default;
};

// True when `now` can be the same owner as `then`: same process and thread, and the same
// process start time whenever both are known.
bool SameOwner(const WindowOrigin& then, const WindowOrigin& now);

// A small picture of a window's icon, for its entry in the tray menu. Only the shell that made
// it knows what is inside.
class WindowPicture {
  public:
    virtual ~WindowPicture() = default;
};

// Owner chains are short; a longer one can only be a loop made by a misbehaving program. Every
// walk up an owner chain stops after this many steps.
inline constexpr int kOwnerChainLimit = 64;

struct WindowFacts;  // core/rules.h

class Desktop {
  public:
    virtual ~Desktop() = default;

    // Every top-level window, in the system's order (topmost first).
    virtual std::vector<WindowId> TopLevelWindows() = 0;
    virtual WindowId ForegroundWindow() = 0;
    // The owner of a top-level window; kNoWindow when it has none.
    virtual WindowId Owner(WindowId window) = 0;
    virtual WindowId DesktopWindow() = 0;
    virtual std::uint32_t ExStyle(WindowId window) = 0;
    virtual bool IsVisible(WindowId window) = 0;
    virtual bool IsIconic(WindowId window) = 0;
    virtual bool IsZoomed(WindowId window) = 0;
    virtual bool Exists(WindowId window) = 0;
    // All zeros when the window is gone.
    virtual WindowOrigin Origin(WindowId window) = 0;
    virtual std::uint32_t OwnProcessId() = 0;
    // The caption as UTF-8; empty when the window has none or does not answer in time.
    virtual std::string Caption(WindowId window) = 0;
    // The window's icon, or a plain white square when it has none. Never null.
    virtual std::unique_ptr<WindowPicture> Picture(WindowId window) = 0;
    // Queued to the window's own thread, in order; returns at once. (A direct command would wait
    // for that thread, however long the program takes.) Queued says nothing of when, or whether,
    // the window's thread gets to it.
    virtual ShowResult ShowAsync(WindowId window, ShowCommand command) = 0;
    // What decides whether the window is ever hidden. Never asks the window's program.
    virtual WindowTraits Traits(WindowId window) = 0;
    // The caption animation between the window and the tray area.
    virtual void AnimateTray(WindowId window, bool fromTray) = 0;
    // What a rule looks at in the window, the caption only when asked for (a window just created
    // is often still busy and has none yet); nullopt when the window is gone.
    virtual std::optional<WindowFacts> Facts(WindowId window, bool withCaption) = 0;
    // Whether a window being minimised goes back to maximised when restored: the state a
    // "minimise" rule brings it back in.
    virtual bool RestoresToMaximized(WindowId window) = 0;
};

}  // namespace quenvix::core
