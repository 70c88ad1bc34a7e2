#pragma once
// The update check: the request address, what a reply must look like to be believed, the
// version comparison, the 30-day rule for the automatic check, and the check itself over ports so
// that the window and the request's thread are the only parts that need the platform.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ports/clock.h"
#include "core/ports/http_client.h"

namespace quenvix::core {

class SettingsStore;

// Whole days from 30 December 1899 to the given day of the (proleptic Gregorian) calendar.
int DateSerial(int year, int month, int day);

// What the update check needs from the user interface.
class UpdateUi {
  public:
    virtual ~UpdateUi() = default;
    // Asks whether the automatic check may go on (silenced questions answer true at once).
    virtual bool ConfirmAutoCheck() = 0;
    // Shows the result window modally with this caption and these memo lines.
    virtual void ShowUpdate(const std::string& caption, const std::vector<std::string>& memo) = 0;
};

// ---- the pieces -----------------------------------------------------------------------------
inline constexpr std::string_view kUpdateSection = "Update";
inline constexpr std::string_view kWebsiteValue = "Website";
inline constexpr std::string_view kDownloadUrlValue = "DownloadURL";
inline constexpr std::string_view kLastUpdateCheckValue = "Last update check";
inline constexpr std::string_view kNewUpdateCaption = "There is a new update";
inline constexpr std::string_view kLatestVersionCaption = "You still have the latest version";
inline constexpr std::string_view kAcceptHeader = "text/html, */*";
inline constexpr std::string_view kUserAgent = "Mozilla/3.0 (compatible; Indy Library)";
// A real reply is a few hundred bytes; anything near this is not from our server.
inline constexpr std::size_t kMaxReplyBytes = 64 * 1024;
inline constexpr int kAutoCheckIntervalDays = 30;

std::string BuildUpdateAddress(std::string_view website, std::string_view product,
                               std::string_view version, std::string_view guid);

// Cuts a reply into lines: CR, LF and CRLF each end a line, a last line without an ending
// counts, the text stops at the first NUL byte. Lines are kept exactly as received.
std::vector<std::string> SplitReplyLines(std::string_view body);

// True for an http:// or https:// address (scheme in any case) with something after the
// scheme and no blanks or control characters: the only kind of address we send requests to or
// hand to the shell.
bool IsWebAddress(std::string_view text);

struct UpdateReply {
    std::string latestVersion;       // line 2
    std::string website;             // line 3
    std::string downloadUrl;         // line 4
    std::vector<std::string> notes;  // lines 5 and later
};

// The reply if it is to be believed: at least 4 lines, line 1 the product name (letters A to Z
// compared without case, nothing trimmed), lines 3 and 4 web addresses.
std::optional<UpdateReply> ParseUpdateReply(std::string_view body, std::string_view product);

// "Version <latest>", an empty line, the notes; no empty lines at the end.
std::vector<std::string> MemoLines(const UpdateReply& reply);

// Byte-by-byte comparison of the texts as unsigned bytes: 1.3 and 1.2.1 are newer than 1.2,
// 1.10 is not.
bool IsNewerVersion(std::string_view latest, std::string_view current);

// Whether the automatic check is due, given the stored date of the previous one (nullopt when
// it could not be read) and today.
bool IsAutoCheckDue(std::optional<double> lastCheck, int today);

// ---- the check ------------------------------------------------------------------------------
// One request whose every failure, a thrown one included, is simply no reply.
std::optional<HttpReply> FetchReply(HttpClient& http, const HttpRequest& request) noexcept;

// The check in two halves around the request, so that the request itself can run anywhere (the
// program sends it from a worker thread): StartCheck decides and builds it, FinishCheck takes
// what came back. Both run where the settings and the user interface may be used.
class UpdateCheck {
  public:
    UpdateCheck(SettingsStore& settings, Clock& clock, UpdateUi& ui)
        : settings_(settings), clock_(clock), ui_(ui) {}

    // Before the request: for the automatic check the 30-day rule (today's date is stored first,
    // whatever follows) and the question. The request to send, or nullopt when the check ends
    // here.
    std::optional<HttpRequest> StartCheck(bool manual, std::string_view version,
                                          std::string_view product);
    // After the request (nullopt when no reply came): accepts or refuses the reply and shows the
    // result window when there is something to show; true when it was shown.
    bool FinishCheck(const std::optional<HttpReply>& reply);
    // True when the reply is believed; it is then stored (addresses and today's date).
    bool AcceptReply(const std::optional<HttpReply>& reply);

    const std::string& LatestVersion() const { return latestVersion_; }
    const std::string& Website() const { return website_; }
    const std::string& DownloadUrl() const { return downloadUrl_; }
    const std::vector<std::string>& Memo() const { return memo_; }

  private:
    HttpRequest BuildRequest() const;

    SettingsStore& settings_;
    Clock& clock_;
    UpdateUi& ui_;
    bool manual_ = true;
    std::string product_;
    std::string currentVersion_;
    std::string latestVersion_;
    std::string website_;
    std::string downloadUrl_;
    std::vector<std::string> memo_;
};

}  // namespace quenvix::core
