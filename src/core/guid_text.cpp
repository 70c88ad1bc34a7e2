#include "core/guid_text.h"

namespace quenvix::core {
namespace {

void AppendHex(std::string& out, std::uint64_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += kDigits[(value >> shift) & 0xF];
}

std::uint64_t LittleEndian(std::span<const std::uint8_t> bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) value = (value << 8) | bytes[i];
    return value;
}

}  // namespace

std::string GuidText(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                     const std::array<std::uint8_t, 8>& data4) {
    std::string text;
    text.reserve(38);
    text += '{';
    AppendHex(text, data1, 8);
    text += '-';
    AppendHex(text, data2, 4);
    text += '-';
    AppendHex(text, data3, 4);
    text += '-';
    for (std::size_t i = 0; i < data4.size(); ++i) {
        if (i == 2) text += '-';
        AppendHex(text, data4[i], 2);
    }
    text += '}';
    return text;
}

std::string GuidText(std::span<const std::uint8_t, 16> bytes) {
    std::array<std::uint8_t, 8> data4{};
    for (std::size_t i = 0; i < data4.size(); ++i) data4[i] = bytes[8 + i];
    return GuidText(static_cast<std::uint32_t>(LittleEndian(bytes.subspan<0, 4>())),
                    static_cast<std::uint16_t>(LittleEndian(bytes.subspan<4, 2>())),
                    static_cast<std::uint16_t>(LittleEndian(bytes.subspan<6, 2>())), data4);
}

}  // namespace quenvix::core
