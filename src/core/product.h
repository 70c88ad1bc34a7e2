#pragma once
// The program's fixed identity: names, version and the maker's addresses.
#include <string_view>

namespace quenvix::core {

inline constexpr std::string_view kProductName = "Quenvix";
inline constexpr std::string_view kVersion = "1.2";
inline constexpr std::string_view kMainCaption = "Quenvix Classic version 1.2 (Freeware)";
// The settings key below HKEY_CURRENT_USER, as handed to the settings store.
inline constexpr std::string_view kSettingsKeyPath = "\\Software\\Tarmel\\Quenvix\\";
inline constexpr std::string_view kWebsite = "https://www.tarmel.example";
inline constexpr std::string_view kWebsiteHost = "www.tarmel.example";
inline constexpr std::string_view kSupportMail = "support@tarmel.example";

}  // namespace quenvix::core
