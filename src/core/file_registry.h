#pragma once
// The registry port on one text file: what a portable copy uses instead of the user's registry, so
// that every setting and record keeps its meaning and its error texts (the settings store above
// cannot tell the two apart). Keys below HKEY_CURRENT_USER are sections of the file, in the syntax
// of a .reg file that a person can read and edit:
//
//   [Software\Tarmel\Quenvix\Main]
//   "Update"="https://www.tarmel.example"      REG_SZ (the terminating NUL is implied)
//   "Count"=dword:0000000a                      REG_DWORD
//   "Last"=hex(b):00,00,00,00,00,00,e4,40       any other type and size, byte by byte
//
// plus expand:"..." and multi:"..." for REG_EXPAND_SZ and REG_MULTI_SZ, and \\ \" \0 \n \r \t
// \xHH escapes inside quotes. Every operation reads the file afresh (a value changed by hand or by
// the guardian's process is seen at once) and every change rewrites it whole through
// SettingsFile::Replace, so a crash mid-write loses nothing. Comments and lines it cannot read are
// kept as they are; a value line it cannot read is a value of type REG_NONE, which the settings
// store reports as it reports a damaged registry value. A file that exists but cannot be read is
// never replaced: every write fails. HKEY_LOCAL_MACHINE (read only: the processor's speed) is
// answered by `machine` when given, else it has no keys.
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/registry_backend.h"
#include "core/ports/settings_file.h"

namespace quenvix::core {

class FileRegistry final : public RegistryBackend {
  public:
    explicit FileRegistry(SettingsFile& file, RegistryBackend* machine = nullptr);

    Key Root(RegistryRoot root) override;
    Key OpenKey(Key parent, std::string_view path, RegistryAccess access) override;
    Key CreateKey(Key parent, std::string_view path) override;
    std::optional<RegistryValue> QueryValue(Key key, std::string_view name) override;
    bool SetValue(Key key, std::string_view name, std::uint32_t type,
                  std::span<const std::uint8_t> data) override;
    void DeleteValue(Key key, std::string_view name) override;
    std::vector<std::string> ValueNames(Key key) override;
    void CloseKey(Key key) override;

    // The file's syntax, for the tests too.
    struct Entry {
        std::optional<std::string> name;  // the value's name ("" the default value); none: no value
        RegistryValue value;
        // The line as read, written back as it was: comments, and a value line that could not be
        // read (`damaged`; its value is REG_NONE holding the line until the program writes it).
        std::string line;
        bool damaged = false;
    };
    struct Section {
        // As written, "Software\\Tarmel\\Quenvix"; the first section, without a header, holds
        // the lines before any header (and the values of HKEY_CURRENT_USER itself).
        std::string path;
        std::vector<Entry> entries;
    };
    struct Document {
        std::vector<Section> sections;  // never empty
        bool writable = true;
    };
    static Document Parse(std::string_view text);
    static std::string Format(const Document& document);

  private:
    struct Handle {
        bool machine = false;
        Key machineKey = kNoKey;
        std::string path;  // below HKEY_CURRENT_USER, "\\"-separated, as first named
    };
    static constexpr Key kCurrentUser = 1;
    static constexpr Key kLocalMachine = 2;

    Document Load();
    bool Store(const Document& document);
    const Handle* Find(Key key) const;
    Key NewHandle(Handle handle);
    // The path of `path` below `parent` (nullopt: not a valid path); "" is the root itself.
    static std::optional<std::string> Join(std::string parent, std::string_view path);
    // The path of a key below HKEY_CURRENT_USER; nullopt for another or no key.
    std::optional<std::string> UserPath(Key key) const;
    static bool KeyExists(const Document& document, std::string_view path);
    static Section* FindSection(Document& document, std::string_view path);

    SettingsFile& file_;
    RegistryBackend* machine_;
    std::map<Key, Handle> handles_;
    Key nextHandle_ = 100;
};

}  // namespace quenvix::core
