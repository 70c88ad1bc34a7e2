#include "core/rule_watch.h"

#include <algorithm>
#include <charconv>

namespace quenvix::core {

std::size_t WindowKeyHash::operator()(const WindowKey& key) const noexcept {
    std::uint64_t h = key.window * 0x9E3779B97F4A7C15ull;
    const WindowOrigin& o = key.origin;
    h ^= (static_cast<std::uint64_t>(o.processId) << 32 | o.threadId) + (h << 6) + (h >> 2);
    h ^= o.processStartTime + (h << 6) + (h >> 2);
    return static_cast<std::size_t>(h);
}

std::string EncodeWindowKeys(const std::vector<WindowKey>& keys) {
    std::string text;
    const std::size_t first = keys.size() > kBroughtBackKept ? keys.size() - kBroughtBackKept : 0;
    for (std::size_t i = first; i < keys.size(); ++i) {
        const WindowKey& k = keys[i];
        text += std::to_string(k.window) + ' ' + std::to_string(k.origin.processId) + ' ' +
                std::to_string(k.origin.threadId) + ' ' +
                std::to_string(k.origin.processStartTime) + '\n';
    }
    return text;
}

namespace {

template <class T>
bool TakeNumber(std::string_view& rest, T& value) {
    const std::size_t end = std::min(rest.find(' '), rest.size());
    const auto [ptr, ec] = std::from_chars(rest.data(), rest.data() + end, value);
    if (ec != std::errc{} || ptr != rest.data() + end || end == 0) return false;
    rest.remove_prefix(std::min(end + 1, rest.size()));
    return true;
}

}  // namespace

std::vector<WindowKey> DecodeWindowKeys(std::string_view text) {
    std::vector<WindowKey> keys;
    while (!text.empty() && keys.size() < kBroughtBackKept) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        WindowKey k;
        WindowOrigin& o = k.origin;
        if (TakeNumber(line, k.window) && TakeNumber(line, o.processId) &&
            TakeNumber(line, o.threadId) && TakeNumber(line, o.processStartTime) && line.empty()) {
            keys.push_back(k);
        }
    }
    return keys;
}

RuleMemory::RuleMemory(std::size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

void RuleMemory::Remember(const WindowKey& key) {
    if (const auto found = index_.find(key); found != index_.end()) {
        order_.splice(order_.end(), order_, found->second);
        return;
    }
    if (index_.size() >= capacity_) {
        index_.erase(order_.front());
        order_.pop_front();
    }
    order_.push_back(key);
    index_.emplace(key, std::prev(order_.end()));
}

bool RuleMemory::Contains(const WindowKey& key) const {
    return index_.contains(key);
}

WatchList::WatchList(std::size_t capacity, std::uint64_t lifetimeMs)
    : capacity_(capacity == 0 ? 1 : capacity), lifetimeMs_(lifetimeMs) {}

void WatchList::Watch(WindowId window, std::uint64_t nowMs) {
    const auto same = [window](const Watch_& w) { return w.window == window; };
    if (std::any_of(watches_.begin(), watches_.end(), same)) return;
    if (watches_.size() >= capacity_) watches_.erase(watches_.begin());
    watches_.push_back({window, nowMs});
}

void WatchList::Unwatch(WindowId window) {
    std::erase_if(watches_, [window](const Watch_& w) { return w.window == window; });
}

std::vector<WindowId> WatchList::Step(std::uint64_t nowMs,
                                      const std::function<WatchLook(WindowId window)>& look) {
    std::vector<WindowId> ready;
    // Taken out first: `look` may start new watches (it asks the system, which can dispatch).
    std::vector<Watch_> current;
    current.swap(watches_);
    std::vector<Watch_> kept;
    for (const Watch_& w : current) {
        switch (look(w.window)) {
            case WatchLook::Ready:
                ready.push_back(w.window);
                break;
            case WatchLook::Drop:
                break;
            case WatchLook::Wait:
                // A clock that went back counts as no time passed.
                if (nowMs < w.since || nowMs - w.since < lifetimeMs_) kept.push_back(w);
                break;
        }
    }
    // Watches started during the step come after the older ones that remain.
    for (const Watch_& w : watches_) {
        const auto same = [&w](const Watch_& k) { return k.window == w.window; };
        if (std::none_of(kept.begin(), kept.end(), same)) kept.push_back(w);
    }
    if (kept.size() > capacity_)
        kept.erase(kept.begin(), kept.end() - static_cast<std::ptrdiff_t>(capacity_));
    watches_.swap(kept);
    return ready;
}

}  // namespace quenvix::core
