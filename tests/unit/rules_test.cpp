#include "core/rules.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "core/rule_watch.h"
#include "fakes/window_facts.h"

namespace quenvix::core {
namespace {

Rule MakeRule(RuleAction action, std::string exe, std::string cls, std::string caption,
              bool enabled = true) {
    return Rule{enabled, action, std::move(exe), std::move(cls), std::move(caption)};
}

WindowFacts Window(std::string exe, std::string cls, std::string caption) {
    return test::VisibleWindow(std::move(exe), std::move(cls), std::move(caption));
}

// The "Rules" section as the settings store holds it: text values, and values of other types
// that the store refuses to read as text.
class RulesSection : public RuleValueWriter {
  public:
    std::map<std::string, std::string, std::less<>> text;
    std::map<std::string, int, std::less<>> numbers;

    RuleValueNames Names() {
        return [this] {
            std::vector<std::string> names;
            for (const auto& [name, value] : text) names.push_back(name);
            for (const auto& [name, value] : numbers) names.push_back(name);
            return names;
        };
    }
    RuleValueReader Reader() {
        return [this](std::string_view name) -> std::optional<std::string> {
            if (numbers.contains(name)) {
                throw std::runtime_error("Invalid data type for '" + std::string(name) + "'");
            }
            const auto found = text.find(name);
            if (found == text.end()) return std::nullopt;
            return found->second;
        };
    }
    void Write(std::string_view name, std::string_view value) override {
        text[std::string(name)] = value;
    }
    bool Remove(std::string_view name) override {
        const auto found = text.find(name);
        if (found == text.end()) return numbers.erase(std::string(name)) > 0;
        text.erase(found);
        return true;
    }
};

TEST(RuleMatching, EveryGivenFieldMustMatchWithoutRegardToCase) {
    const RuleSet rules({MakeRule(RuleAction::Appear, "NotePad.EXE", "notepad", "")});
    EXPECT_EQ(rules.ActionFor(Window("notepad.exe", "Notepad", "a.txt")), RuleAction::Appear);
    EXPECT_EQ(rules.ActionFor(Window("notepad.exe", "Edit", "a.txt")), std::nullopt);
    EXPECT_EQ(rules.ActionFor(Window("wordpad.exe", "Notepad", "a.txt")), std::nullopt);
    // The executable is a whole file name, the class a whole class name.
    EXPECT_EQ(rules.ActionFor(Window("notepad.exe.bak", "Notepad", "")), std::nullopt);
    EXPECT_EQ(rules.ActionFor(Window("notepad.exe", "Notepad2", "")), std::nullopt);

    const RuleSet byCaption({MakeRule(RuleAction::Minimise, "", "", "Chat")});
    EXPECT_EQ(byCaption.ActionFor(Window("x.exe", "C", "Team CHAT - online")),
              RuleAction::Minimise);
    EXPECT_EQ(byCaption.ActionFor(Window("x.exe", "C", "Team Cha")), std::nullopt);
    EXPECT_TRUE(byCaption.Hides(Window("x.exe", "C", "chat"), RuleAction::Minimise));
    // Only the start of a caption counts, in characters, not bytes.
    const std::string lead(kRuleCaptionChars - 4, 'x');
    EXPECT_TRUE(
        byCaption.Hides(Window("x.exe", "C", lead + "chat and more"), RuleAction::Minimise));
    EXPECT_FALSE(byCaption.Hides(Window("x.exe", "C", lead + " chat"), RuleAction::Minimise));
    std::string umlauts;
    for (std::size_t i = 0; i + 4 < kRuleCaptionChars; ++i) umlauts += "ü";
    EXPECT_TRUE(byCaption.Hides(Window("x.exe", "C", umlauts + "chat"), RuleAction::Minimise));
    EXPECT_FALSE(byCaption.Hides(Window("x.exe", "C", "chat"), RuleAction::Appear));
}

TEST(RuleMatching, FoldsCaseOfNonAsciiLettersWithoutBreakingThem) {
    EXPECT_EQ(FoldCase("ÄÖÜ Straße ÉCOLE"), "äöü straße école");
    EXPECT_EQ(FoldCase("ΣΟΦΙΑ Москва ŁÓDŹ Ÿ"), "σοφια москва łódź ÿ");
    // Characters without case, four-byte ones and broken sequences pass unchanged.
    EXPECT_EQ(FoldCase("日本 😀 ×"), "日本 😀 ×");
    EXPECT_EQ(FoldCase(std::string("A\xC3\x28Z\xE2\x82", 6)), std::string("a\xC3\x28z\xE2\x82", 6));

    const RuleSet rules({MakeRule(RuleAction::Appear, "", "", "Études")});
    EXPECT_TRUE(rules.Hides(Window("a.exe", "c", "Mes ÉTUDES 2024"), RuleAction::Appear));
    // The capital of another letter is no match: "É" (C3 89) differs from "Ê" (C3 8A) in one bit.
    EXPECT_FALSE(rules.Hides(Window("a.exe", "c", "Mes êtudes"), RuleAction::Appear));
}

TEST(RuleMatching, FirstRuleThatIsOnDecides) {
    const RuleSet rules({
        MakeRule(RuleAction::Appear, "", "Chat", "", false),  // off: never decides
        MakeRule(RuleAction::Minimise, "", "Chat", "Call"),
        MakeRule(RuleAction::Appear, "", "Chat", ""),
    });
    EXPECT_EQ(rules.ActionFor(Window("c.exe", "Chat", "Call with Ann")), RuleAction::Minimise);
    EXPECT_EQ(rules.ActionFor(Window("c.exe", "Chat", "Inbox")), RuleAction::Appear);
    EXPECT_TRUE(rules.Has(RuleAction::Appear));
    EXPECT_FALSE(
        RuleSet({MakeRule(RuleAction::Appear, "a.exe", "", "", false)}).Has(RuleAction::Appear));
    EXPECT_FALSE(RuleSet().ActionFor(Window("a.exe", "b", "c")).has_value());
}

TEST(RuleMatching, RuleMatchingEveryWindowNeverTakesExcludedOnes) {
    const RuleSet rules({MakeRule(RuleAction::Appear, "explorer.exe", "", "")});
    const WindowFacts plain = Window("Explorer.EXE", "CabinetWClass", "Documents");
    EXPECT_TRUE(rules.Hides(plain, RuleAction::Appear));

    auto excluded = [&](auto change) {
        WindowFacts facts = plain;
        change(facts);
        return !rules.ActionFor(facts).has_value() && !rules.MayAppear(facts);
    };
    EXPECT_TRUE(excluded([](WindowFacts& f) { f.windowClass = "Shell_TrayWnd"; }));
    EXPECT_TRUE(excluded([](WindowFacts& f) { f.ours = true; }));
    EXPECT_TRUE(excluded([](WindowFacts& f) { f.exStyle = kExToolWindow; }));
    EXPECT_TRUE(excluded([](WindowFacts& f) { f.cloaked = true; }));
    EXPECT_TRUE(excluded([](WindowFacts& f) { f.ownedByWindow = true; }));
    EXPECT_TRUE(excluded([](WindowFacts& f) { f.topLevel = false; }));
}

TEST(RuleMatching, WindowJustCreatedIsWatchedWhenItsCaptionCouldStillMatch) {
    const RuleSet rules({
        MakeRule(RuleAction::Appear, "mail.exe", "", "Reminder"),
        MakeRule(RuleAction::Minimise, "chat.exe", "", ""),
    });
    EXPECT_TRUE(rules.MayAppear(Window("MAIL.exe", "Frame", "")));  // caption not set yet
    EXPECT_FALSE(rules.MayAppear(Window("chat.exe", "Frame", "Reminder")));
    EXPECT_FALSE(rules.MayAppear(Window("other.exe", "Frame", "Reminder")));
}

TEST(RuleText, FormatAndParseRoundTrip) {
    const Rule notepad = MakeRule(RuleAction::Appear, "", "Notepad", "");
    EXPECT_EQ(FormatRule(notepad), "1\tappear\t\tNotepad\t");
    EXPECT_EQ(ParseRule("1\tappear\t\tNotepad\t"), notepad);

    const std::string longText(10000, 'x');
    const std::vector<Rule> samples = {
        MakeRule(RuleAction::Minimise, "chat.exe", "", "", false),
        MakeRule(RuleAction::Appear, "a b", "Cls", "Über – 日本 😀"),
        MakeRule(RuleAction::Minimise, longText, longText, longText),
    };
    for (const Rule& rule : samples) {
        const auto text = FormatRule(rule);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(ParseRule(*text), rule);
    }
}

TEST(RuleText, ControlCharactersAreCleanedSoASavedRuleAlwaysParsesBack) {
    const Rule dirty = MakeRule(RuleAction::Appear, "a\tb.exe",
                                "Cl\x01"
                                "ass\x7F",
                                "x\r\ny\xC2\x85z");
    const auto text = FormatRule(dirty);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, "1\tappear\tab.exe\tClass\txyz");
    EXPECT_EQ(ParseRule(*text), CleanRule(dirty));
    // Blanks around a field go (inner ones stay), and a field of blanks is empty.
    EXPECT_EQ(FormatRule(MakeRule(RuleAction::Appear, " a b.exe\t", "\xC2\xA0", " x y ")),
              "1\tappear\ta b.exe\t\tx y");
    EXPECT_EQ(ParseRule(" 0 \t minimise \t a b.exe \t\t x "),
              MakeRule(RuleAction::Minimise, "a b.exe", "", "x", false));
    // Nothing left to match once cleaned: not stored at all.
    EXPECT_EQ(FormatRule(MakeRule(RuleAction::Appear, "\t", "\x02", "\n")), std::nullopt);
    EXPECT_EQ(FormatRule(MakeRule(RuleAction::Appear, "", "", "")), std::nullopt);
}

TEST(RuleText, DamagedLinesAreRefused) {
    for (const char* text : {
             "",
             "1\tappear\t\tNotepad",              // four fields
             "1\tappear\t\tNotepad\t\t",          // six
             "2\tappear\t\tNotepad\t",            // on/off neither 1 nor 0
             "1\tAppear\t\tNotepad\t",            // action words are exact
             "1\tminimize\t\tNotepad\t",          //
             "1\thide\t\tNotepad\t",              //
             "1\tappear\t\t\t",                   // nothing to match
             "1\tappear\t \t \t ",                // nor in blanks
             "1\tappear\t\tNote\npad\t",          // a control character
             "1\tminimise\t\tNote\xC2\x9Fpad\t",  // a C1 control
         }) {
        EXPECT_EQ(ParseRule(text), std::nullopt) << text;
    }
}

TEST(RuleStorage, ReadsEveryNumberedValueInOrderWhateverTheGaps) {
    RulesSection section;
    section.text["10"] = "1\tappear\tten.exe\t\t";  // ordered by number, not by name
    section.text["1"] = "1\tappear\t\tNotepad\t";
    section.numbers["2"] = 1;  // a number where text belongs
    section.text["3"] = "0\tminimise\tchat.exe\t\t";
    section.text["1000"] = "1\tappear\tlast.exe\t\t";

    std::vector<std::string> reported;
    const auto stored =
        ReadRules(section.Names(), section.Reader(),
                  [&](std::string_view name, std::string_view) { reported.emplace_back(name); });
    ASSERT_EQ(stored.rules.size(), 4u);
    EXPECT_EQ(stored.rules[0].windowClass, "Notepad");
    EXPECT_FALSE(stored.rules[1].enabled);
    EXPECT_EQ(stored.rules[2].executable, "ten.exe");
    EXPECT_EQ(stored.rules[3].executable, "last.exe");
    EXPECT_EQ(stored.numbers, (std::vector<std::uint32_t>{1, 3, 10, 1000}));
    EXPECT_EQ(reported, (std::vector<std::string>{"2"}));
}

// What a person or a registry tool can leave in the section: each is skipped with one report or
// read as meant, and a save afterwards touches none of the values it skipped.
TEST(RuleStorage, BadInputIsSkippedOnceOrReadAsMeantAndNeverDeletedUnasked) {
    RulesSection section;
    for (int i = 1; i <= 1000; ++i) {
        section.text[std::to_string(i)] = "1\tappear\tp" + std::to_string(i) + ".exe\t\t";
    }
    section.text["1001"] = "1\tappear\t\t\t" + std::string(kMaxRuleText, 'x');  // beyond
    section.text["1005"] = "1\tappear\tbig.exe\t\t" + std::string(100 * 1024, 'x');
    section.text["1002"] = "1\tappear\tnote\tpad.exe\t\t";  // a tab inside a field
    section.text["1003"] = "1\tappear\t   \t \t  ";         // fields of blanks only
    section.text["1004"] = " 1 \t appear\t notepad.exe \t\xC2\xA0Notepad\t";  // pasted
    section.text["0"] = "1\tappear\tzero.exe\t\t";
    section.text["-1"] = "1\tappear\tminus.exe\t\t";
    section.text["abc"] = "1\tappear\tabc.exe\t\t";
    section.text["007"] = "1\tappear\tbond.exe\t\t";

    std::map<std::string, int> reports;
    auto stored =
        ReadRules(section.Names(), section.Reader(),
                  [&](std::string_view name, std::string_view) { ++reports[std::string(name)]; });
    ASSERT_EQ(stored.rules.size(), 1002u);  // no silent limit on reading
    EXPECT_EQ(stored.rules[999].executable, "p1000.exe");
    EXPECT_EQ(stored.rules[1000], MakeRule(RuleAction::Appear, "notepad.exe", "Notepad", ""));
    EXPECT_EQ(stored.rules[1001].caption.size(), 100u * 1024);
    EXPECT_EQ(
        reports,
        (std::map<std::string, int>{
            {"-1", 1}, {"0", 1}, {"007", 1}, {"1001", 1}, {"1002", 1}, {"1003", 1}, {"abc", 1}}));
    EXPECT_EQ(RuleSet(stored.rules).Rules().size(), kMaxRules);  // in force: the first ones

    // The user removes the first rule: everything after moves up one number, past the values
    // that were skipped, which stay exactly as they were.
    std::vector<Rule> edited(stored.rules.begin() + 1, stored.rules.end());
    const auto before = section.text;
    WriteRules(edited, section.Names()(), stored.numbers, section);
    EXPECT_EQ(section.text["1"], "1\tappear\tp2.exe\t\t");
    EXPECT_EQ(section.text["999"], "1\tappear\tp1000.exe\t\t");
    EXPECT_EQ(section.text["1000"], "1\tappear\tnotepad.exe\tNotepad\t");
    EXPECT_EQ(section.text["1004"], before.at("1005"));  // the big one moved up past the kept
    for (const char* kept : {"1001", "1002", "1003", "0", "-1", "abc", "007"}) {
        EXPECT_EQ(section.text[kept], before.at(kept)) << kept;
    }
    EXPECT_FALSE(section.text.contains("1005"));
    EXPECT_EQ(section.text.size(), before.size() - 1);
    EXPECT_EQ(stored.numbers.size(), 1001u);
}

TEST(RuleStorage, WriteRenumbersAroundValuesItDidNotReadAndRemovesOnlyItsOwn) {
    RulesSection section;
    section.text["1"] = "1\tappear\tone.exe\t\t";
    section.text["2"] = "1\tappear\ttwo.exe\t\t";
    section.numbers["3"] = 5;  // skipped on reading
    section.text["5"] = "1\tappear\tfive.exe\t\t";
    auto stored = ReadRules(section.Names(), section.Reader(), {});
    section.text["4"] = "1\tappear\tnew.exe\t\t";  // written by someone else since

    const std::vector<Rule> rules = {
        MakeRule(RuleAction::Appear, " a.exe ", "", ""),  // saved without the blanks
        MakeRule(RuleAction::Appear, "", " ", ""),        // nothing to match: left out
        MakeRule(RuleAction::Minimise, "", "B", "", false),
        MakeRule(RuleAction::Appear, "c.exe", "", ""),
        MakeRule(RuleAction::Appear, "d.exe", "", ""),
    };
    WriteRules(rules, section.Names()(), stored.numbers, section);
    EXPECT_EQ(section.text, (std::map<std::string, std::string, std::less<>>{
                                {"1", "1\tappear\ta.exe\t\t"},
                                {"2", "0\tminimise\t\tB\t"},
                                {"4", "1\tappear\tnew.exe\t\t"},
                                {"5", "1\tappear\tc.exe\t\t"},
                                {"6", "1\tappear\td.exe\t\t"},
                            }));
    EXPECT_EQ(section.numbers.size(), 1u);
    EXPECT_EQ(stored.numbers, (std::vector<std::uint32_t>{1, 2, 5, 6}));

    // Fewer rules: only our own values go.
    WriteRules({rules[3]}, section.Names()(), stored.numbers, section);
    EXPECT_EQ(section.text, (std::map<std::string, std::string, std::less<>>{
                                {"1", "1\tappear\tc.exe\t\t"},
                                {"4", "1\tappear\tnew.exe\t\t"},
                            }));
    EXPECT_EQ(section.numbers.size(), 1u);
}

TEST(RuleMemoryTest, RemembersWindowsByHandleAndOriginWithinItsBound) {
    RuleMemory memory(3);
    const WindowKey a{0x10, 100, 7, 555};
    memory.Remember(a);
    EXPECT_TRUE(memory.Contains(a));
    // The same handle in another process, or in a new process with a reused id: another window.
    EXPECT_FALSE(memory.Contains({0x10, 101, 7, 555}));
    EXPECT_FALSE(memory.Contains({0x10, 100, 7, 556}));
    EXPECT_FALSE(memory.Contains({0x10, 100, 8, 555}));

    const WindowKey b{0x20, 1, 1, 1}, c{0x30, 1, 1, 1}, d{0x40, 1, 1, 1};
    memory.Remember(b);
    memory.Remember(c);
    memory.Remember(a);  // a is the newest again
    memory.Remember(d);  // b, now the oldest, goes
    EXPECT_EQ(memory.Size(), 3u);
    EXPECT_FALSE(memory.Contains(b));
    EXPECT_TRUE(memory.Contains(a));
    EXPECT_TRUE(memory.Contains(c));
    EXPECT_TRUE(memory.Contains(d));

    RuleMemory big;
    for (std::uint64_t i = 0; i < 10000; ++i) big.Remember({i, 1, 1, 1});
    EXPECT_EQ(big.Size(), kRuleMemoryCapacity);
    EXPECT_FALSE(big.Contains({10000 - kRuleMemoryCapacity - 1, 1, 1, 1}));
    EXPECT_TRUE(big.Contains({10000 - kRuleMemoryCapacity, 1, 1, 1}));
}

TEST(WatchListTest, WindowsAreWatchedUntilReadyGoneOrExpired) {
    WatchList watches(8, 3000);
    std::map<std::uint64_t, WatchLook> state{
        {1, WatchLook::Wait}, {2, WatchLook::Wait}, {3, WatchLook::Wait}};
    const auto look = [&](std::uint64_t w) { return state.at(w); };
    watches.Watch(1, 1000);
    watches.Watch(2, 1500);
    watches.Watch(1, 2000);  // already watched: keeps its start
    watches.Watch(3, 2000);
    EXPECT_TRUE(watches.Step(1100, look).empty());
    EXPECT_EQ(watches.Size(), 3u);

    state[2] = WatchLook::Ready;
    state[3] = WatchLook::Drop;  // died before it showed
    EXPECT_EQ(watches.Step(1200, look), std::vector<std::uint64_t>{2});
    EXPECT_EQ(watches.Size(), 1u);

    EXPECT_TRUE(watches.Step(3999, look).empty());  // 1 is 2999 ms old
    EXPECT_EQ(watches.Size(), 1u);
    EXPECT_TRUE(watches.Step(4000, look).empty());  // 3000 ms: given up
    EXPECT_TRUE(watches.Empty());

    // Ready at the last look before expiry still counts.
    watches.Watch(1, 5000);
    state[1] = WatchLook::Ready;
    EXPECT_EQ(watches.Step(9000, look), std::vector<std::uint64_t>{1});
}

TEST(WatchListTest, BurstOfWindowsKeepsTheNewestWatches) {
    WatchList watches(4, 3000);
    for (std::uint64_t w = 1; w <= 10; ++w) watches.Watch(w, 0);
    EXPECT_EQ(watches.Size(), 4u);
    watches.Unwatch(8);
    const auto ready = watches.Step(10, [](std::uint64_t) { return WatchLook::Ready; });
    EXPECT_EQ(ready, (std::vector<std::uint64_t>{7, 9, 10}));
    EXPECT_TRUE(watches.Empty());

    // A look that starts watches of its own (the system dispatched a create event meanwhile).
    watches.Watch(1, 0);
    watches.Step(10, [&](std::uint64_t) {
        watches.Watch(2, 10);
        return WatchLook::Wait;
    });
    EXPECT_EQ(watches.Step(20, [](std::uint64_t) { return WatchLook::Ready; }),
              (std::vector<std::uint64_t>{1, 2}));
}

}  // namespace
}  // namespace quenvix::core
