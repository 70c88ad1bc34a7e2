#include "core/peek_key.h"

#include "core/error.h"
#include "core/key_text.h"

namespace quenvix::core {

TShortKey& TShortKeyList::Item(std::size_t index) {
    return const_cast<TShortKey&>(std::as_const(*this).Item(index));
}

const TShortKey& TShortKeyList::Item(std::size_t index) const {
    if (index >= items_.size()) {
        throw Error("List index out of bounds (" + std::to_string(index) + ")");
    }
    return *items_[index];
}

TShortKey& TShortKeyList::Add(TShortKey key) {
    items_.push_back(std::make_unique<TShortKey>(std::move(key)));
    return *items_.back();
}

TPeekKey::TPeekKey(const KeyState& keys, TimerFactory& timers)
    : keys_(keys), FDetectTimer(timers.MakeTimer()), FRecordTimer(timers.MakeTimer()) {
    FDetectTimer->SetEnabled(false);
    FDetectTimer->SetInterval(kDetectInterval);
    FDetectTimer->SetOnTick([this] { DetectTimer(); });
    FRecordTimer->SetEnabled(false);
    FRecordTimer->SetInterval(kRecordInterval);
    FRecordTimer->SetOnTick([this] { RecordTimer(); });
}

TPeekKey::~TPeekKey() {
    FDetectTimer.reset();
    FRecordTimer.reset();
}

TShortKey& TPeekKey::AddShortKey(std::string_view name, std::string_view description,
                                 std::string_view keyText) {
    return FList.Add(TShortKey{std::string(name), std::string(description), std::string(keyText),
                               std::string(keyText)});
}

void TPeekKey::FillList(ShortKeyLines& strings) {
    if (FList.Count() == 0) throw Error("TPeekKey.FillList. No Shortkey has been added");
    ShortKeyLines lines;
    lines.reserve(FList.Count());
    for (std::size_t i = 0; i < FList.Count(); ++i) {
        TShortKey& key = FList.Item(i);
        lines.emplace_back(key.Description, &key);
    }
    strings = std::move(lines);
}

void TPeekKey::StartDetect(TShortKeyEvent onShortKey) {
    FDetectStopped = false;
    detecting_ = true;
    ForgetLastText();
    OnShortKey = std::move(onShortKey);
    FDetectTimer->SetEnabled(true);
}

void TPeekKey::StartRecord(TKeyRecordEvent onRecord) {
    FRecordStopped = false;
    ForgetLastText();
    OnRecord = std::move(onRecord);
    FRecordTimer->SetEnabled(true);
}

std::string TPeekKey::GetKeyText() const {
    return core::GetKeyText(keys_);
}

std::string TPeekKey::PollKeyText(const KeyState& keys) {
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

void TPeekKey::ForgetLastText() noexcept {
    FLastText.clear();
    FReleased = true;
}

bool TPeekKey::Accept(const std::string& text) {
    if (text.empty()) {
        FReleased = true;
        return false;
    }
    // While something stays held, only a new combination counts: the same one held on (or
    // pressed again with the rest of the chord still down) and the partial chords left while
    // letting go one key at a time are not new. Once a tick has seen everything let go, any
    // press is new, even one that equals the last combination: a quick re-press of the same
    // chord, or a hotkey that is a modifier alone, fires every time.
    if (!FReleased && (text == FLastText || text.size() < FLastText.size())) return false;
    FLastText = text;
    FReleased = false;
    return true;
}

bool TPeekKey::KeepsTicking(const Timer& timer) const noexcept {
    return &timer != FDetectTimer.get() || !followEvents_ || held_.AnyHeld();
}

template <class Body>
void TPeekKey::RunRearmed(Timer& timer, Body&& body) {
    const std::weak_ptr<const bool> alive = alive_;
    try {
        body();
    } catch (...) {
        if (!alive.expired()) timer.SetEnabled(KeepsTicking(timer));
        throw;
    }
    if (!alive.expired()) timer.SetEnabled(KeepsTicking(timer));
}

void TPeekKey::Detect(const std::string& text) {
    if (!Accept(text)) return;
    for (std::size_t i = 0; i < FList.Count(); ++i) {
        if (FList.Item(i).Key != text) continue;
        if (!OnShortKey) return;
        // A hotkey's action may run a modal loop, where more key events arrive: they are taken
        // note of, and the tick judges them once the action is over, as it would have without
        // events.
        const TShortKeyEvent callback = OnShortKey;
        const std::weak_ptr<const bool> alive = alive_;
        inAction_ = true;
        try {
            callback(static_cast<std::uint16_t>(i));
        } catch (...) {
            if (!alive.expired()) inAction_ = false;
            throw;
        }
        if (!alive.expired()) inAction_ = false;
        return;
    }
}

void TPeekKey::DetectTimer() {
    FDetectTimer->SetEnabled(false);
    if (FDetectStopped) return;
    RunRearmed(*FDetectTimer, [this] {
        // A key let go where we could not see it is forgotten here at the latest.
        if (followEvents_ && held_.Check()) pollCacheValid_ = false;
        // A recording, running or ending, has the keyboard to itself; and a hotkey's action
        // that runs a modal loop (where this tick can come) is not interrupted by another.
        if (FRecordTimer->Enabled() || inAction_) return;
        Detect(PollKeyText(Keyboard()));
    });
}

void TPeekKey::OnKeyEvent(std::uint16_t code, bool down) {
    if (!followEvents_) return;
    const bool dropped = held_.DropLost();
    const bool changed = held_.BeginEvent(code, down);
    // The event is input the input clock may not show yet: the next tick reads afresh.
    pollCacheValid_ = false;
    // While a key is held the tick keeps watch; enabling a running tick does not postpone it.
    if (Detecting() && held_.AnyHeld()) FDetectTimer->SetEnabled(true);
    // An auto-repeat changes nothing, and a recording has the keyboard to itself.
    if (!Detecting() || inAction_ || FRecordTimer->Enabled() || (!changed && !dropped)) {
        held_.EndEvent();
        return;
    }
    const std::string text = core::GetKeyText(held_);
    held_.EndEvent();
    Detect(text);
}

void TPeekKey::RecordTimer() {
    FRecordTimer->SetEnabled(false);
    if (FRecordStopped) return;
    RunRearmed(*FRecordTimer, [this] {
        const std::string text = PollKeyText(keys_);
        if (!Accept(text) || !OnRecord) return;
        const TKeyRecordEvent callback = OnRecord;
        callback(text);
    });
}

}  // namespace quenvix::core
