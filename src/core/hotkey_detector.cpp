#include "core/hotkey_detector.h"

#include "core/error.h"
#include "core/key_text.h"

namespace quenvix::core {

Hotkey& HotkeyList::Item(std::size_t index) {
    return const_cast<Hotkey&>(std::as_const(*this).Item(index));
}

const Hotkey& HotkeyList::Item(std::size_t index) const {
    if (index >= items_.size()) {
        throw Error("List index out of bounds (" + std::to_string(index) + ")");
    }
    return *items_[index];
}

Hotkey& HotkeyList::Add(Hotkey key) {
    items_.push_back(std::make_unique<Hotkey>(std::move(key)));
    return *items_.back();
}

HotkeyDetector::HotkeyDetector(const KeyState& keys, TimerFactory& timers)
    : keys_(keys), detectTimer_(timers.MakeTimer()), recordTimer_(timers.MakeTimer()) {
    detectTimer_->SetEnabled(false);
    detectTimer_->SetInterval(kDetectInterval);
    detectTimer_->SetOnTick([this] { DetectTimer(); });
    recordTimer_->SetEnabled(false);
    recordTimer_->SetInterval(kRecordInterval);
    recordTimer_->SetOnTick([this] { RecordTimer(); });
}

HotkeyDetector::~HotkeyDetector() {
    detectTimer_.reset();
    recordTimer_.reset();
}

Hotkey& HotkeyDetector::AddHotkey(std::string_view name, std::string_view description,
                                  std::string_view keyText) {
    return hotkeys_.Add(Hotkey{std::string(name), std::string(description), std::string(keyText),
                               std::string(keyText)});
}

void HotkeyDetector::FillList(HotkeyLines& strings) {
    if (hotkeys_.Count() == 0) throw Error("HotkeyDetector.FillList. No Shortkey has been added");
    HotkeyLines lines;
    lines.reserve(hotkeys_.Count());
    for (std::size_t i = 0; i < hotkeys_.Count(); ++i) {
        Hotkey& key = hotkeys_.Item(i);
        lines.emplace_back(key.Description, &key);
    }
    strings = std::move(lines);
}

void HotkeyDetector::StartDetect(HotkeyEvent onHotkey) {
    detectStopped_ = false;
    detecting_ = true;
    ForgetLastText();
    onHotkey_ = std::move(onHotkey);
    detectTimer_->SetEnabled(true);
}

void HotkeyDetector::StartRecord(KeyRecordEvent onRecord) {
    recordStopped_ = false;
    ForgetLastText();
    onRecord_ = std::move(onRecord);
    recordTimer_->SetEnabled(true);
}

std::string HotkeyDetector::GetKeyText() const {
    return core::GetKeyText(keys_);
}

std::string HotkeyDetector::PollKeyText(const KeyState& keys) {
    // Reading every key costs far more than asking whether any input arrived at all, and a
    // poll every 50 ms nearly always finds the keyboard as it was. The input clock is coarse
    // (about 16 ms on Windows): input that arrives just after a reading may carry the same
    // stamp as the input before it, so a reading is reused only when the last input lies well
    // before it; anything that arrives later then carries a later stamp.
    constexpr std::uint32_t kQuietMs = 64;
    const std::optional<InputClock> clock = keys.ReadInputClock();
    if (clock && pollCacheValid_ && cachedSource_ == &keys &&
        clock->lastInputMs == cachedInputMs_) {
        return cachedText_;
    }
    std::string text = core::GetKeyText(keys);
    pollCacheValid_ =
        clock && static_cast<std::uint32_t>(clock->nowMs - clock->lastInputMs) >= kQuietMs;
    if (pollCacheValid_) {
        cachedInputMs_ = clock->lastInputMs;
        cachedSource_ = &keys;
        cachedText_ = text;
    }
    return text;
}

void HotkeyDetector::ForgetLastText() noexcept {
    lastText_.clear();
    released_ = true;
}

bool HotkeyDetector::Accept(const std::string& text) {
    if (text.empty()) {
        released_ = true;
        return false;
    }
    // While something stays held, only a new combination counts: the same one held on (or
    // pressed again with the rest of the chord still down) and the partial chords left while
    // letting go one key at a time are not new. Once a tick has seen everything let go, any
    // press is new, even one that equals the last combination: a quick re-press of the same
    // chord, or a hotkey that is a modifier alone, fires every time.
    if (!released_ && (text == lastText_ || text.size() < lastText_.size())) return false;
    lastText_ = text;
    released_ = false;
    return true;
}

bool HotkeyDetector::KeepsTicking(const Timer& timer) const noexcept {
    return &timer != detectTimer_.get() || !followEvents_ || held_.AnyHeld();
}

template <class Body>
void HotkeyDetector::RunRearmed(Timer& timer, Body&& body) {
    const Liveness::Watch alive = liveness_.Observe();
    try {
        body();
    } catch (...) {
        if (alive.Alive()) timer.SetEnabled(KeepsTicking(timer));
        throw;
    }
    if (alive.Alive()) timer.SetEnabled(KeepsTicking(timer));
}

void HotkeyDetector::Detect(const std::string& text) {
    if (!Accept(text)) return;
    for (std::size_t i = 0; i < hotkeys_.Count(); ++i) {
        if (hotkeys_.Item(i).Key != text) continue;
        if (!onHotkey_) return;
        // A hotkey's action may run a modal loop, where more key events arrive: they are taken
        // note of, and the tick judges them once the action is over, as it would have without
        // events.
        const HotkeyEvent callback = onHotkey_;
        const Liveness::Watch alive = liveness_.Observe();
        inAction_ = true;
        try {
            callback(static_cast<std::uint16_t>(i));
        } catch (...) {
            if (alive.Alive()) inAction_ = false;
            throw;
        }
        if (alive.Alive()) inAction_ = false;
        return;
    }
}

void HotkeyDetector::DetectTimer() {
    detectTimer_->SetEnabled(false);
    if (detectStopped_) return;
    RunRearmed(*detectTimer_, [this] {
        // A key let go where we could not see it is forgotten here at the latest.
        if (followEvents_ && held_.Check()) pollCacheValid_ = false;
        // A recording, running or ending, has the keyboard to itself; and a hotkey's action
        // that runs a modal loop (where this tick can come) is not interrupted by another.
        if (recordTimer_->Enabled() || inAction_) return;
        Detect(PollKeyText(Keyboard()));
    });
}

void HotkeyDetector::OnKeyEvent(std::uint16_t code, bool down) {
    if (!followEvents_) return;
    const bool dropped = held_.DropLost();
    const bool changed = held_.BeginEvent(code, down);
    // The event is input the input clock may not show yet: the next tick reads afresh.
    pollCacheValid_ = false;
    // While a key is held the tick keeps watch; enabling a running tick does not postpone it.
    if (Detecting() && held_.AnyHeld()) detectTimer_->SetEnabled(true);
    // An auto-repeat changes nothing, and a recording has the keyboard to itself.
    if (!Detecting() || inAction_ || recordTimer_->Enabled() || (!changed && !dropped)) {
        held_.EndEvent();
        return;
    }
    const std::string text = core::GetKeyText(held_);
    held_.EndEvent();
    Detect(text);
}

void HotkeyDetector::RecordTimer() {
    recordTimer_->SetEnabled(false);
    if (recordStopped_) return;
    RunRearmed(*recordTimer_, [this] {
        // The events, where they are followed, tell AltGr from Ctrl+Alt; the live state cannot,
        // and a chord recorded from it would fire while the user types @ or €.
        if (followEvents_ && held_.Check()) pollCacheValid_ = false;
        const std::string text = PollKeyText(Keyboard());
        if (!Accept(text) || !onRecord_) return;
        const KeyRecordEvent callback = onRecord_;
        callback(text);
    });
}

}  // namespace quenvix::core
