#include "core/cpu_speed.h"

#include <cstdint>

#include "core/error.h"
#include "core/ports/registry_backend.h"

namespace quenvix::core {

std::string GetCPUSpeed(RegistryBackend& registry) {
    // Read access only: the key belongs to the system, and asking for more fails for anyone but
    // an administrator.
    UniqueRegistryKey key(registry, registry.OpenKey(registry.Root(RegistryRoot::LocalMachine),
                                                     kCpuKeyPath, RegistryAccess::Read));
    if (!key) return {};
    const auto value = registry.QueryValue(key.Get(), kCpuSpeedValue);
    if (!value || value->data.size() > 4) {
        throw Error(std::string("Failed to get data for '") + kCpuSpeedValue + "'");
    }
    // A DWORD of fewer than 4 bytes would leave part of the number undefined: refuse it rather
    // than show whatever was in the buffer.
    if (value->type != kRegDword || value->data.size() != 4) {
        throw Error(std::string("Invalid data type for '") + kCpuSpeedValue + "'");
    }
    const auto& d = value->data;
    const std::uint32_t raw =
        static_cast<std::uint32_t>(d[0]) | static_cast<std::uint32_t>(d[1]) << 8 |
        static_cast<std::uint32_t>(d[2]) << 16 | static_cast<std::uint32_t>(d[3]) << 24;
    return std::to_string(static_cast<std::int32_t>(raw)) + " MHz";
}

}  // namespace quenvix::core
