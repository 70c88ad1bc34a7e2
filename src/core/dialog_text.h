#pragma once
// The program's questions and notices: one message, how its dialog looks, and the "Don't show
// this message again" memory kept in section "Dialogs" of the settings store.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quenvix::core {

class SettingsStore;

// A question has OK and Cancel; a notice only OK, in Cancel's place.
enum class DialogKind : std::uint8_t { Question = 1, Notice = 2 };

struct DialogText {
    DialogKind Kind = DialogKind::Question;
    std::string Ident;  // value name in section "Dialogs"; also the message's identity
    std::string Text;   // lines separated by character 10
};

extern const DialogText AutoUpdateCheckText;

inline constexpr std::string_view kDialogsSection = "Dialogs";

// The lines of a message: cut at every line feed, so an empty text is one empty line, a final
// line feed adds an empty last line and two in a row give an empty line between.
std::vector<std::string> DialogLines(std::string_view text);

// How the dialog shows one message; positions in 96-DPI pixels of the dialog's client area.
struct DialogFace {
    std::string caption;
    std::vector<std::string> lines;
    bool showCancel = true;
    int okLeft = 192;
    bool informationPicture = false;
};
DialogFace FaceOf(const DialogText& text);

// What the user did: which button answered, and whether the box was ticked at that moment.
struct DialogAnswer {
    bool ok = false;
    bool noMore = false;
};

// Shows `text` through `show` unless the user silenced it; true for OK or a silenced message.
// A ticked box silences the message whichever button closed the dialog. A store error never
// stands between the user and the action: it goes to `reportError` and the question is asked
// as if nothing were silenced; a memory that could not be read (stored with a wrong type, say)
// is written back afresh with the user's choice, which repairs it.
bool RunConfirmation(SettingsStore& settings, const DialogText& text,
                     const std::function<DialogAnswer(const DialogFace&)>& show,
                     const std::function<void(const std::string&)>& reportError);

}  // namespace quenvix::core
