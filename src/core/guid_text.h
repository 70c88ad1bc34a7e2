#pragma once
// The text form of a GUID as the registry writes it: 38 characters, braces included, upper-case
// hexadecimal digits grouped 8-4-4-4-12, e.g. "{6B29FC40-CA47-1067-B31D-00DD010662DA}".
#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace quenvix::core {

// From the fields of a GUID structure.
std::string GuidText(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                     const std::array<std::uint8_t, 8>& data4);

// From the 16 bytes of a GUID structure as it lies in memory: the first three fields are
// little-endian, the last eight bytes are taken in order.
std::string GuidText(std::span<const std::uint8_t, 16> bytes);

}  // namespace quenvix::core
