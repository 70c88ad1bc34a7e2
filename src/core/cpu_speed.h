#pragma once
// The processor speed shown in the about box, read from the local machine's hardware
// description.
#include <string>

namespace quenvix::core {

class RegistryBackend;

inline constexpr const char* kCpuKeyPath = "Hardware\\Description\\System\\CentralProcessor\\0";
inline constexpr const char* kCpuSpeedValue = "~MHz";

// "<n> MHz" with n the first processor's "~MHz" value as a signed 32-bit number; empty when the
// key cannot be opened. Throws Error "Failed to get data for '~MHz'" for a missing value or one
// longer than 4 bytes, and "Invalid data type for '~MHz'" for any type but a 4-byte DWORD.
std::string GetCPUSpeed(RegistryBackend& registry);

}  // namespace quenvix::core
