#pragma once
// The hotkey detector. It registers no hotkey with the system: it reads the keyboard state, turns
// it into a key text and, when a new combination shows up, either names the hotkey that has that
// text (detection) or reports the text itself (recording, for the dialog in which the user presses
// a new combination). Where the platform reports key events, detection runs at each event and
// polls only while a key is held, so an idle keyboard costs nothing; without events it polls.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/held_keys.h"
#include "core/liveness.h"
#include "core/ports/key_state.h"
#include "core/ports/timer.h"

namespace quenvix::core {

// One named hotkey. `Name` is also the value name its key text is stored under; `Key` is the
// text detection compares, `DefaultKey` the one it was registered with.
struct Hotkey {
    std::string Name;
    std::string Description;
    std::string DefaultKey;
    std::string Key;
};

// The detector's hotkeys in registration order; a hotkey's index is its position. Items keep
// their address until the list is cleared, so a settings list may hold plain pointers to them.
class HotkeyList {
  public:
    std::size_t Count() const noexcept { return items_.size(); }
    Hotkey& Item(std::size_t index);
    const Hotkey& Item(std::size_t index) const;
    // Frees every hotkey: pointers handed out by FillList dangle afterwards.
    void Clear() noexcept { items_.clear(); }
    Hotkey& Add(Hotkey key);

  private:
    std::vector<std::unique_ptr<Hotkey>> items_;
};

// Called with the index of the hotkey that was pressed.
using HotkeyEvent = std::function<void(std::uint16_t index)>;
// Called with the key text of a newly recorded combination.
using KeyRecordEvent = std::function<void(const std::string& text)>;
// Lines of a settings list: the hotkey's description and the hotkey itself.
using HotkeyLines = std::vector<std::pair<std::string, Hotkey*>>;

class HotkeyDetector : public KeyEventSink {
  public:
    static constexpr std::uint32_t kDetectInterval = 50;
    static constexpr std::uint32_t kRecordInterval = 100;

    // Both timers are made here, disabled; the detector owns them. `keys` must outlive it.
    HotkeyDetector(const KeyState& keys, TimerFactory& timers);
    HotkeyDetector(const HotkeyDetector&) = delete;
    HotkeyDetector& operator=(const HotkeyDetector&) = delete;
    // Stops both timers for good: no tick runs afterwards, also when called from a callback.
    ~HotkeyDetector() override;

    // Appends a hotkey; duplicate names or texts and empty texts are taken as they are (the first
    // of two equal texts wins, an empty text never fires).
    Hotkey& AddHotkey(std::string_view name, std::string_view description,
                      std::string_view keyText);

    // Replaces `strings` with one line per hotkey. Throws core::Error, leaving `strings` as it was,
    // when no hotkey has been added.
    void FillList(HotkeyLines& strings);

    // Calls `onHotkey` with the index of the first hotkey whose key text equals a newly pressed
    // combination. Polls every 50 ms; when following key events, only while a key is held.
    void StartDetect(HotkeyEvent onHotkey);
    // The opposite of StartDetect: the next detection tick is the last, and key events are only
    // taken note of.
    void StopDetect() noexcept { detectStopped_ = true; }

    // From now on every key going down or up is reported through OnKeyEvent, so the detection
    // tick runs only while a key is held. Without it (the platform refused to report keys) the
    // detector polls all the time.
    void FollowKeyEvents() noexcept { followEvents_ = true; }
    bool FollowsKeyEvents() const noexcept { return followEvents_; }
    // A key went down (auto-repeats included) or up. Runs a detection at once, with this key
    // taken as the event says even where the keyboard state does not show it yet. Left and right
    // modifiers may be given by their own codes. Ignored unless following key events.
    void OnKeyEvent(std::uint16_t code, bool down) override;

    // Polls every 100 ms and reports each new combination to `onRecord`. Detection is suspended
    // from here until the recording timer's tick after StopRecord.
    void StartRecord(KeyRecordEvent onRecord);
    void StopRecord() noexcept { recordStopped_ = true; }

    // The key text of the keys down now.
    std::string GetKeyText() const;

    HotkeyList& Hotkeys() noexcept { return hotkeys_; }
    const HotkeyList& Hotkeys() const noexcept { return hotkeys_; }

  private:
    void DetectTimer();
    void RecordTimer();
    // Fires the hotkey whose text this is, if it is a new combination.
    void Detect(const std::string& text);
    bool Detecting() const noexcept { return detecting_ && !detectStopped_; }
    // Whether `timer` should tick again: the detection tick stops once events say all is let go.
    bool KeepsTicking(const Timer& timer) const noexcept;
    const KeyState& Keyboard() const noexcept {
        return followEvents_ ? static_cast<const KeyState&>(held_) : keys_;
    }
    // Each mode starts as if every key had just been let go.
    void ForgetLastText() noexcept;
    // The key text for a tick: read afresh, or the last one when no input has arrived since.
    std::string PollKeyText(const KeyState& keys);
    // Whether `text` is a new combination; remembers it when it is.
    bool Accept(const std::string& text);
    // Runs `body` and re-enables `timer` on every way out, exceptions included; skipped when a
    // callback inside `body` destroyed the detector.
    template <class Body>
    void RunRearmed(Timer& timer, Body&& body);

    HotkeyList hotkeys_;
    const KeyState& keys_;
    std::unique_ptr<Timer> detectTimer_;
    std::unique_ptr<Timer> recordTimer_;
    bool detectStopped_ = false;
    bool detecting_ = false;
    bool followEvents_ = false;
    bool inAction_ = false;
    HeldKeys held_{keys_};
    bool recordStopped_ = false;
    HotkeyEvent onHotkey_;
    KeyRecordEvent onRecord_;
    std::string lastText_;
    bool released_ = true;
    // The last text read while input was quiet, and the input stamp it belongs to.
    bool pollCacheValid_ = false;
    std::uint32_t cachedInputMs_ = 0;
    const KeyState* cachedSource_ = nullptr;
    std::string cachedText_;
    // Expires with the detector, so a tick can tell that its callback freed it.
    Liveness liveness_;
};

}  // namespace quenvix::core
