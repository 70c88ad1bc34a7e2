#include "core/shell_text.h"

#include <vector>

#include "core/error.h"
#include "core/ports/registry_backend.h"
#include "core/product.h"
#include "core/rules.h"

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

namespace {

std::string ComparablePath(std::string_view path) {
    std::string out = FoldCase(path);
    for (char& c : out) {
        if (c == '/') c = '\\';
    }
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

}  // namespace

bool IsInsideFolder(std::string_view path, std::string_view folder) {
    const std::string inside = ComparablePath(folder);
    if (inside.empty()) return false;
    const std::string whole = ComparablePath(path);
    // "C:\Temp2\q.exe" is not inside "C:\Temp": the folder must end at a separator.
    return whole.size() > inside.size() && whole.compare(0, inside.size(), inside) == 0 &&
           whole[inside.size()] == '\\';
}

RunEntry ApplyRunOnStartup(RegistryBackend& registry, bool on, std::string_view executablePath,
                           std::string_view temporaryFolder) {
    if (on && IsInsideFolder(executablePath, temporaryFolder)) return RunEntry::FromTemporaryFolder;
    UniqueRegistryKey run(
        registry, registry.CreateKey(registry.Root(RegistryRoot::CurrentUser), kRunKeyPath));
    if (!run) return RunEntry::Untouched;
    if (!on) {
        registry.DeleteValue(run.Get(), kProductName);
        return RunEntry::Removed;
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
    return RunEntry::Written;
}

}  // namespace quenvix::core
