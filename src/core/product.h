#pragma once
// The program's fixed identity: names, version and the maker's addresses.
#include <string_view>

#include "core/version.h"  // kVersion and kMainCaption, made from project() at build time

namespace quenvix::core {

inline constexpr std::string_view kProductName = "Quenvix";
// The settings key below HKEY_CURRENT_USER, as handed to the settings store.
inline constexpr std::string_view kSettingsKeyPath = "\\Software\\Tarmel\\Quenvix\\";
inline constexpr std::string_view kWebsite = "https://www.tarmel.example";
inline constexpr std::string_view kWebsiteHost = "www.tarmel.example";
inline constexpr std::string_view kSupportMail = "support@tarmel.example";

}  // namespace quenvix::core
