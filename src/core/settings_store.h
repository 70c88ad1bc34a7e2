#pragma once
// The settings store: an ini-file-like view of the program's registry key. A section is a subkey
// directly below that key, a value is a named string inside the section; on/off values are the
// strings "0" and "1". One date lies in the program's key itself as 8 raw bytes. Nothing is
// cached, not even an open key: a value changed in the registry editor is seen at its next read,
// and a key deleted under us (a registry cleaner) is created again by the next write.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/registry_backend.h"

namespace quenvix::core {

class SettingsStore {
  public:
    // keyPath as the program passes it, "\\Software\\Tarmel\\Quenvix\\": a leading "\" counts
    // from HKEY_CURRENT_USER. The key and missing parents are created. Every later read opens
    // it, and every write creates it, afresh. An empty path names no key: reads give their
    // defaults and writes fail, so nothing is ever written outside the program's key.
    SettingsStore(RegistryBackend& backend, std::string_view keyPath);

    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    std::string ReadString(std::string_view section, std::string_view name, std::string_view def);
    void WriteString(std::string_view section, std::string_view name, std::string_view text);
    bool ReadBool(std::string_view section, std::string_view name, bool def);
    void WriteBool(std::string_view section, std::string_view name, bool on);
    // Days since 30 December 1899. There is no default: a missing value fails.
    double ReadDate(std::string_view name);
    void WriteDate(std::string_view name, double date);

    // The text of a string value in `section`, or nullopt when the section or value is missing.
    // A value that is not text fails as ReadString does.
    std::optional<std::string> ReadText(std::string_view section, std::string_view name);
    // Deletes a value of `section`; false when there was none.
    bool DeleteValue(std::string_view section, std::string_view name);
    // The names of the section's values; empty when it has none or does not exist.
    std::vector<std::string> ValueNames(std::string_view section);

    // Whether the program's key can be opened now.
    bool HasKey();

  private:
    // The program's key, or one of its sections, opened now; empty when it cannot be.
    UniqueRegistryKey Open(std::string_view section, RegistryAccess access);
    UniqueRegistryKey Create(std::string_view section);

    RegistryBackend& backend_;
    std::string path_;  // below HKEY_CURRENT_USER, without leading or trailing "\"
};

// The whole number an on/off text holds, as the store reads it: leading blanks, an optional sign,
// then decimal digits, or hexadecimal ones after "$" or "0x"; it must fit in 32 bits. nullopt
// for anything else, the empty text included.
std::optional<long long> ParseWholeNumber(std::string_view text);

}  // namespace quenvix::core
