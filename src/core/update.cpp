#include "core/update.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "core/error.h"
#include "core/product.h"
#include "core/settings_store.h"
#include "core/text.h"

namespace quenvix::core {
namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && AsciiLower(text.substr(0, prefix.size())) == prefix;
}

}  // namespace

int DateSerial(int year, int month, int day) {
    // Days from 1 March of year 0, counted in 400-year eras (H. Hinnant's civil calendar
    // arithmetic), then moved to the 30 December 1899 origin.
    const int y = month <= 2 ? year - 1 : year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    constexpr int kUnixEpochToOrigin = 25569;  // 1 January 1970 is day 25569
    return era * 146097 + dayOfEra - 719468 + kUnixEpochToOrigin;
}

std::string BuildUpdateAddress(std::string_view website, std::string_view product,
                               std::string_view version, std::string_view guid) {
    std::string url;
    url.reserve(website.size() + product.size() + version.size() + guid.size() + 40);
    url.append(website).append("/").append(product).append("/UpdateInfo.php");
    url.append("?currentversion=").append(version).append("&id=").append(guid);
    return url;
}

std::vector<std::string> SplitReplyLines(std::string_view body) {
    if (const auto nul = body.find('\0'); nul != std::string_view::npos) body = body.substr(0, nul);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < body.size()) {
        const auto end = body.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(body.substr(start));
            break;
        }
        lines.emplace_back(body.substr(start, end - start));
        start = end + 1;
        if (body[end] == '\r' && start < body.size() && body[start] == '\n') ++start;
    }
    return lines;
}

bool IsWebAddress(std::string_view text) {
    std::size_t schemeLength = 0;
    if (StartsWithIgnoringCase(text, "http://")) {
        schemeLength = 7;
    } else if (StartsWithIgnoringCase(text, "https://")) {
        schemeLength = 8;
    } else {
        return false;
    }
    // The host must not be empty; "http:///x" names no server.
    if (text.size() == schemeLength || text[schemeLength] == '/') return false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) return false;
    }
    return true;
}

std::optional<UpdateReply> ParseUpdateReply(std::string_view body, std::string_view product) {
    auto lines = SplitReplyLines(body);
    if (lines.size() < 4) return std::nullopt;
    if (AsciiLower(lines[0]) != AsciiLower(product)) return std::nullopt;
    // The server tells us where to ask next time and what to open for the download; an address
    // that is not a plain web address would be handed to the shell, which runs programs too.
    if (!IsWebAddress(lines[2]) || !IsWebAddress(lines[3])) return std::nullopt;
    UpdateReply reply;
    reply.latestVersion = std::move(lines[1]);
    reply.website = std::move(lines[2]);
    reply.downloadUrl = std::move(lines[3]);
    reply.notes.assign(std::make_move_iterator(lines.begin() + 4),
                       std::make_move_iterator(lines.end()));
    return reply;
}

std::vector<std::string> MemoLines(const UpdateReply& reply) {
    std::vector<std::string> memo;
    memo.reserve(reply.notes.size() + 2);
    memo.push_back("Version " + reply.latestVersion);
    memo.emplace_back();
    memo.insert(memo.end(), reply.notes.begin(), reply.notes.end());
    while (!memo.empty() && memo.back().empty()) memo.pop_back();
    return memo;
}

bool IsNewerVersion(std::string_view latest, std::string_view current) {
    const std::size_t common = std::min(latest.size(), current.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto a = static_cast<unsigned char>(latest[i]);
        const auto b = static_cast<unsigned char>(current[i]);
        if (a != b) return a > b;
    }
    return latest.size() > current.size();
}

bool IsAutoCheckDue(std::optional<double> lastCheck, int today) {
    // No readable date means we have never checked (first start) or the value was damaged:
    // either way nothing says a check happened recently, so it is due. The user is still asked
    // before anything is sent, and today's date is stored first, so a "Cancel" waits 30 days.
    if (!lastCheck || !std::isfinite(*lastCheck)) return true;
    // Days rounded to a whole number reach 30 exactly when the difference is 29.5 or more;
    // comparing the unrounded difference avoids converting an absurd stored date to an integer.
    const double days = static_cast<double>(today) - *lastCheck;
    return days >= kAutoCheckIntervalDays - 0.5;
}

std::optional<HttpReply> FetchReply(HttpClient& http, const HttpRequest& request) noexcept {
    try {
        return http.Get(request);
    } catch (...) {
        // A failed request ends the check silently, whatever went wrong.
        return std::nullopt;
    }
}

HttpRequest UpdateCheck::BuildRequest() const {
    HttpRequest request;
    request.url =
        BuildUpdateAddress(settings_.ReadString(kUpdateSection, kWebsiteValue, kWebsite), product_,
                           currentVersion_, settings_.ReadString("Main", "GUID", ""));
    request.headers = {{"Accept", std::string(kAcceptHeader)},
                       {"User-Agent", std::string(kUserAgent)}};
    request.maxBodyBytes = kMaxReplyBytes;
    return request;
}

std::optional<HttpRequest> UpdateCheck::StartCheck(bool manual, std::string_view version,
                                                   std::string_view product) {
    manual_ = manual;
    currentVersion_ = version;
    product_ = product;

    if (!manual) {
        std::optional<double> lastCheck;
        try {
            lastCheck = settings_.ReadDate(kLastUpdateCheckValue);
        } catch (const Error&) {
            // Missing on the first start, or damaged: see IsAutoCheckDue.
        }
        const int today = clock_.Today();
        settings_.WriteDate(kLastUpdateCheckValue, today);
        if (!IsAutoCheckDue(lastCheck, today)) return std::nullopt;
        if (!ui_.ConfirmAutoCheck()) return std::nullopt;
    }
    return BuildRequest();
}

bool UpdateCheck::AcceptReply(const std::optional<HttpReply>& reply) {
    if (!reply || reply->status < 200 || reply->status > 299) return false;
    if (reply->body.size() > kMaxReplyBytes) return false;

    auto parsed = ParseUpdateReply(reply->body, product_);
    if (!parsed) return false;

    latestVersion_ = parsed->latestVersion;
    website_ = parsed->website;
    downloadUrl_ = parsed->downloadUrl;
    settings_.WriteString(kUpdateSection, kWebsiteValue, website_);
    settings_.WriteString(kUpdateSection, kDownloadUrlValue, downloadUrl_);
    settings_.WriteDate(kLastUpdateCheckValue, clock_.Today());
    memo_ = MemoLines(*parsed);
    return true;
}

bool UpdateCheck::FinishCheck(const std::optional<HttpReply>& reply) {
    if (!AcceptReply(reply)) return false;

    const bool newer = IsNewerVersion(latestVersion_, currentVersion_);
    if (!manual_ && !newer) return false;
    ui_.ShowUpdate(std::string(newer ? kNewUpdateCaption : kLatestVersionCaption), memo_);
    return true;
}

}  // namespace quenvix::core
