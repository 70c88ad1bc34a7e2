#include "core/shell_text.h"

#include <vector>

#include "core/error.h"
#include "core/ports/registry_backend.h"
#include "core/product.h"

namespace quenvix::core {

std::string SupportMailLink(std::string_view caption) {
    std::string link = "mailto:";
    link += kSupportMail;
    link += "?subject=";
    link += caption;
    return link;
}

std::string HelpPageBeside(std::string_view executablePath) {
    // The directory keeps its trailing separator; a bare file name has none.
    const std::size_t cut = executablePath.find_last_of("\\/:");
    std::string page(cut == std::string_view::npos ? std::string_view()
                                                   : executablePath.substr(0, cut + 1));
    page += "Help\\Default.htm";
    return page;
}

void ApplyRunOnStartup(RegistryBackend& registry, bool on, std::string_view executablePath) {
    UniqueRegistryKey run(
        registry, registry.CreateKey(registry.Root(RegistryRoot::CurrentUser), kRunKeyPath));
    if (!run) return;
    if (!on) {
        registry.DeleteValue(run.Get(), kProductName);
        return;
    }
    std::vector<std::uint8_t> data;
    data.reserve(executablePath.size() + 3);
    data.push_back('"');
    data.insert(data.end(), executablePath.begin(), executablePath.end());
    data.push_back('"');
    data.push_back(0);
    if (!registry.SetValue(run.Get(), kProductName, kRegSz, data)) {
        throw Error("Failed to set data for '" + std::string(kProductName) + "'");
    }
}

}  // namespace quenvix::core
