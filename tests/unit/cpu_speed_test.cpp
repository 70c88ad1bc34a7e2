#include "core/cpu_speed.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "core/ports/registry_backend.h"
#include "fakes/memory_registry.h"

namespace quenvix::core {
namespace {

constexpr const char* kCpuKey = "Hardware\\Description\\System\\CentralProcessor\\0";

std::vector<std::uint8_t> Dword(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

std::string ErrorOf(test::MemoryRegistry& registry) {
    try {
        GetCPUSpeed(registry);
    } catch (const Error& e) {
        return e.what();
    }
    return "no error";
}

TEST(CpuSpeed, DwordValueBecomesSignedDecimalWithUnit) {
    test::MemoryRegistry registry;
    registry.PutMachineRaw(kCpuKey, "~MHz", kRegDword, Dword(1993));
    EXPECT_EQ(GetCPUSpeed(registry), "1993 MHz");
    registry.PutMachineRaw(kCpuKey, "~MHz", kRegDword, Dword(0));
    EXPECT_EQ(GetCPUSpeed(registry), "0 MHz");
    registry.PutMachineRaw(kCpuKey, "~MHz", kRegDword, Dword(0xFFFFFFFFu));
    EXPECT_EQ(GetCPUSpeed(registry), "-1 MHz");
    registry.PutMachineRaw(kCpuKey, "~MHz", kRegDword, Dword(0x80000000u));
    EXPECT_EQ(GetCPUSpeed(registry), "-2147483648 MHz");
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST(CpuSpeed, MissingKeyGivesEmptyTextWithoutError) {
    test::MemoryRegistry registry;
    // The same path below the current user must not be mistaken for the machine's.
    registry.PutRaw(kCpuKey, "~MHz", kRegDword, Dword(1000));
    EXPECT_EQ(GetCPUSpeed(registry), "");
}

TEST(CpuSpeed, MissingOrOverlongValueFailsToGetData) {
    test::MemoryRegistry registry;
    registry.PutMachineRaw(kCpuKey, "Other", kRegDword, Dword(1));
    EXPECT_EQ(ErrorOf(registry), "Failed to get data for '~MHz'");
    registry.PutMachineRaw(kCpuKey, "~MHz", kRegQword, {1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(ErrorOf(registry), "Failed to get data for '~MHz'");
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST(CpuSpeed, OtherTypesAreInvalid) {
    test::MemoryRegistry registry;
    registry.PutMachineRaw(kCpuKey, "~MHz", kRegSz, {'1', 0});
    EXPECT_EQ(ErrorOf(registry), "Invalid data type for '~MHz'");
    registry.PutMachineRaw(kCpuKey, "~MHz", kRegBinary, Dword(1000));
    EXPECT_EQ(ErrorOf(registry), "Invalid data type for '~MHz'");
    registry.PutMachineRaw(kCpuKey, "~MHz", kRegDword, {0xE8, 0x03});
    EXPECT_EQ(ErrorOf(registry), "Invalid data type for '~MHz'");
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace quenvix::core
