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
// Rules read from the settings at most; the rest are left where they are.
inline constexpr std::size_t kMaxRules = 256;
// Characters of a window's caption that rules look at. Real captions are far shorter; the bound
// keeps a window with a caption of thousands of characters as cheap to check as any other.
inline constexpr std::size_t kRuleCaptionChars = 512;

// True when the rule names anything at all: a rule without a match would take every window.
bool HasMatch(const Rule& rule);

// The rule a stored line holds; nullopt for anything that is not exactly our format (wrong
// number of fields, an unknown on/off or action word, a control character, no match at all).
std::optional<Rule> ParseRule(std::string_view text);

// The rule without its control characters (tabs included), which cannot be typed into a
// window class or file name and would break the stored line.
Rule CleanRule(Rule rule);

// The stored line of CleanRule(rule); nullopt when nothing is left to match. ParseRule of the
// line gives CleanRule(rule) back.
std::optional<std::string> FormatRule(const Rule& rule);

// Reads one value of the "Rules" section: nullopt when there is no such value. Throws when the
// value exists but does not hold text (the settings store's own error for a wrong type).
using RuleValueReader = std::function<std::optional<std::string>(std::string_view name)>;
// Hears of each stored value that was skipped: its name and why.
using RuleProblemReport = std::function<void(std::string_view name, std::string_view why)>;

// The stored rules: values "1", "2", ... in order until one is missing, at most kMaxRules of
// them. A value that is not text or does not parse is skipped and reported (once per read);
// nothing here is ever fatal.
std::vector<Rule> ReadRules(const RuleValueReader& read, const RuleProblemReport& report);

// Writes the "Rules" section; the settings store stands behind it.
class RuleValueWriter {
  public:
    virtual ~RuleValueWriter() = default;
    virtual void Write(std::string_view name, std::string_view text) = 0;
    // Deletes the value; false when there was none.
    virtual bool Remove(std::string_view name) = 0;
};

// Stores the rules as values "1", "2", ... (renumbered; a rule that has nothing to match is
// left out) and removes the stale values after them.
void WriteRules(const std::vector<Rule>& rules, RuleValueWriter& writer);

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
    explicit RuleSet(std::vector<Rule> rules);
    RuleSet(RuleSet&&) noexcept;
    RuleSet& operator=(RuleSet&&) noexcept;
    ~RuleSet();

    const std::vector<Rule>& Rules() const { return rules_; }
    // Whether some rule that is on has this action (with none, events need no work at all).
    bool Has(RuleAction action) const;

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
