#pragma once
// Rules: windows that hide themselves, either as soon as they appear or instead of being
// minimised. A rule names a program's executable file, a window class and text the caption
// contains; each is optional and compared without regard to case, every one given must match, and
// at least one must be given. Each rule is stored as one line of five tab-separated fields:
//
//     on/off "1"|"0" <TAB> "appear"|"minimise" <TAB> executable <TAB> class <TAB> caption text
//
// in the settings section "Rules", one string value per rule, named "1", "2", ... in order.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/desktop.h"

namespace quenvix::core {

enum class RuleAction {
    Appear,    // hide the window as soon as it is a visible top-level window
    Minimise,  // hide it instead of letting it be minimised
};

struct Rule {
    bool enabled = true;
    RuleAction action = RuleAction::Appear;
    std::string executable;   // file name only, e.g. "notepad.exe"
    std::string windowClass;  // the whole class name
    std::string caption;      // text the caption contains

    friend bool operator==(const Rule&, const Rule&) = default;
};

inline constexpr std::string_view kRulesSection = "Rules";
// Rules in force at most, in their order. More are read, listed and kept as they are; the rules
// page says that the ones after these do nothing.
inline constexpr std::size_t kMaxRules = 256;
// Longest stored value read as a rule: three fields as long as the rule dialog's edit boxes take
// (32,767 characters each, up to three bytes apiece) fit; anything longer is not a rule anyone
// typed, and reading it would only slow the start.
inline constexpr std::size_t kMaxRuleText = 512 * 1024;
// Characters of a window's caption that rules look at. Real captions are far shorter; the bound
// keeps a window with a caption of thousands of characters as cheap to check as any other.
inline constexpr std::size_t kRuleCaptionChars = 512;

// True when the rule names anything at all: a rule without a match would take every window.
bool HasMatch(const Rule& rule);

// The rule a stored line holds, the blanks around each field dropped (a file name pasted with
// a space after it still names the file); nullopt for anything that is not exactly our format
// (wrong number of fields, an unknown on/off or action word, a control character, no match).
std::optional<Rule> ParseRule(std::string_view text);

// The rule without its control characters (tabs included), which cannot be typed into a
// window class or file name and would break the stored line, and without blanks around its
// fields.
Rule CleanRule(Rule rule);

// The stored line of CleanRule(rule); nullopt when nothing is left to match. ParseRule of the
// line gives CleanRule(rule) back.
std::optional<std::string> FormatRule(const Rule& rule);

// The number a value name stands for: "1", "2", ... (no sign, no leading zero, at most nine
// digits); nullopt for any other name.
std::optional<std::uint32_t> RuleNumber(std::string_view name);

// The names of the values of the "Rules" section.
using RuleValueNames = std::function<std::vector<std::string>()>;
// Reads one value of the "Rules" section: nullopt when there is no such value. Throws when the
// value exists but does not hold text (the settings store's own error for a wrong type).
using RuleValueReader = std::function<std::optional<std::string>(std::string_view name)>;
// Hears of each stored value that was skipped: its name and why.
using RuleProblemReport = std::function<void(std::string_view name, std::string_view why)>;

// The rules as stored, in the order of their value numbers, with the number each came from.
struct StoredRules {
    std::vector<Rule> rules;
    std::vector<std::uint32_t> numbers;  // one per rule, same order
};

// Every numbered value of the section, whatever the gaps between the numbers, in their order.
// A value that is not text, is longer than kMaxRuleText, does not parse, or whose name is not a
// number is skipped and reported (once per read); nothing here is ever fatal.
StoredRules ReadRules(const RuleValueNames& names, const RuleValueReader& read,
                      const RuleProblemReport& report);

// Writes the "Rules" section; the settings store stands behind it.
class RuleValueWriter {
  public:
    virtual ~RuleValueWriter() = default;
    virtual void Write(std::string_view name, std::string_view text) = 0;
    // Deletes the value; false when there was none.
    virtual bool Remove(std::string_view name) = 0;
};

// Stores `rules` in place of the rules read from the values `ours` (as ReadRules gave them):
// in order, under the lowest numbers not taken by a value that is `present` but not ours (a value
// that was skipped, or one written since: it stays as it is); a rule that has nothing to match is
// left out; then the values of ours that were not written again are removed. `ours` is kept up
// to date as the values are written, so that it is right should a write throw half-way, and in
// the end holds the numbers written.
void WriteRules(const std::vector<Rule>& rules, const std::vector<std::string>& present,
                std::vector<std::uint32_t>& ours, RuleValueWriter& writer);

// Case folding for comparisons: ASCII letters and the capital letters of Latin-1, Latin
// Extended-A, Greek and Cyrillic become small. Multi-byte characters are never split; bytes that
// are not valid UTF-8 stay as they are.
std::string FoldCase(std::string_view text);

// What the rules look at in a window: its traits (the executable always filled in) and more.
// The shell fills it in; the core decides.
struct WindowFacts : WindowTraits {
    std::string caption;
    bool topLevel = true;
    bool ownedByWindow = false;  // owned by a window other than the desktop
    bool visible = false;
};

// Whether rules may hide this window at all, before any rule is looked at: only ordinary
// program windows, as hide-all takes them; never one of the windows that are never hidden
// (WhySpared), whatever a rule says.
bool IsEligible(const WindowFacts& facts);

// The rules as the event handler uses them, with their texts folded once.
class RuleSet {
  public:
    RuleSet();
    // The first kMaxRules of `rules`.
    explicit RuleSet(std::vector<Rule> rules);
    RuleSet(RuleSet&&) noexcept;
    RuleSet& operator=(RuleSet&&) noexcept;
    ~RuleSet();

    const std::vector<Rule>& Rules() const { return rules_; }
    // Whether some rule that is on has this action (with none, events need no work at all).
    bool Has(RuleAction action) const;
    // Whether some rule that is on has this action and names caption text.
    bool NamesCaption(RuleAction action) const;

    // The action of the first rule that is on and matches (its caption text within the first
    // kRuleCaptionChars characters of the window's caption), for an eligible window; nullopt for
    // any other window or when no rule matches. The first match decides, so the order of the
    // rules matters.
    std::optional<RuleAction> ActionFor(const WindowFacts& facts) const;
    // Whether the window is to be hidden on this event.
    bool Hides(const WindowFacts& facts, RuleAction event) const {
        return ActionFor(facts) == event;
    }
    // Whether a window just created is worth watching until it shows: it is eligible so far and
    // an "appear" rule matches its program and class (its caption may still be set later).
    bool MayAppear(const WindowFacts& facts) const;

  private:
    struct Folded;
    struct Window;
    static bool Matches(const Folded& rule, const Window& window, bool withCaption);

    std::vector<Rule> rules_;
    std::vector<std::unique_ptr<Folded>> folded_;  // one per rule, same order
};

}  // namespace quenvix::core
