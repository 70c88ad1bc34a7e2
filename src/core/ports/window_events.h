#pragma once
// The comings and goings of other programs' windows, as the rules follow them.
#include <functional>

#include "core/ports/desktop.h"

namespace quenvix::core {

enum class RuleEvent { Created, Shown, MinimizeStarted, CaptionChanged, Destroyed };

// The system's window events, followed only while some rule is on.
class WindowEvents {
  public:
    using Handler = std::function<void(RuleEvent event, WindowId window)>;
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
