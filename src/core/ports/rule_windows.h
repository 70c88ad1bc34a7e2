#pragma once
// Other programs' windows as the rules see them: the facts a rule looks at, the key that tells a
// window from a later one with the same handle, and the events of their comings and goings.
#include <cstdint>
#include <functional>
#include <optional>

#include "core/rule_watch.h"
#include "core/rules.h"

namespace quenvix::core {

enum class RuleEvent { Created, Shown, MinimizeStarted, CaptionChanged, Destroyed };

// What every reader of windows for the rules answers.
class RuleWindowFacts {
  public:
    virtual ~RuleWindowFacts() = default;
    // The window's facts, the caption only when asked for; nullopt when the window is gone.
    virtual std::optional<WindowFacts> Facts(std::uint64_t window, bool withCaption) = 0;
    virtual WindowKey Key(std::uint64_t window) = 0;
};

class RuleWindows : public RuleWindowFacts {
  public:
    // Whether a window being minimised goes back to maximised when restored: the state a
    // "minimise" rule brings it back in.
    virtual bool RestoresToMaximized(std::uint64_t window) = 0;
};

// The system's window events, followed only while some rule is on.
class WindowEvents {
  public:
    using Handler = std::function<void(RuleEvent event, std::uint64_t window)>;
    virtual ~WindowEvents() = default;
    // Hands every creation, show, minimise start and destroy of another program's top-level
    // window to `handler`, and caption changes too when asked (each costs a call, for every
    // program's every caption). Following again replaces the earlier handler.
    virtual void Follow(Handler handler, bool captionChanges) = 0;
    virtual void Stop() = 0;
    virtual bool Following() const = 0;
    virtual bool FollowsCaptionChanges() const = 0;
};

}  // namespace quenvix::core
