#pragma once
// A message sent the way another program sends it: from another process (this test program,
// started again as a sender), while the window's thread keeps pumping. Assistive tools send this
// way: UI Automation's Invoke on a button is a BM_CLICK from the tool's own process.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <cstdlib>
#include <string>

namespace quenvix::test {

inline constexpr wchar_t kSenderSwitch[] = L"--send-as-another-process";

// In the sender: sends the message `count` times, each waiting for its answer, and ends.
inline bool ActAsSenderWhenAsked() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return false;
    if (argc != 7 || lstrcmpW(argv[1], kSenderSwitch) != 0) {
        LocalFree(argv);
        return false;
    }
    const auto number = [&](int i) { return std::wcstoull(argv[i], nullptr, 10); };
    const auto target = reinterpret_cast<HWND>(number(2));
    const auto msg = static_cast<UINT>(number(3));
    const auto wParam = static_cast<WPARAM>(number(4));
    const auto lParam = static_cast<LPARAM>(number(5));
    const auto count = static_cast<int>(number(6));
    LocalFree(argv);
    UINT failures = 0;
    for (int i = 0; i < count; ++i) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(target, msg, wParam, lParam, SMTO_NORMAL, 5000, &result)) {
            ++failures;
        }
    }
    ExitProcess(failures);
}

// Runs before the tests do: a sender never gets to them.
inline const bool kStartedAsSender = ActAsSenderWhenAsked();

// Sends from another process `count` times in a row; true when every send was answered.
inline bool SendFromAnotherProcess(HWND target, UINT msg, WPARAM wParam, LPARAM lParam,
                                   int count = 1) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const auto number = [](unsigned long long n) { return L" " + std::to_wstring(n); };
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" " + kSenderSwitch +
                               number(reinterpret_cast<ULONG_PTR>(target)) + number(msg) +
                               number(wParam) + number(static_cast<ULONG_PTR>(lParam)) +
                               number(static_cast<unsigned>(count));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    const ULONGLONG deadline = GetTickCount64() + 20000;
    while (GetTickCount64() < deadline && MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 50,
                                                                    QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG m;
        // Sent messages are handled inside the peek; posted ones up to a quit.
        while (PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE) && m.message != WM_QUIT &&
               PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&m);
        }
    }
    DWORD code = 1;
    if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
    } else {
        GetExitCodeProcess(process.hProcess, &code);
    }
    CloseHandle(process.hProcess);
    return code == 0;
}

}  // namespace quenvix::test
