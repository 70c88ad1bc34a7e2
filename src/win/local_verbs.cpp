#include "win/local_verbs.h"

#include <windows.h>
// (after windows.h)
#include <shellapi.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "core/command_line.h"
#include "core/hider.h"
#include "core/product.h"
#include "core/settings_store.h"
#include "win/app.h"
#include "win/desktop.h"
#include "win/log.h"
#include "win/ui.h"

namespace quenvix::win {
namespace {

std::vector<std::string> ProgramArguments() {
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(
        CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
    std::vector<std::string> args;
    if (!argv) return args;
    for (int i = 1; i < count; ++i) args.push_back(Narrow(argv.get()[i]));
    return args;
}

// The marker every running copy holds under the product's name (CheckSingleInstance). One we may
// not open (an elevated copy's) counts as running too.
bool CopyIsRunning() {
    const UniqueHandle marker(
        OpenFileMappingW(FILE_MAP_READ, FALSE, Widen(core::kProductName).c_str()));
    return marker || GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace

std::optional<int> HandleLocalVerb(core::RegistryBackend& registry, core::Desktop& desktop) {
    const core::CommandLineRequest request = core::ParseCommandLine(ProgramArguments());
    if (!request.error.empty()) return {};
    switch (request.verb) {
        case core::CommandVerb::RestoreRecorded:
            return RestoreRecordedWindows(registry, desktop);
        default:
            return {};
    }
}

int RestoreRecordedWindows(core::RegistryBackend& registry, core::Desktop& desktop) {
    if (CopyIsRunning()) {
        Log("Restore recorded: a copy is running and holds its windows; nothing done");
        return core::kExitDone;
    }
    try {
        // The same take-back as a start, then the same give-back as an exit: only windows that
        // are still the ones recorded come back, and the record ends empty.
        core::SettingsStore store(registry, core::kSettingsKeyPath);
        core::Hider hider(desktop, &store, nullptr, core::OwnWindows{}, nullptr,
                          RecoveryValueName());
        if (hider.AdoptRecovered() == core::TakeBack::Unreadable) {
            Log("Restore recorded: a record cannot be read; it is left as it is");
        }
        const std::size_t count = hider.HiddenCount();
        hider.RestoreAllOnExit();
        Log("Restore recorded: windows shown again: " + std::to_string(count));
    } catch (const std::exception& e) {
        // The uninstaller goes on whatever we answer; the log says why nothing came back.
        Log(std::string("Restore recorded failed: ") + e.what());
    }
    return core::kExitDone;
}

}  // namespace quenvix::win
