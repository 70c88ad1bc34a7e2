#include "core/rules.h"

#include <algorithm>
#include <array>
#include <exception>
#include <functional>
#include <string>
#include <utility>

#include "core/spared_windows.h"
#include "core/text.h"

namespace quenvix::core {
namespace {

constexpr char kSeparator = '\t';
constexpr std::size_t kFieldCount = 5;
constexpr std::string_view kOn = "1";
constexpr std::string_view kOff = "0";
constexpr std::string_view kAppear = "appear";
constexpr std::string_view kMinimise = "minimise";
// Name numbers up to nine digits: far more rules than anyone keeps, and never an overflow.
constexpr std::size_t kMaxNumberDigits = 9;

// C0 controls, DEL, and the C1 controls (U+0080 to U+009F, two bytes in UTF-8).
bool IsControlAt(std::string_view text, std::size_t pos, std::size_t& length) {
    const auto c = static_cast<unsigned char>(text[pos]);
    length = 1;
    if (c < 0x20 || c == 0x7F) return true;
    if (c == 0xC2 && pos + 1 < text.size()) {
        const auto next = static_cast<unsigned char>(text[pos + 1]);
        if (next >= 0x80 && next <= 0x9F) {
            length = 2;
            return true;
        }
    }
    return false;
}

bool HasControl(std::string_view text) {
    std::size_t length = 0;
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (IsControlAt(text, pos, length)) return true;
    }
    return false;
}

std::string WithoutControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t length = 0;
    for (std::size_t pos = 0; pos < text.size(); pos += length) {
        if (!IsControlAt(text, pos, length)) out.append(text.substr(pos, length));
    }
    return out;
}

// Blanks around a field: spaces, and the no-break space that text copied from a web page brings.
std::string_view Trimmed(std::string_view text) {
    constexpr std::string_view kNoBreakSpace = "\xC2\xA0";
    for (;;) {
        if (text.starts_with(' ')) {
            text.remove_prefix(1);
        } else if (text.starts_with(kNoBreakSpace)) {
            text.remove_prefix(kNoBreakSpace.size());
        } else if (text.ends_with(' ')) {
            text.remove_suffix(1);
        } else if (text.ends_with(kNoBreakSpace)) {
            text.remove_suffix(kNoBreakSpace.size());
        } else {
            return text;
        }
    }
}

// The small letter of a capital one, or the code point itself.
char32_t FoldCodePoint(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 0x20;
    if (c < 0xC0) return c;
    if (c <= 0xDE)
        return c == 0xD7 ? c : c + 0x20;         // Latin-1 capitals, not the multiplication sign
    if (c >= 0x100 && c <= 0x137) return c | 1;  // Latin Extended-A: capital even, small odd
    if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;
    if (c >= 0x14A && c <= 0x177) return c | 1;
    if (c == 0x178) return 0xFF;
    if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;  // Greek
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;                // Cyrillic
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

// Decodes the well-formed sequence at text[pos] (2 to 4 bytes); 0 length when it is not one.
std::size_t DecodeAt(std::string_view text, std::size_t pos, char32_t& c) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(text[pos + i]);
        if ((b & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b & 0x3F);
    }
    return length;
}

void Encode(char32_t c, std::string& out) {
    if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (c & 0x3F));
}

}  // namespace

bool HasMatch(const Rule& rule) {
    return !rule.executable.empty() || !rule.windowClass.empty() || !rule.caption.empty();
}

std::optional<Rule> ParseRule(std::string_view text) {
    std::array<std::string_view, kFieldCount> fields;
    std::size_t count = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(kSeparator, start);
        if (count == kFieldCount) return std::nullopt;
        fields[count++] =
            Trimmed(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    if (count != kFieldCount) return std::nullopt;
    for (const auto field : fields) {
        if (HasControl(field)) return std::nullopt;
    }
    Rule rule;
    if (fields[0] == kOn) {
        rule.enabled = true;
    } else if (fields[0] == kOff) {
        rule.enabled = false;
    } else {
        return std::nullopt;
    }
    if (fields[1] == kAppear) {
        rule.action = RuleAction::Appear;
    } else if (fields[1] == kMinimise) {
        rule.action = RuleAction::Minimise;
    } else {
        return std::nullopt;
    }
    rule.executable = fields[2];
    rule.windowClass = fields[3];
    rule.caption = fields[4];
    if (!HasMatch(rule)) return std::nullopt;
    return rule;
}

Rule CleanRule(Rule rule) {
    for (std::string* field : {&rule.executable, &rule.windowClass, &rule.caption}) {
        *field = std::string(Trimmed(WithoutControls(*field)));
    }
    return rule;
}

std::optional<std::string> FormatRule(const Rule& rule) {
    const Rule clean = CleanRule(rule);
    if (!HasMatch(clean)) return std::nullopt;
    std::string text;
    text.reserve(clean.executable.size() + clean.windowClass.size() + clean.caption.size() + 16);
    text += clean.enabled ? kOn : kOff;
    text += kSeparator;
    text += clean.action == RuleAction::Appear ? kAppear : kMinimise;
    for (const std::string* field : {&clean.executable, &clean.windowClass, &clean.caption}) {
        text += kSeparator;
        text += *field;
    }
    return text;
}

std::optional<std::uint32_t> RuleNumber(std::string_view name) {
    if (name.empty() || name.size() > kMaxNumberDigits || name[0] == '0') return std::nullopt;
    std::uint32_t number = 0;
    for (const char c : name) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return number;
}

StoredRules ReadRules(const RuleValueNames& names, const RuleValueReader& read,
                      const RuleProblemReport& report) {
    const auto skip = [&report](std::string_view name, std::string_view why) {
        if (report) report(name, why);
    };
    std::vector<std::pair<std::uint32_t, std::string>> numbered;
    for (std::string& name : names()) {
        if (const auto number = RuleNumber(name)) {
            numbered.emplace_back(*number, std::move(name));
        } else {
            skip(name, "its name is not a rule number");
        }
    }
    std::sort(numbered.begin(), numbered.end());
    StoredRules stored;
    for (const auto& [number, name] : numbered) {
        std::optional<std::string> text;
        try {
            text = read(name);
        } catch (const std::exception& e) {
            // A value of another type: the rules around it still count.
            skip(name, e.what());
            continue;
        }
        if (!text) continue;  // removed since the names were listed
        if (text->size() > kMaxRuleText) {
            skip(name, "longer than " + std::to_string(kMaxRuleText) + " bytes");
        } else if (auto rule = ParseRule(*text)) {
            stored.rules.push_back(std::move(*rule));
            stored.numbers.push_back(number);
        } else {
            skip(name, "not a rule");
        }
    }
    return stored;
}

void WriteRules(const std::vector<Rule>& rules, const std::vector<std::string>& present,
                std::vector<std::uint32_t>& ours, RuleValueWriter& writer) {
    const auto isOurs = [&ours](std::uint32_t number) {
        return std::find(ours.begin(), ours.end(), number) != ours.end();
    };
    std::vector<std::uint32_t> taken;  // by values we never read as rules: not ours to touch
    for (const std::string& name : present) {
        const auto number = RuleNumber(name);
        if (number && !isOurs(*number)) taken.push_back(*number);
    }
    std::sort(taken.begin(), taken.end());
    std::vector<std::uint32_t> written;
    std::uint32_t number = 0;
    for (const Rule& rule : rules) {
        const auto text = FormatRule(rule);
        if (!text) continue;
        do {
            ++number;
        } while (std::binary_search(taken.begin(), taken.end(), number));
        if (!isOurs(number)) ours.push_back(number);
        writer.Write(std::to_string(number), *text);
        written.push_back(number);
    }
    // The values of rules that are gone now; each leaves `ours` only once it is removed.
    for (std::size_t i = 0; i < ours.size();) {
        if (std::find(written.begin(), written.end(), ours[i]) != written.end()) {
            ++i;
            continue;
        }
        writer.Remove(std::to_string(ours[i]));
        ours.erase(ours.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

std::string FoldCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte < 0x80) {
            out += static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + 0x20 : byte);
            ++pos;
            continue;
        }
        char32_t c = 0;
        const std::size_t length = DecodeAt(text, pos, c);
        if (length == 0) {
            out += static_cast<char>(byte);  // not UTF-8: kept, compared as it is
            ++pos;
            continue;
        }
        const char32_t folded = FoldCodePoint(c);
        if (folded == c) {
            out.append(text.substr(pos, length));
        } else {
            Encode(folded, out);  // every folded letter lies below U+0800, as its capital does
        }
        pos += length;
    }
    return out;
}

bool IsEligible(const WindowFacts& facts) {
    return facts.topLevel && !facts.ownedByWindow && WhySpared(facts) == Spared::No;
}

// A rule's texts folded once; the caption is searched with a skip table, so that a long caption
// costs a fraction of its length per rule instead of a comparison at every character.
struct RuleSet::Folded {
    explicit Folded(const Rule& rule)
        : executable(FoldCase(rule.executable)),
          windowClass(FoldCase(rule.windowClass)),
          caption(FoldCase(rule.caption)),
          searcher(caption.begin(), caption.end()) {}
    Folded(const Folded&) = delete;  // the searcher points into `caption`
    Folded& operator=(const Folded&) = delete;

    std::string executable;
    std::string windowClass;
    std::string caption;
    std::boyer_moore_horspool_searcher<std::string::const_iterator> searcher;
};

struct RuleSet::Window {
    std::string executable;
    std::string windowClass;
    std::string caption;
};

RuleSet::RuleSet() = default;
RuleSet::RuleSet(RuleSet&&) noexcept = default;
RuleSet& RuleSet::operator=(RuleSet&&) noexcept = default;
RuleSet::~RuleSet() = default;

RuleSet::RuleSet(std::vector<Rule> rules) : rules_(std::move(rules)) {
    if (rules_.size() > kMaxRules) rules_.resize(kMaxRules);
    folded_.reserve(rules_.size());
    for (const Rule& rule : rules_) folded_.push_back(std::make_unique<Folded>(rule));
}

bool RuleSet::Has(RuleAction action) const {
    for (const Rule& rule : rules_) {
        if (rule.enabled && rule.action == action && HasMatch(rule)) return true;
    }
    return false;
}

bool RuleSet::NamesCaption(RuleAction action) const {
    for (const Rule& rule : rules_) {
        if (rule.enabled && rule.action == action && !rule.caption.empty()) return true;
    }
    return false;
}

bool RuleSet::Matches(const Folded& rule, const Window& window, bool withCaption) {
    if (rule.executable.empty() && rule.windowClass.empty() && rule.caption.empty()) return false;
    if (!rule.executable.empty() && rule.executable != window.executable) return false;
    if (!rule.windowClass.empty() && rule.windowClass != window.windowClass) return false;
    if (!withCaption || rule.caption.empty()) return true;
    if (rule.caption.size() > window.caption.size()) return false;
    return std::search(window.caption.begin(), window.caption.end(), rule.searcher) !=
           window.caption.end();
}

std::optional<RuleAction> RuleSet::ActionFor(const WindowFacts& facts) const {
    if (rules_.empty() || !IsEligible(facts)) return std::nullopt;
    const Window window{FoldCase(facts.executable), FoldCase(facts.windowClass),
                        FoldCase(FirstCharacters(facts.caption, kRuleCaptionChars))};
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        if (rules_[i].enabled && Matches(*folded_[i], window, true)) return rules_[i].action;
    }
    return std::nullopt;
}

bool RuleSet::MayAppear(const WindowFacts& facts) const {
    if (rules_.empty() || !IsEligible(facts)) return false;
    const Window window{FoldCase(facts.executable), FoldCase(facts.windowClass), {}};
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        if (rules_[i].enabled && rules_[i].action == RuleAction::Appear &&
            Matches(*folded_[i], window, false)) {
            return true;
        }
    }
    return false;
}

}  // namespace quenvix::core
