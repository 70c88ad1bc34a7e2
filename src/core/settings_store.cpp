#include "core/settings_store.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "core/error.h"

namespace quenvix::core {
namespace {

std::string Quoted(std::string_view format, std::string_view name) {
    std::string message(format);
    message += " for '";
    message += name;
    message += "'";
    return message;
}

[[noreturn]] void FailInvalidType(std::string_view name) {
    throw Error(Quoted("Invalid data type", name));
}

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
    return text;
}

// Sections are always taken below the program's key, even when one is written with a leading
// backslash: a section must never address a key elsewhere in the registry.
std::string_view SectionPath(std::string_view section) {
    while (!section.empty() && section.front() == '\\') section.remove_prefix(1);
    while (!section.empty() && section.back() == '\\') section.remove_suffix(1);
    return section;
}

std::vector<std::uint8_t> StringData(std::string_view text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);  // the terminating NUL is part of the stored size
    return data;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<long long> ParseWholeNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) return std::nullopt;
    // Decimal must fit a signed 32-bit number; hexadecimal may use all 32 bits.
    const long long limit = base == 10 ? (negative ? 2147483648LL : 2147483647LL) : 0xFFFFFFFFLL;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const int digit = base == 10 ? (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1)
                                     : HexDigit(text[i]);
        if (digit < 0) return std::nullopt;
        value = value * base + digit;
        if (value > limit) return std::nullopt;
    }
    return negative ? -value : value;
}

SettingsStore::SettingsStore(RegistryBackend& backend, std::string_view keyPath)
    : backend_(backend) {
    std::string_view path = Trimmed(keyPath);
    // No key is open, so a relative path counts from the root as well.
    while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    path_ = path;
    // Made at once, so that a first start leaves the key for the user to find. A key the user
    // may not create can still be read: the settings then load, and writes fail with the
    // store's messages.
    Create({});
}

UniqueRegistryKey SettingsStore::Open(std::string_view section, RegistryAccess access) {
    if (path_.empty()) return {};
    const RegistryBackend::Key root = backend_.Root(RegistryRoot::CurrentUser);
    UniqueRegistryKey key(backend_, backend_.OpenKey(root, path_, access));
    section = SectionPath(section);
    if (!key || section.empty()) return key;
    return UniqueRegistryKey(backend_, backend_.OpenKey(key.Get(), section, access));
}

UniqueRegistryKey SettingsStore::Create(std::string_view section) {
    if (path_.empty()) return {};
    const RegistryBackend::Key root = backend_.Root(RegistryRoot::CurrentUser);
    UniqueRegistryKey key(backend_, backend_.CreateKey(root, path_));
    section = SectionPath(section);
    if (!key || section.empty()) return key;
    return UniqueRegistryKey(backend_, backend_.CreateKey(key.Get(), section));
}

bool SettingsStore::HasKey() {
    return static_cast<bool>(Open({}, RegistryAccess::Read));
}

std::optional<std::string> SettingsStore::ReadText(std::string_view section,
                                                   std::string_view name) {
    // Opening without creating: a read never leaves a section behind.
    const UniqueRegistryKey sub = Open(section, RegistryAccess::Read);
    if (!sub) return std::nullopt;
    const std::optional<RegistryValue> value = backend_.QueryValue(sub.Get(), name);
    if (!value) return std::nullopt;
    if (value->data.empty()) return std::string();
    if (value->type != kRegSz && value->type != kRegExpandSz) FailInvalidType(name);
    const auto& data = value->data;
    const auto* begin = reinterpret_cast<const char*>(data.data());
    const void* nul = std::memchr(begin, 0, data.size());
    const std::size_t length =
        nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - begin) : data.size();
    return std::string(begin, length);
}

bool SettingsStore::DeleteValue(std::string_view section, std::string_view name) {
    const UniqueRegistryKey sub = Open(section, RegistryAccess::All);
    if (!sub || !backend_.QueryValue(sub.Get(), name)) return false;
    backend_.DeleteValue(sub.Get(), name);
    return true;
}

std::vector<std::string> SettingsStore::ValueNames(std::string_view section) {
    const UniqueRegistryKey sub = Open(section, RegistryAccess::Read);
    if (!sub) return {};
    return backend_.ValueNames(sub.Get());
}

std::string SettingsStore::ReadString(std::string_view section, std::string_view name,
                                      std::string_view def) {
    std::optional<std::string> text = ReadText(section, name);
    return text ? std::move(*text) : std::string(def);
}

void SettingsStore::WriteString(std::string_view section, std::string_view name,
                                std::string_view text) {
    // Without the program's key there is nowhere safe to create the section.
    const UniqueRegistryKey sub = Create(section);
    if (!sub) throw Error("Failed to create key " + std::string(section));
    const std::vector<std::uint8_t> data = StringData(text);
    if (!backend_.SetValue(sub.Get(), name, kRegSz, data)) {
        throw Error(Quoted("Failed to set data", name));
    }
}

bool SettingsStore::ReadBool(std::string_view section, std::string_view name, bool def) {
    const std::optional<std::string> text = ReadText(section, name);
    if (!text) return def;
    const std::optional<long long> number = ParseWholeNumber(*text);
    return number ? *number != 0 : def;
}

void SettingsStore::WriteBool(std::string_view section, std::string_view name, bool on) {
    WriteString(section, name, on ? "1" : "0");
}

double SettingsStore::ReadDate(std::string_view name) {
    std::optional<RegistryValue> value;
    if (const UniqueRegistryKey key = Open({}, RegistryAccess::Read)) {
        value = backend_.QueryValue(key.Get(), name);
    }
    if (!value || value->data.size() > sizeof(double)) {
        throw Error(Quoted("Failed to get data", name));
    }
    if (value->type != kRegBinary || value->data.size() < sizeof(double)) FailInvalidType(name);
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < sizeof bits; ++i) {
        bits |= static_cast<std::uint64_t>(value->data[i]) << (8 * i);
    }
    return std::bit_cast<double>(bits);
}

void SettingsStore::WriteDate(std::string_view name, double date) {
    const auto bits = std::bit_cast<std::uint64_t>(date);
    std::array<std::uint8_t, sizeof bits> data{};
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
    const UniqueRegistryKey key = Create({});
    if (!key || !backend_.SetValue(key.Get(), name, kRegBinary, data)) {
        throw Error(Quoted("Failed to set data", name));
    }
}

}  // namespace quenvix::core
