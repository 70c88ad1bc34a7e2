// The settings file's text: the .reg-like lines read into a document and written back.
#include <algorithm>
#include <cstdio>

#include "core/file_registry.h"
#include "core/text.h"

namespace quenvix::core {
namespace {

constexpr std::string_view kNewFileHeader =
    "; Quenvix settings of this portable copy (portable.ini beside quenvix.exe keeps them here).\n"
    "; The syntax of a .reg file: [key below HKEY_CURRENT_USER], then \"name\"=value lines.\n";

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted string at the start of `text` with its escapes; moves `text` past it.
std::optional<std::string> ReadQuoted(std::string_view& text) {
    if (text.empty() || text.front() != '"') return std::nullopt;
    std::string out;
    std::size_t i = 1;
    while (i < text.size() && text[i] != '"') {
        char c = text[i++];
        if (c == '\\') {
            if (i >= text.size()) return std::nullopt;
            const char e = text[i++];
            switch (e) {
                case '\\':
                    c = '\\';
                    break;
                case '"':
                    c = '"';
                    break;
                case '0':
                    c = '\0';
                    break;
                case 'n':
                    c = '\n';
                    break;
                case 'r':
                    c = '\r';
                    break;
                case 't':
                    c = '\t';
                    break;
                case 'x': {
                    if (i + 2 > text.size()) return std::nullopt;
                    const int high = HexDigit(text[i]);
                    const int low = HexDigit(text[i + 1]);
                    if (high < 0 || low < 0) return std::nullopt;
                    c = static_cast<char>(high * 16 + low);
                    i += 2;
                    break;
                }
                default:
                    return std::nullopt;
            }
        }
        out += c;
    }
    if (i >= text.size()) return std::nullopt;
    text.remove_prefix(i + 1);
    return out;
}

std::string Quote(std::string_view bytes) {
    std::string out = "\"";
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\0':
                out += "\\0";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (u < 0x20 || u == 0x7f) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\x%02x", u);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

// A number of at most `digits` hexadecimal digits, as the whole of `text`.
std::optional<std::uint64_t> ReadHexNumber(std::string_view text, std::size_t digits) {
    if (text.empty() || text.size() > digits) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        const int d = HexDigit(c);
        if (d < 0) return std::nullopt;
        value = value * 16 + static_cast<std::uint64_t>(d);
    }
    return value;
}

std::optional<std::vector<std::uint8_t>> ReadHexBytes(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const auto byte = ReadHexNumber(Trim(text.substr(0, comma)), 2);
        if (!byte) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*byte));
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return bytes;
}

std::vector<std::uint8_t> LittleEndian(std::uint64_t value, std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    return bytes;
}

struct StringForm {
    std::string_view prefix;
    std::uint32_t type;
};
constexpr StringForm kStringForms[] = {
    {"expand:", kRegExpandSz}, {"multi:", kRegMultiSz}, {"", kRegSz}};

std::optional<RegistryValue> ReadData(std::string_view text) {
    for (const auto& form : kStringForms) {
        if (!text.starts_with(form.prefix)) continue;
        std::string_view rest = text.substr(form.prefix.size());
        if (rest.empty() || rest.front() != '"') continue;
        auto quoted = ReadQuoted(rest);
        if (!quoted || !Trim(rest).empty()) return std::nullopt;
        RegistryValue value{form.type, {quoted->begin(), quoted->end()}};
        value.data.push_back(0);
        return value;
    }
    if (text.starts_with("dword:")) {
        const auto number = ReadHexNumber(text.substr(6), 8);
        if (number) return RegistryValue{kRegDword, LittleEndian(*number, 4)};
    } else if (text.starts_with("qword:")) {
        const auto number = ReadHexNumber(text.substr(6), 16);
        if (number) return RegistryValue{kRegQword, LittleEndian(*number, 8)};
    } else if (text.starts_with("hex:")) {
        auto bytes = ReadHexBytes(text.substr(4));
        if (bytes) return RegistryValue{kRegBinary, std::move(*bytes)};
    } else if (text.starts_with("hex(")) {
        const std::size_t close = text.find("):");
        if (close == std::string_view::npos) return std::nullopt;
        const auto type = ReadHexNumber(text.substr(4, close - 4), 8);
        auto bytes = ReadHexBytes(text.substr(close + 2));
        if (type && bytes)
            return RegistryValue{static_cast<std::uint32_t>(*type), std::move(*bytes)};
    }
    return std::nullopt;
}

std::string FormatData(const RegistryValue& value) {
    const auto& data = value.data;
    if (IsStringType(value.type) && !data.empty() && data.back() == 0) {
        const std::string_view prefix = value.type == kRegExpandSz  ? "expand:"
                                        : value.type == kRegMultiSz ? "multi:"
                                                                    : "";
        return std::string(prefix) +
               Quote(std::string_view(reinterpret_cast<const char*>(data.data()), data.size() - 1));
    }
    char text[40];
    if (value.type == kRegDword && data.size() == 4) {
        std::uint64_t number = 0;
        for (std::size_t i = 0; i < 4; ++i) number |= std::uint64_t{data[i]} << (8 * i);
        std::snprintf(text, sizeof text, "dword:%08llx", static_cast<unsigned long long>(number));
        return text;
    }
    if (value.type == kRegQword && data.size() == 8) {
        std::uint64_t number = 0;
        for (std::size_t i = 0; i < 8; ++i) number |= std::uint64_t{data[i]} << (8 * i);
        std::snprintf(text, sizeof text, "qword:%016llx", static_cast<unsigned long long>(number));
        return text;
    }
    std::string out;
    if (value.type == kRegBinary) {
        out = "hex:";
    } else {
        std::snprintf(text, sizeof text, "hex(%x):", static_cast<unsigned>(value.type));
        out = text;
    }
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(text, sizeof text, i == 0 ? "%02x" : ",%02x", data[i]);
        out += text;
    }
    return out;
}

FileRegistry::Entry ReadEntry(std::string_view line) {
    FileRegistry::Entry entry;
    entry.line = std::string(line);
    std::string_view text = Trim(line);
    if (text.empty() || text.front() == ';' || text.front() == '#') return entry;
    std::optional<std::string> name;
    if (text.front() == '@') {
        name = std::string();
        text.remove_prefix(1);
    } else {
        name = ReadQuoted(text);
    }
    if (!name) return entry;  // not a value line at all: kept as it is
    entry.name = std::move(name);
    text = Trim(text);
    std::optional<RegistryValue> value;
    if (!text.empty() && text.front() == '=') value = ReadData(Trim(text.substr(1)));
    if (value) {
        entry.value = std::move(*value);
    } else {
        // REG_NONE holding the line as written: every reader of a typed value finds the wrong
        // type, as it would in a damaged registry value.
        entry.damaged = true;
        const std::string_view whole = Trim(line);
        entry.value = RegistryValue{kRegNone, {whole.begin(), whole.end()}};
    }
    return entry;
}

}  // namespace

FileRegistry::Document FileRegistry::Parse(std::string_view text) {
    Document document;
    document.sections.emplace_back();
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string_view trimmed = Trim(line);
        if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
            std::string_view path = Trim(trimmed.substr(1, trimmed.size() - 2));
            if (AsciiLower(path.substr(0, 18)) == "hkey_current_user\\") path.remove_prefix(18);
            document.sections.push_back(Section{std::string(path), {}});
            continue;
        }
        document.sections.back().entries.push_back(ReadEntry(line));
    }
    return document;
}

std::string FileRegistry::Format(const Document& document) {
    std::string text;
    for (std::size_t i = 0; i < document.sections.size(); ++i) {
        const Section& section = document.sections[i];
        if (i > 0) text += "[" + section.path + "]\r\n";
        for (const Entry& entry : section.entries) {
            if (!entry.name || entry.damaged) {
                text += entry.line;
            } else {
                text += (entry.name->empty() ? std::string("@") : Quote(*entry.name)) + "=" +
                        FormatData(entry.value);
            }
            text += "\r\n";
        }
    }
    return text;
}

FileRegistry::FileRegistry(SettingsFile& file, RegistryBackend* machine)
    : file_(file), machine_(machine) {}

FileRegistry::Document FileRegistry::Load() {
    const SettingsFile::Contents contents = file_.Read();
    Document document =
        Parse(contents.state == SettingsFile::State::Missing ? kNewFileHeader : contents.text);
    document.writable = contents.state != SettingsFile::State::Unreadable;
    return document;
}

bool FileRegistry::Store(const Document& document) {
    return document.writable && file_.Replace(Format(document));
}

}  // namespace quenvix::core
