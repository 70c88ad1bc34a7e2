#include "core/key_chord.h"

#include "core/key_text.h"
#include "core/ports/key_state.h"

namespace quenvix::core {
namespace {

// Exactly the keys of one chord are down.
class ChordKeys : public KeyState {
  public:
    explicit ChordKeys(const KeyChord& chord) : chord_(chord) {}
    bool IsKeyDown(std::uint16_t code) const override {
        return code == chord_.key || (code == vk::kControl && chord_.ctrl) ||
               (code == vk::kMenu && chord_.alt) || (code == vk::kShift && chord_.shift);
    }

  private:
    KeyChord chord_;
};

bool IsModifier(std::uint16_t code) {
    return code == vk::kControl || code == vk::kMenu || code == vk::kShift;
}

}  // namespace

std::optional<KeyChord> ChordOfKeyText(std::string_view text) {
    if (text.empty()) return std::nullopt;
    for (std::uint16_t key = 1; key <= vk::kF13; ++key) {
        const bool named =
            !KeyName(key).empty() || (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z');
        if (!named || IsModifier(key)) continue;
        for (int mods = 0; mods < 8; ++mods) {
            const KeyChord chord{(mods & 1) != 0, (mods & 2) != 0, (mods & 4) != 0, key};
            if (GetKeyText(ChordKeys(chord)) == text) return chord;
        }
    }
    return std::nullopt;
}

}  // namespace quenvix::core
