#pragma once
// The keyboard as key events tell it. Events say at once which key went down or up, where the
// live key state may still lag behind the very event being handled; the live state in turn
// knows about keys whose event never reached us (a key let go while the secure desktop or an
// elevated window had the focus). A key counts as down when either says so, except the key of
// the event being handled, which is taken from the event.
#include <array>
#include <cstdint>
#include <optional>

#include "core/ports/key_state.h"

namespace quenvix::core {

class HeldKeys : public KeyState {
  public:
    // `live` must outlive this object.
    explicit HeldKeys(const KeyState& live) : live_(live) {}

    // A key went down (an auto-repeat is a down as well) or up. Until EndEvent, IsKeyDown answers
    // about this key from the event alone. Returns false for a repeat of a key already held,
    // which changes nothing. Left and right modifiers may come as their own codes.
    bool BeginEvent(std::uint16_t code, bool down);
    void EndEvent() noexcept { event_.reset(); }

    // A key-up that never came (the key was let go while the secure desktop or an elevated window
    // had the focus) must not keep a key down for ever, so held keys are checked against the live
    // state; but a key only just pressed may not show there yet. Check runs at intervals at least
    // as long as that lag: it drops a key held since the previous check that the live state shows
    // up. Between checks, DropLost drops only keys held since before the previous check, which are
    // at least one interval old. Both return true when a key was dropped.
    bool Check();
    bool DropLost();

    // Whether the left Ctrl that is down came with AltGr rather than from the user's own Ctrl key.
    // Windows turns AltGr into two events, a made-up left Ctrl down and right at its heels the
    // right Alt down, and lets both go together; on such layouts Ctrl+Alt also types what AltGr
    // types. A chord with AltGr is therefore not a Ctrl+Alt chord: that left Ctrl is not counted
    // (as Ctrl or left Ctrl) until it goes up. A right Ctrl held meanwhile still counts.
    bool AltGrHeld() const noexcept { return altGrCtrl_; }

    // Whether any key is held as far as the events tell.
    bool AnyHeld() const noexcept { return heldCount_ > 0; }
    void Clear() noexcept;

    bool IsKeyDown(std::uint16_t code) const override;
    std::optional<InputClock> ReadInputClock() const override { return live_.ReadInputClock(); }

  private:
    // How many checks have seen the key held: a key becomes Settled at its second check.
    enum class Hold : std::uint8_t { Up, Fresh, Seen, Settled };
    struct Event {
        std::uint16_t code;
        bool down;
    };
    bool Held(std::uint16_t code) const noexcept;
    bool Drop(Hold oldest);
    void Set(std::uint16_t code, Hold hold) noexcept;

    void NoteAltGr(std::uint16_t code, bool down, bool repeat) noexcept;

    const KeyState& live_;
    // The last event was a left Ctrl going down (not a repeat): the first half of AltGr, maybe.
    bool freshLeftCtrl_ = false;
    bool altGrCtrl_ = false;
    std::array<Hold, 256> held_{};
    int heldCount_ = 0;
    std::optional<Event> event_;
};

}  // namespace quenvix::core
