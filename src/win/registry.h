#pragma once
// The registry port on advapi32. Names and string data are UTF-8 on the core's side and UTF-16 in
// the registry; binary and numeric data pass through unchanged.
#include "core/ports/registry_backend.h"

namespace quenvix::win {

class Win32Registry final : public core::RegistryBackend {
  public:
    Key Root(core::RegistryRoot root) override;
    Key OpenKey(Key parent, std::string_view path, core::RegistryAccess access) override;
    Key CreateKey(Key parent, std::string_view path) override;
    std::optional<core::RegistryValue> QueryValue(Key key, std::string_view name) override;
    bool SetValue(Key key, std::string_view name, std::uint32_t type,
                  std::span<const std::uint8_t> data) override;
    void DeleteValue(Key key, std::string_view name) override;
    std::vector<std::string> ValueNames(Key key) override;
    void CloseKey(Key key) override;
};

}  // namespace quenvix::win
