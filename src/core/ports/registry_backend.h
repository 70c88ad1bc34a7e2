#pragma once
// The registry as the core sees it: a tree of keys below a few roots, each key holding typed
// values. The Win32 adapter talks to advapi32; the unit tests use an in-memory tree. Names and
// string data cross this boundary as UTF-8, so the core never handles wide text.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quenvix::core {

enum class RegistryRoot { CurrentUser, LocalMachine };

// Read access suffices for values the program only reads from keys it does not own.
enum class RegistryAccess { Read, All };

// Value types, numbered as the registry itself numbers them.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

inline bool IsStringType(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

struct RegistryValue {
    std::uint32_t type = kRegNone;
    // String types: UTF-8, with whatever NULs were stored (a terminating one included). Other
    // types: the bytes as stored.
    std::vector<std::uint8_t> data;
};

class RegistryBackend {
  public:
    // Opaque handle of an open key; kNoKey stands for "none". Root handles are never closed.
    using Key = std::uintptr_t;
    static constexpr Key kNoKey = 0;

    virtual ~RegistryBackend() = default;

    virtual Key Root(RegistryRoot root) = 0;
    // `path`: key names separated by "\", relative to `parent`; empty opens `parent` again.
    // Both answer kNoKey on failure.
    virtual Key OpenKey(Key parent, std::string_view path, RegistryAccess access) = 0;
    // Creates the key and any missing parents (an existing key is just opened), with full access.
    virtual Key CreateKey(Key parent, std::string_view path) = 0;
    // Type and data of a value; nullopt when the value does not exist or cannot be read.
    virtual std::optional<RegistryValue> QueryValue(Key key, std::string_view name) = 0;
    virtual bool SetValue(Key key, std::string_view name, std::uint32_t type,
                          std::span<const std::uint8_t> data) = 0;
    // A missing value is no error; there is nothing the program could do about a failure.
    virtual void DeleteValue(Key key, std::string_view name) = 0;
    // The names of the key's values, in no particular order; empty when it cannot be listed.
    virtual std::vector<std::string> ValueNames(Key key) = 0;
    virtual void CloseKey(Key key) = 0;
};

// Owns one open key of a backend: closes it on every way out.
class UniqueRegistryKey {
  public:
    UniqueRegistryKey() = default;
    UniqueRegistryKey(RegistryBackend& backend, RegistryBackend::Key key)
        : backend_(&backend), key_(key) {}
    UniqueRegistryKey(UniqueRegistryKey&& other) noexcept
        : backend_(other.backend_), key_(std::exchange(other.key_, RegistryBackend::kNoKey)) {}
    UniqueRegistryKey& operator=(UniqueRegistryKey&& other) noexcept {
        if (this != &other) {
            Reset();
            backend_ = other.backend_;
            key_ = std::exchange(other.key_, RegistryBackend::kNoKey);
        }
        return *this;
    }
    UniqueRegistryKey(const UniqueRegistryKey&) = delete;
    UniqueRegistryKey& operator=(const UniqueRegistryKey&) = delete;
    ~UniqueRegistryKey() { Reset(); }

    RegistryBackend::Key Get() const noexcept { return key_; }
    explicit operator bool() const noexcept { return key_ != RegistryBackend::kNoKey; }

    void Reset() noexcept {
        if (key_ != RegistryBackend::kNoKey) backend_->CloseKey(key_);
        key_ = RegistryBackend::kNoKey;
    }

  private:
    RegistryBackend* backend_ = nullptr;
    RegistryBackend::Key key_ = RegistryBackend::kNoKey;
};

}  // namespace quenvix::core
