#include "core/held_keys.h"

namespace quenvix::core {
namespace {

// The key text names the modifiers by their common code; events may name a side.
struct Sides {
    std::uint16_t left, right;
};
std::optional<Sides> SidesOf(std::uint16_t code) noexcept {
    switch (code) {
        case vk::kShift:
            return Sides{vk::kLShift, vk::kRShift};
        case vk::kControl:
            return Sides{vk::kLControl, vk::kRControl};
        case vk::kMenu:
            return Sides{vk::kLMenu, vk::kRMenu};
        default:
            return std::nullopt;
    }
}

std::uint16_t CommonCode(std::uint16_t code) noexcept {
    for (std::uint16_t common : {vk::kShift, vk::kControl, vk::kMenu}) {
        const Sides sides = *SidesOf(common);
        if (code == sides.left || code == sides.right) return common;
    }
    return code;
}

}  // namespace

bool HeldKeys::BeginEvent(std::uint16_t code, bool down) {
    code &= 0xFF;
    const bool repeat = down && held_[code] != Hold::Up;
    event_ = Event{code, down};
    NoteAltGr(code, down, repeat);
    if (!repeat) Set(code, down ? Hold::Fresh : Hold::Up);
    return !repeat;
}

void HeldKeys::NoteAltGr(std::uint16_t code, bool down, bool repeat) noexcept {
    // Only the order tells AltGr from Ctrl and right Alt pressed by hand: nothing comes between
    // the made-up Ctrl and the right Alt. A left Ctrl already held (the user's) is not taken.
    if (code == vk::kRMenu && down && freshLeftCtrl_) altGrCtrl_ = true;
    if (code == vk::kLControl && !down) altGrCtrl_ = false;
    freshLeftCtrl_ = code == vk::kLControl && down && !repeat;
}

bool HeldKeys::Drop(Hold oldest) {
    bool dropped = false;
    for (std::uint16_t code = 0; heldCount_ > 0 && code < held_.size(); ++code) {
        if (held_[code] >= oldest && !live_.IsKeyDown(code)) {
            Set(code, Hold::Up);
            dropped = true;
        }
    }
    return dropped;
}

bool HeldKeys::Check() {
    const bool dropped = Drop(Hold::Seen);
    for (Hold& hold : held_) {
        if (hold == Hold::Fresh) {
            hold = Hold::Seen;
        } else if (hold == Hold::Seen) {
            hold = Hold::Settled;
        }
    }
    return dropped;
}

bool HeldKeys::DropLost() {
    return Drop(Hold::Settled);
}

void HeldKeys::Clear() noexcept {
    held_.fill(Hold::Up);
    heldCount_ = 0;
    event_.reset();
    freshLeftCtrl_ = altGrCtrl_ = false;
}

bool HeldKeys::Held(std::uint16_t code) const noexcept {
    if (held_[code] != Hold::Up) return true;
    const std::optional<Sides> sides = SidesOf(code);
    return sides && (held_[sides->left] != Hold::Up || held_[sides->right] != Hold::Up);
}

void HeldKeys::Set(std::uint16_t code, Hold hold) noexcept {
    heldCount_ += (hold != Hold::Up) - (held_[code] != Hold::Up);
    held_[code] = hold;
}

bool HeldKeys::IsKeyDown(std::uint16_t code) const {
    if (code >= held_.size()) return false;
    if (altGrCtrl_) {
        // The live state shows AltGr's Ctrl as Ctrl too: only the right one can count.
        if (code == vk::kLControl) return false;
        if (code == vk::kControl) code = vk::kRControl;
    }
    if (event_ && (code == event_->code || code == CommonCode(event_->code))) {
        // The live state may not show this event yet, in either direction. A modifier let go on
        // one side is still down while the other side is held.
        return event_->down || Held(code);
    }
    return Held(code) || live_.IsKeyDown(code);
}

}  // namespace quenvix::core
