#include "core/dialog_text.h"

#include "core/error.h"
#include "core/settings_store.h"

namespace quenvix::core {

const DialogText AutoUpdateCheckText{DialogKind::Question, "AutoUpdateCheck",
                                     "Automatic update check will be activated.\n"
                                     "Uncheck menu Help\\Automatic update check to disable.\n"
                                     "This feature needs internet connection where\n"
                                     "no personal information will be sent out.\n"
                                     "Continue the automatic update check?"};

std::vector<std::string> DialogLines(std::string_view text) {
    std::vector<std::string> lines;
    for (;;) {
        const std::size_t feed = text.find('\n');
        lines.emplace_back(text.substr(0, feed));
        if (feed == std::string_view::npos) return lines;
        text.remove_prefix(feed + 1);
    }
}

DialogFace FaceOf(const DialogText& text) {
    DialogFace face;
    face.lines = DialogLines(text.Text);
    if (text.Kind == DialogKind::Notice) {
        face.caption = "Information";
        face.showCancel = false;
        face.okLeft = 272;  // where Cancel stands in a question
        face.informationPicture = true;
    } else {
        face.caption = "Confirmation";
    }
    return face;
}

bool RunConfirmation(SettingsStore& settings, const DialogText& text,
                     const std::function<DialogAnswer(const DialogFace&)>& show,
                     const std::function<void(const std::string&)>& reportError) {
    bool unreadable = false;
    try {
        if (settings.ReadBool(kDialogsSection, text.Ident, false)) return true;
    } catch (const Error& e) {
        // "Close Quenvix?" must still be answerable when its memory is damaged: a user who
        // cannot exit kills the program, and a kill leaves the hidden windows hidden.
        reportError(e.what());
        unreadable = true;
    }
    const DialogAnswer answer = show(FaceOf(text));
    // Otherwise only "on" is written: the user silences a message, the program never
    // un-silences it. A damaged memory gets the user's choice, so it is reported only once.
    if (answer.noMore || unreadable) {
        try {
            settings.WriteBool(kDialogsSection, text.Ident, answer.noMore);
        } catch (const Error& e) {
            reportError(e.what());
        }
    }
    return answer.ok;
}

}  // namespace quenvix::core
