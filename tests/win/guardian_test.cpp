// The guardian and the list it reads. The list: a reader never sees a half-written list, neither
// under a writer that never stops nor after a writer that died in the middle of a change, and the
// capacity bounds it. The guardian: the real quenvix_guardian.exe started as the guardian of a
// process this test controls stands apart from it and shows this test's hidden windows, each in
// its state, when that process is killed; after the clean exit it touches nothing; one that is
// killed is replaced; started by hand with made-up arguments it ends at once.
#include "win/guardian.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "guarded_test_window.h"
#include "win/crash_guard.h"

namespace quenvix::win {
namespace {

constexpr core::ShowState kMin = core::ShowState::Minimized;
constexpr core::ShowState kMax = core::ShowState::Maximized;

std::vector<core::RecoveryEntry> Entries(std::uint64_t firstHandle, std::size_t count,
                                         core::ShowState state) {
    std::vector<core::RecoveryEntry> entries(count);
    for (std::size_t i = 0; i < count; ++i) {
        entries[i].handle = firstHandle + i;
        entries[i].state = state;
    }
    return entries;
}

TEST(GuardedList, AReaderSeesOnlyWholeListsWhileTheWriterNeverStops) {
    auto list = std::make_unique<GuardedList>();
    // List number k: (k % 61) + 1 entries, handles k * 10000 + i, state k % 3. A torn read mixes
    // two numbers, or has the wrong length for its number.
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (std::uint64_t k = 1; !stop.load(); ++k) {
            WriteGuardedList(*list,
                             Entries(k * 10000, (k % 61) + 1, static_cast<core::ShowState>(k % 3)));
        }
    });
    // Reads until it has seen a good many of the writer's lists go by, each one whole.
    std::uint64_t lastSeen = 0;
    std::uint64_t distinct = 0;
    std::vector<GuardedEntry> read;
    for (long i = 0; i < 50'000'000 && distinct < 200; ++i) {
        if (!ReadGuardedList(*list, read) || read.empty()) continue;
        const std::uint64_t k = read[0].handle / 10000;
        ASSERT_EQ(read.size(), (k % 61) + 1) << "list " << k;
        for (std::size_t j = 0; j < read.size(); ++j) {
            ASSERT_EQ(read[j], (GuardedEntry{k * 10000 + j, static_cast<core::ShowState>(k % 3)}))
                << "list " << k << " entry " << j;
        }
        if (k != lastSeen) ++distinct;
        lastSeen = k;
    }
    stop = true;
    writer.join();
    EXPECT_GE(distinct, 200u) << "the reads must have overlapped the writer's changes";
}

TEST(GuardedList, KeepsTheFirstEntriesUpToItsCapacityAndSurvivesAWriterThatDiedMidChange) {
    auto list = std::make_unique<GuardedList>();
    EXPECT_EQ(WriteGuardedList(*list, Entries(1, kCrashListCapacity + 7, kMax)),
              kCrashListCapacity);
    std::vector<GuardedEntry> read;
    ASSERT_TRUE(ReadGuardedList(*list, read));
    ASSERT_EQ(read.size(), kCrashListCapacity);
    EXPECT_EQ(read.front(), (GuardedEntry{1, kMax}));
    EXPECT_EQ(read.back(), (GuardedEntry{kCrashListCapacity, kMax}));

    WriteGuardedList(*list, Entries(500, 3, kMin));
    // A writer killed half-way through the next change: the copy not in use is marked as being
    // written and holds part of a list. The current one is untouched and must be what is read.
    auto& spare = list->copies[1u - (list->current.load() & 1u)];
    spare.sequence.fetch_add(1);
    spare.handles[0].store(999);
    spare.count.store(1);
    ASSERT_TRUE(ReadGuardedList(*list, read));
    EXPECT_EQ(read, (std::vector<GuardedEntry>{{500, kMin}, {501, kMin}, {502, kMin}}));
}

// ---- the guardian, for real ---------------------------------------------------------------

std::wstring BesideThisTest(const wchar_t* file) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + file;
}

bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 10000) {
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    while (GetTickCount64() < deadline) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        if (done()) return true;
        Sleep(10);
    }
    return done();
}

// Stands in for the running copy: a process the guardian can watch and the test can kill. This
// test program itself, started suspended, never runs a line.
struct WatchedProcess {
    WatchedProcess() {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        std::wstring commandLine = L"watched";
        const std::wstring self = BesideThisTest(L"win_guardian_test.exe");
        if (CreateProcessW(self.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                           CREATE_SUSPENDED, nullptr, nullptr, &startup, &info)) {
            CloseHandle(info.hThread);
        }
    }
    ~WatchedProcess() { Kill(); }
    void Kill() {
        if (!info.hProcess) return;
        TerminateProcess(info.hProcess, 9);
        WaitForSingleObject(info.hProcess, 5000);
        CloseHandle(info.hProcess);
        info.hProcess = nullptr;
    }
    PROCESS_INFORMATION info{};
};

using HiddenWindow = test::GuardedTestWindow;

// Ends a guardian the test left behind, so that it cannot outlive the test.
struct GuardianEnd {
    explicit GuardianEnd(HANDLE guardian) : process(guardian) {}
    ~GuardianEnd() {
        if (!process || WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return;
        // The copy's handle may wait and ask, not end it.
        const UniqueHandle killable(OpenProcess(PROCESS_TERMINATE, FALSE, GetProcessId(process)));
        if (killable) TerminateProcess(killable.get(), 9);
    }
    HANDLE process;
};

DWORD ExitCodeAfterEnd(HANDLE process) {
    if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process, &code);
    return code;
}

// Runs the guardian's side of the copy's message wait until `done`.
bool ServeUntil(Guardian& guardian, const std::function<bool()>& done, DWORD limitMs = 15000) {
    return PumpUntil(
        [&] {
            if (HANDLE h = guardian.WaitHandle(); h && WaitForSingleObject(h, 0) == WAIT_OBJECT_0)
                guardian.Serve();
            return done();
        },
        limitMs);
}

DWORD ParentOf(DWORD process) {
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == process) return entry.th32ParentProcessID;
    }
    return 0;
}

TEST(Guardian, StandsApartAndShowsAKilledCopysWindowsInTheirStatesEvenBeforeItCameUp) {
    WatchedProcess copy;
    ASSERT_TRUE(copy.info.hProcess);
    HiddenWindow normal(SW_SHOWNORMAL), minimised(SW_SHOWMINIMIZED), maximised(SW_SHOWMAXIMIZED),
        restoredMeanwhile(SW_SHOWNORMAL);
    auto guardian = Guardian::Start(BesideThisTest(kGuardianProgram), copy.info.hProcess);
    ASSERT_TRUE(guardian);
    guardian->Publish({restoredMeanwhile.Entry(core::ShowState::Normal)});
    guardian->Publish({normal.Entry(core::ShowState::Normal),
                       minimised.Entry(core::ShowState::Minimized),
                       maximised.Entry(core::ShowState::Maximized)});
    // Killed before the launcher is done: the guardian holds the copy and the list all the same.
    copy.Kill();
    ASSERT_TRUE(ServeUntil(*guardian, [&] { return guardian->Process() != nullptr; }));
    const GuardianEnd end(guardian->Process());
    // Its parent, the launcher, has ended: no process tree of ours holds it.
    EXPECT_NE(ParentOf(guardian->ProcessId()), GetCurrentProcessId());

    ASSERT_TRUE(PumpUntil([&] {
        return IsWindowVisible(normal.hwnd) && IsWindowVisible(minimised.hwnd) &&
               IsWindowVisible(maximised.hwnd);
    }));
    EXPECT_EQ(ExitCodeAfterEnd(guardian->Process()), 0u);
    PumpUntil([] { return false; }, 200);
    EXPECT_FALSE(IsIconic(normal.hwnd));
    EXPECT_FALSE(IsZoomed(normal.hwnd));
    EXPECT_TRUE(IsIconic(minimised.hwnd));
    EXPECT_TRUE(IsZoomed(maximised.hwnd));
    EXPECT_FALSE(IsWindowVisible(restoredMeanwhile.hwnd)) << "only the latest list counts";
}

TEST(Guardian, AfterTheCleanExitItEndsWithoutTouchingAWindow) {
    WatchedProcess copy;
    ASSERT_TRUE(copy.info.hProcess);
    HiddenWindow hidden(SW_SHOWNORMAL);
    auto guardian = Guardian::Start(BesideThisTest(kGuardianProgram), copy.info.hProcess);
    ASSERT_TRUE(guardian);
    ASSERT_TRUE(ServeUntil(*guardian, [&] { return guardian->Process() != nullptr; }));
    UniqueHandle process;
    {
        HANDLE duplicate = nullptr;
        DuplicateHandle(GetCurrentProcess(), guardian->Process(), GetCurrentProcess(), &duplicate,
                        0, FALSE, DUPLICATE_SAME_ACCESS);
        process.reset(duplicate);
    }
    const GuardianEnd end(process.get());
    guardian->Publish({hidden.Entry(core::ShowState::Normal)});
    guardian->MarkCleanExit();
    guardian.reset();

    copy.Kill();
    EXPECT_EQ(ExitCodeAfterEnd(process.get()), 0u);
    PumpUntil([] { return false; }, 300);
    EXPECT_FALSE(IsWindowVisible(hidden.hwnd));
}

TEST(Guardian, AGuardianThatEndsIsReplacedAndTheNewOneShowsTheWindows) {
    WatchedProcess copy;
    ASSERT_TRUE(copy.info.hProcess);
    HiddenWindow hidden(SW_SHOWNORMAL);
    auto guardian = Guardian::Start(BesideThisTest(kGuardianProgram), copy.info.hProcess);
    ASSERT_TRUE(guardian);
    ASSERT_TRUE(ServeUntil(*guardian, [&] { return guardian->Process() != nullptr; }));
    const DWORD first = guardian->ProcessId();
    {
        const UniqueHandle killable(OpenProcess(PROCESS_TERMINATE, FALSE, first));
        ASSERT_TRUE(killable && TerminateProcess(killable.get(), 9));
    }
    ASSERT_TRUE(ServeUntil(*guardian, [&] {
        return guardian->Process() != nullptr && guardian->ProcessId() != first;
    }));
    EXPECT_TRUE(guardian->Watching());
    const GuardianEnd end(guardian->Process());
    guardian->Publish({hidden.Entry(core::ShowState::Normal)});
    copy.Kill();
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(hidden.hwnd) != FALSE; }));
    EXPECT_EQ(ExitCodeAfterEnd(guardian->Process()), 0u);
}

// ---- the guardian program's command line ---------------------------------------------------

DWORD RunGuardianProgram(std::wstring arguments) {
    const std::wstring program = BesideThisTest(kGuardianProgram);
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        return STILL_ACTIVE;
    }
    CloseHandle(info.hThread);
    const UniqueHandle process(info.hProcess);
    const GuardianEnd end(process.get());
    return ExitCodeAfterEnd(process.get());
}

TEST(GuardianProgram, StartedByHandWithMadeUpArgumentsItEndsAtOnce) {
    // Handles that name nothing in the new process, numbers out of range, words: each ends at
    // once, the guardian with 2 and the launcher with no process id.
    for (const wchar_t* arguments : {L"", L"1234 5678 9999", L"4 8 12 16", L"01 2 3",
                                     L"99999999999999999999 1 2", L"abc", L"--guard 1 2"}) {
        EXPECT_EQ(RunGuardianProgram(arguments), 2u) << std::wstring(arguments).size();
    }
    EXPECT_EQ(RunGuardianProgram(L"--detach 1234 5678"), 0u);
    EXPECT_EQ(RunGuardianProgram(L"--detach x"), 0u);
}

}  // namespace
}  // namespace quenvix::win
