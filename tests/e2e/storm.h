#pragma once
// testwin's hostile program: every window a process has at the top level (its visible and hidden
// windows and its message-only ones, not their child controls) is sent and posted the messages a
// program of another process could make up: every private message number from WM_USER to
// WM_APP + 0x100 with random parameters, WM_COMMAND with every id from 1 to 2000, the window
// life-cycle messages and messages that carry pointers (filled with garbage).
//
// The tray icon's callback is the shell's way in and may act, so no message carries an lParam
// that is a mouse message (0x200..0x20F): the storm never clicks on the icon.
//
// Usage: testwin storm PID|CLASS [--ms N] [--seed N] [--spare-close CLASS,CLASS] [--only CLASS]
//                     [--out FILE]
//   --ms       the time each window's share of the storm may take (default 2000): half for the
//              commands, half for the private range, each in a random order so that a short budget
//              still reaches every part of them (a long one sweeps them whole); the life-cycle and
//              pointer messages always go
//   --spare-close   windows of these classes get no WM_CLOSE: for them a close request from
//              another program is a documented way to end the program
//   --only     only the windows of that class
//   --out      a line "windows N sent N posted N swept N of N seed N", then one line per window
// One sending in 16 waits for its answer; the others are sent without waiting, and the storm
// waits for its target to catch up every 1024 messages.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

namespace storm {

class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    std::uint64_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    // A parameter as programs make them up: nothing, a small number, 32 or 64 random bits, or
    // something that looks like a pointer into the heap.
    std::uint64_t Parameter() {
        switch (Next() % 5) {
            case 0:
                return 0;
            case 1:
                return Next() % 0x10000;
            case 2:
                return Next() & 0xFFFFFFFFu;
            case 3:
                return Next();
            default:
                return 0x10000 + (Next() % 0x7FFF0000) * 16;
        }
    }
    // Never a mouse message number: that lParam is the tray icon's real click.
    LPARAM LParam() {
        std::uint64_t value = Parameter();
        while (value >= 0x200 && value <= 0x20F) value = Parameter();
        return static_cast<LPARAM>(value);
    }
    WPARAM WParam() { return static_cast<WPARAM>(Parameter()); }

  private:
    std::uint64_t state_;
};

struct Target {
    HWND hwnd;
    std::wstring className;
    bool spareClose;
};

struct Counts {
    unsigned long sent = 0;
    unsigned long posted = 0;
    unsigned long swept = 0;
    unsigned long range = 0;
};

inline std::wstring ClassOf(HWND hwnd) {
    wchar_t name[128] = {};
    GetClassNameW(hwnd, name, 128);
    return name;
}

inline std::vector<Target> WindowsOf(DWORD pid, const std::wstring& spareClose) {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{pid, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner == s->pid) s->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    for (HWND h = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); h;
         h = FindWindowExW(HWND_MESSAGE, h, nullptr, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner == pid) search.found.push_back(h);
    }
    std::vector<Target> targets;
    for (HWND h : search.found) {
        const std::wstring name = ClassOf(h);
        const std::wstring list = L"," + spareClose + L",";
        targets.push_back(Target{h, name, list.find(L"," + name + L",") != std::wstring::npos});
    }
    return targets;
}

class Storm {
  public:
    Storm(std::uint64_t seed, Counts& counts) : random_(seed), counts_(counts) {}

    // Sent and waited for, as a program that wants an answer sends.
    void Send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG | SMTO_NORMAL, 50, &result);
        ++counts_.sent;
    }
    // Sent without waiting (the way the shell sends the tray callback): the receiver handles it as
    // a sent message all the same, and the storm need not wait for each answer.
    void SendAhead(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        SendNotifyMessageW(hwnd, msg, wp, lp);
        ++counts_.sent;
    }
    void Post(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        // A full queue refuses posts; the target is then let to catch up a little.
        if (!PostMessageW(hwnd, msg, wp, lp) && GetLastError() == ERROR_NOT_ENOUGH_QUOTA) Sleep(20);
        ++counts_.posted;
    }
    // Posted and sent; one sending in 16 waits for its answer.
    void Both(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        Post(hwnd, msg, wp, lp);
        if (++rounds_ % 16 == 0) {
            Send(hwnd, msg, wp, lp);
        } else {
            SendAhead(hwnd, msg, wp, lp);
        }
    }
    // Waits until the window's thread has handled everything sent so far (sent messages are
    // handled in order), so that the storm never runs far ahead of its target.
    void CatchUp(HWND hwnd) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, 5000, &result);
    }

    // WM_COMMAND with every id from 1 to 2000, as a menu's choice (no control, notification 0) and
    // as a control's notice, in a random order, until the budget runs out.
    void Commands(HWND hwnd, DWORD budgetMs) {
        std::vector<UINT> items(4000);
        std::iota(items.begin(), items.end(), 0u);
        Shuffle(items);
        counts_.range += static_cast<unsigned long>(items.size());
        const ULONGLONG end = GetTickCount64() + budgetMs;
        for (UINT item : items) {
            if (GetTickCount64() >= end || !IsWindow(hwnd)) break;
            const UINT id = item / 2 + 1;
            if (item % 2 == 0) {
                Both(hwnd, WM_COMMAND, id, 0);
            } else {
                Both(hwnd, WM_COMMAND, MAKEWPARAM(id, random_.Next() % 3), random_.LParam());
            }
            if (++counts_.swept % 1024 == 0) CatchUp(hwnd);
        }
        CatchUp(hwnd);
    }

    void LifeAndPointers(const Target& target) {
        const HWND hwnd = target.hwnd;
        for (UINT msg :
             {WM_DESTROY, WM_NCDESTROY, WM_NOTIFY, WM_NCCREATE, WM_CREATE, WM_COPYDATA}) {
            Post(hwnd, msg, random_.WParam(), random_.LParam());
        }
        Send(hwnd, WM_DESTROY, 0, 0);
        Send(hwnd, WM_NCDESTROY, 0, 0);
        // A notification whose header pointer means nothing in the receiver.
        Send(hwnd, WM_NOTIFY, random_.Next() % 400, random_.LParam() | 0x10);
        // Creation messages to a window that exists, their object pointer made up.
        CREATESTRUCTW create{};
        create.lpCreateParams = reinterpret_cast<void*>(static_cast<UINT_PTR>(random_.Parameter()));
        create.hInstance = reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(random_.Parameter()));
        create.lpszName = L"storm";
        create.lpszClass = L"storm";
        create.cx = create.cy = 100;
        Send(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create));
        Send(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create));
        // Data that is nobody's: random bytes and a random tag.
        std::uint8_t bytes[64];
        for (auto& b : bytes) b = static_cast<std::uint8_t>(random_.Next());
        COPYDATASTRUCT copy{static_cast<ULONG_PTR>(random_.Parameter()), sizeof bytes, bytes};
        Send(hwnd, WM_COPYDATA, random_.WParam(), reinterpret_cast<LPARAM>(&copy));
        if (!target.spareClose) {
            Post(hwnd, WM_CLOSE, 0, 0);
            Send(hwnd, WM_CLOSE, 0, 0);
        }
        CatchUp(hwnd);
    }

    // Every message number of the private range, in a random order, each posted and sent once,
    // until the budget runs out.
    void PrivateRange(HWND hwnd, DWORD budgetMs) {
        std::vector<UINT> numbers(WM_APP + 0x100 - WM_USER + 1);
        std::iota(numbers.begin(), numbers.end(), static_cast<UINT>(WM_USER));
        Shuffle(numbers);
        counts_.range += static_cast<unsigned long>(numbers.size());
        const ULONGLONG end = GetTickCount64() + budgetMs;
        for (UINT msg : numbers) {
            if (GetTickCount64() >= end || !IsWindow(hwnd)) break;
            Both(hwnd, msg, random_.WParam(), random_.LParam());
            ++counts_.swept;
            if (counts_.swept % 1024 == 0) CatchUp(hwnd);
        }
        CatchUp(hwnd);
    }

  private:
    void Shuffle(std::vector<UINT>& items) {
        for (std::size_t i = items.size() - 1; i > 0; --i) {
            std::swap(items[i], items[random_.Next() % (i + 1)]);
        }
    }

    Random random_;
    Counts& counts_;
    unsigned long rounds_ = 0;
};

inline std::wstring Run(DWORD pid, DWORD budgetMs, std::uint64_t seed,
                        const std::wstring& spareClose, const std::wstring& only) {
    Counts counts;
    Storm storm(seed, counts);
    const std::vector<Target> targets = WindowsOf(pid, spareClose);
    std::wstring perWindow;
    for (const Target& target : targets) {
        if (!IsWindow(target.hwnd) || (!only.empty() && target.className != only)) continue;
        // Half the budget each; the life-cycle and pointer messages always go.
        storm.Commands(target.hwnd, budgetMs / 2);
        storm.PrivateRange(target.hwnd, budgetMs - budgetMs / 2);
        storm.LifeAndPointers(target);
        wchar_t line[200];
        wsprintfW(line, L"%p %s%s\n", target.hwnd, target.className.c_str(),
                  target.spareClose ? L" (no close)" : L"");
        perWindow += line;
    }
    wchar_t head[200];
    wsprintfW(head, L"windows %u sent %lu posted %lu swept %lu of %lu seed %I64u\n",
              static_cast<unsigned>(targets.size()), counts.sent, counts.posted, counts.swept,
              counts.range, seed);
    return head + perWindow;
}

}  // namespace storm
