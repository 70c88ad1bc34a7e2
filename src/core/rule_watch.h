#pragma once
// The bookkeeping around rules: windows just created that we wait to see shown, and the windows
// an "appear" rule must leave alone for the rest of their lives.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/ports/desktop.h"

namespace quenvix::core {

// One window for the whole of its life: its handle and its origin, which tells a later window
// that got the same handle from the one we knew, as the hider tells them.
struct WindowKey {
    WindowId window = kNoWindow;
    WindowOrigin origin;

    friend bool operator==(const WindowKey&, const WindowKey&) = default;
};

// The origin as the hider records it: the two tell a reused handle from its window alike.
inline WindowKey KeyOf(Desktop& desktop, WindowId window) {
    return {window, desktop.Origin(window)};
}

struct WindowKeyHash {
    std::size_t operator()(const WindowKey& key) const noexcept;
};

// Windows that "appear" rules no longer hide: the ones a rule hid once already (if their program
// shows them again, hiding them again would only fight it) and the ones the user brought back.
// Bounded: the oldest are dropped first, by then nearly always long dead.
inline constexpr std::size_t kRuleMemoryCapacity = 4096;

class RuleMemory {
  public:
    explicit RuleMemory(std::size_t capacity = kRuleMemoryCapacity);

    // Remembered again, a window counts as the newest.
    void Remember(const WindowKey& key);
    bool Contains(const WindowKey& key) const;
    std::size_t Size() const { return index_.size(); }
    // Oldest first.
    std::vector<WindowKey> Keys() const { return {order_.begin(), order_.end()}; }

  private:
    std::size_t capacity_;
    std::list<WindowKey> order_;  // oldest first
    std::unordered_map<WindowKey, std::list<WindowKey>::iterator, WindowKeyHash> index_;
};

// The windows the user brought back, kept in the settings so that a restart of the program (an
// update, say) does not hide them again while they live: one line per window, "handle pid thread
// start" in decimal. Only the newest are kept; a line that is not exactly that is skipped.
inline constexpr std::size_t kBroughtBackKept = 256;
std::string EncodeWindowKeys(const std::vector<WindowKey>& keys);
std::vector<WindowKey> DecodeWindowKeys(std::string_view text);

// Windows just created, watched until they are shown. A program creates its window hidden and
// shows it a moment later; the system does not tell every listener when it shows, so the shell
// looks again at each watched window on a short timer, which runs only while a watch is pending.
inline constexpr std::uint64_t kWatchLifetimeMs = 3000;
inline constexpr std::uint64_t kWatchStepMs = 100;
// A burst of new windows beyond this drops the oldest watches.
inline constexpr std::size_t kMaxWatches = 64;

enum class WatchLook {
    Wait,   // not shown yet: look again next step
    Ready,  // shown and eligible: the rules decide now
    Drop,   // gone, or never to be hidden: stop watching
};

class WatchList {
  public:
    explicit WatchList(std::size_t capacity = kMaxWatches,
                       std::uint64_t lifetimeMs = kWatchLifetimeMs);

    // Starts watching; a window watched already keeps its first start. `nowMs` and every later
    // time come from one steady millisecond clock.
    void Watch(WindowId window, std::uint64_t nowMs);
    // Forgets a window (it was hidden, or destroyed).
    void Unwatch(WindowId window);
    bool Empty() const { return watches_.empty(); }
    std::size_t Size() const { return watches_.size(); }

    // One timer step: looks at every watched window and returns those that are ready, in the
    // order they were created; ready, dropped and expired windows are watched no more.
    std::vector<WindowId> Step(std::uint64_t nowMs,
                               const std::function<WatchLook(WindowId window)>& look);

  private:
    struct Watch_ {
        WindowId window;
        std::uint64_t since;
    };
    std::size_t capacity_;
    std::uint64_t lifetimeMs_;
    std::vector<Watch_> watches_;  // oldest first
};

}  // namespace quenvix::core
