// The end-to-end scenarios' own helper program. It opens test windows of every kind the hider
// must treat differently, reports window states, and posts messages the way the shell does.
//
// clang-format off
//   testwin open KIND:TITLE ... [--ready FILE] [--stall SECONDS] [--hang SECONDS]
//                                                opens windows and runs until killed
//       KIND: normal, min, max, tool, owned (owned by the first window), noicon,
//       hung (its thread sleeps --hang seconds, default 120, right after opening),
//       slow (answers messages, but each time it is hidden from the screen while not minimised
//       it spends --stall seconds, default 20, in WM_SHOWWINDOW),
//       late (opens as "Loading" and takes TITLE 2 s later, as a program that loads a document),
//       edit (an editor: a text field fills it and takes its keys)
//       --session-log FILE: each window, asked whether the session may end, appends
//       "TITLE|visible|zoomed" (0/1) to FILE
//       editor (an edit field fills it and takes the keyboard whenever it is active; read what
//       was typed with "children")
//   testwin state TITLE --out FILE               "exists visible iconic zoomed" as 0/1
//   testwin post CLASS MSG WPARAM LPARAM         PostMessage to the first window of CLASS
//   testwin send CLASS MSG WPARAM LPARAM [--out FILE]
//                                                SendMessageTimeout (5 s), same target; writes
//                                                the answer (post and send exit 4 when the system
//                                                does not carry that message between processes)
//   testwin churn N                              N short-lived windows, one after the other
//   testwin reshow TITLE [restore]               that window's own program shows it again
//                                                (SW_SHOW, or SW_RESTORE)
//   testwin answers TITLE                        that window answers a message within 2 s (so it
//                                                has run every show command queued before it)
//   testwin foreground TITLE                     makes that window the foreground window
//   testwin isforeground TITLE                   exit 0 when that window is the foreground window
//   testwin list --out FILE                      visible top-level windows: class|title|flags
//                                                (flags: "iconic", " disabled")
//   testwin menurect --out FILE                  the open popup menu: "left top right bottom XWINDOW"
//   testwin rect TITLE --out FILE                "left top right bottom" of the window
//   testwin click TITLE TEXT                     posts BM_CLICK to the child control with that text
//   testwin show TITLE [min]                     shows (SW_RESTORE) or minimises the window, as
//                                                its program would
//   testwin killtree IMAGE                      ends every process of that image name and its
//                                                descendants, as "End process tree" does
//                                                (forgery and automation tests only)
//   testwin ctlrect TITLE TEXT --out FILE        "left top right bottom" on the screen of the
//                                                child control with that text (or of the first
//                                                visible one of a class, TEXT "class:NAME", or
//                                                the one after N others, "class:NAME#N")
//   testwin closebox TITLE --out FILE            "left top right bottom" of its title bar's close box
//   testwin menu --out FILE                      the open popup menu's items, read inside its
//                                                program by read_hook.dll: "depth|text|picture"
//   testwin tabrect TITLE TEXT --out FILE        "left top right bottom" on the screen of the tab
//                                                with that text, read inside its program
//   testwin close TITLE                          posts WM_CLOSE to the window
//   testwin showself TITLE                       the window's own program shows it (SW_SHOW)
//   testwin children TITLE --out FILE            its child controls: class|text|checked
//   testwin dialog --out FILE                    the first message box: its title, then its controls
//   testwin regget SUBKEY VALUE --out FILE       a REG_SZ below HKEY_CURRENT_USER, as UTF-8
//   testwin latency N --out FILE                 N presses of Ctrl + keypad * (injected), each after
//                                                a random 0-100 ms wait: ms from key-down to hidden
//   testwin hidetime N VK --ready FILE --out FILE
//                                                opens N windows, then "MS SHOWN": ms from virtual
//                                                key VK going down until all of them are off the
//                                                screen and stay off, and how often one of them
//                                                was shown again after a hide
//   testwin menutime N --ready FILE --hidden FILE --out FILE
//                                                opens N windows; once they are hidden, ms from
//                                                the right button coming up until it sees a popup
//                                                menu, the button's time (QueryPerformanceCounter
//                                                ms) and the menu's X window
//   testwin probe CLASS MS [--out FILE]          for MS milliseconds, every 20 ms, sends WM_NULL
//                                                (5 s time-out) to the first window of CLASS;
//                                                prints the longest time it took to answer (a
//                                                run of time-outs counts as one stall)
//   testwin storm PID|CLASS [--ms N] [--seed N] [--spare-close CLASS,...] [--only CLASS]
//                [--out FILE]
//                                                a hostile program's messages to every top-level
//                                                and message-only window of that process (of
//                                                the first window of CLASS; see storm.h)
//   testwin loaded CLASS DLL                     exit 0 when the process of the first window of
//                                                CLASS has DLL loaded, 1 when not, 2 on failure
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>
// clang-format on

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <string>
#include <utility>
#include <vector>

#include "storm.h"

namespace {

std::wstring OutFile(int argc, wchar_t** argv, const wchar_t* flag) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (lstrcmpW(argv[i], flag) == 0) return argv[i + 1];
    }
    return {};
}

void WriteUtf8(const std::wstring& path, const std::wstring& text) {
    if (path.empty()) return;
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n,
                        nullptr, nullptr);
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
}

// Titles arrive as UTF-8 from the shell scripts; Wine hands them to us already as UTF-16.
HWND FindByTitle(const std::wstring& title) {
    return FindWindowW(nullptr, title.c_str());
}

int NumberAfter(int argc, wchar_t** argv, const wchar_t* flag, int fallback) {
    const std::wstring text = OutFile(argc, argv, flag);
    return text.empty() ? fallback : _wtoi(text.c_str());
}

// Seconds a slow window spends being hidden; how long a hung window sleeps.
const wchar_t kStallProp[] = L"QuenvixTestStall";
const wchar_t kHangProp[] = L"QuenvixTestHang";
const wchar_t kLateTitleProp[] = L"QuenvixTestLateTitle";
constexpr UINT_PTR kLateTimer = 7;

// Where the windows note what they were like when the session's end asked them (--session-log).
std::wstring g_sessionLog;

void NoteSessionQuery(HWND hwnd) {
    wchar_t title[256] = {};
    GetWindowTextW(hwnd, title, 256);
    const std::wstring line = std::wstring(title) + L"|" + (IsWindowVisible(hwnd) ? L"1" : L"0") +
                              L"|" + (IsZoomed(hwnd) ? L"1" : L"0") + L"\n";
    HANDLE file = CreateFileW(g_sessionLog.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const int n = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), n,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(n), &written, nullptr);
    CloseHandle(file);
}

LRESULT CALLBACK TestWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_QUERYENDSESSION:
            if (!g_sessionLog.empty()) NoteSessionQuery(hwnd);
            return TRUE;
        case WM_SETFOCUS:
            // An "edit" window hands the keyboard to its field, as an editor does.
            if (HWND field = FindWindowExW(hwnd, nullptr, L"Edit", nullptr)) SetFocus(field);
            return 0;
        case WM_SIZE:
            if (HWND field = FindWindowExW(hwnd, nullptr, L"Edit", nullptr)) {
                MoveWindow(field, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
            }
            return DefWindowProcW(hwnd, msg, wp, lp);
        case WM_USER + 1:
            // A hung program: it stops answering messages for a long time.
            Sleep(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(GetPropW(hwnd, kHangProp))) * 1000);
            return 0;
        case WM_USER + 2:
            // The program shows its window again by itself (as a messenger does on a new message),
            // with the show command it was given.
            ShowWindow(hwnd, static_cast<int>(wp));
            return 0;
        case WM_SHOWWINDOW:
            // A program that does a lot of work when it is hidden (saving, say): every other
            // message is answered, but hiding it takes long. Only the hide from the screen
            // stalls, not the hide of the minimised window that follows it.
            if (!wp && !IsIconic(hwnd)) {
                Sleep(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(GetPropW(hwnd, kStallProp))) *
                      1000);
            }
            return DefWindowProcW(hwnd, msg, wp, lp);
        case WM_TIMER:
            if (wp == kLateTimer) {
                KillTimer(hwnd, kLateTimer);
                if (auto* title = static_cast<std::wstring*>(GetPropW(hwnd, kLateTitleProp))) {
                    SetWindowTextW(hwnd, title->c_str());
                }
                return 0;
            }
            return DefWindowProcW(hwnd, msg, wp, lp);
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

int Open(int argc, wchar_t** argv) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = TestWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"QuenvixTestWindow";
    RegisterClassW(&wc);
    wc.hIcon = nullptr;
    wc.lpszClassName = L"QuenvixTestNoIcon";
    RegisterClassW(&wc);

    HWND first = nullptr;
    std::vector<HWND> hung;
    int offset = 0;
    const int stallSeconds = NumberAfter(argc, argv, L"--stall", 20);
    const int hangSeconds = NumberAfter(argc, argv, L"--hang", 120);
    g_sessionLog = OutFile(argc, argv, L"--session-log");
    for (int i = 2; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--ready" || arg == L"--stall" || arg == L"--hang" || arg == L"--session-log") {
            ++i;
            continue;
        }
        const auto colon = arg.find(L':');
        if (colon == std::wstring::npos) continue;
        const std::wstring kind = arg.substr(0, colon);
        const std::wstring title = arg.substr(colon + 1);
        DWORD ex = 0;
        HWND owner = nullptr;
        int show = SW_SHOWNORMAL;
        const wchar_t* cls = L"QuenvixTestWindow";
        if (kind == L"min") show = SW_SHOWMINNOACTIVE;
        if (kind == L"max") show = SW_SHOWMAXIMIZED;
        if (kind == L"tool") ex = WS_EX_TOOLWINDOW;
        if (kind == L"owned") owner = first;
        if (kind == L"noicon") cls = L"QuenvixTestNoIcon";
        const bool late = kind == L"late";
        HWND h = CreateWindowExW(ex, cls, late ? L"Loading" : title.c_str(), WS_OVERLAPPEDWINDOW,
                                 60 + offset, 60 + offset, 320, 200, owner, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        if (late) {
            SetPropW(h, kLateTitleProp, new std::wstring(title));  // lives as long as the process
            SetTimer(h, kLateTimer, 2000, nullptr);
        }
        if (kind == L"edit" || kind == L"editor") {
            RECT client{};
            GetClientRect(h, &client);
            CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0,
                            client.right, client.bottom, h, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
        }
        offset += 30;
        ShowWindow(h, show);
        UpdateWindow(h);
        if (!first && !owner) first = h;
        if (kind == L"hung") {
            SetPropW(h, kHangProp, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(hangSeconds)));
            hung.push_back(h);
        }
        // Set after the window is first shown: opening it does not stall.
        if (kind == L"slow") {
            SetPropW(h, kStallProp, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(stallSeconds)));
        }
    }
    for (HWND h : hung) PostMessageW(h, WM_USER + 1, 0, 0);
    WriteUtf8(OutFile(argc, argv, L"--ready"), L"ready\n");
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

double NowMs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

void PumpFor(DWORD ms) {
    const double end = NowMs() + ms;
    MSG msg;
    while (NowMs() < end) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(1);
    }
}

// A plain top-level window; a window procedure of its own gives it a class of its own.
HWND MakeTarget(const wchar_t* title, int x, int y, WNDPROC proc = DefWindowProcW) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const wchar_t* cls = proc == DefWindowProcW ? L"QuenvixTestTarget" : L"QuenvixTimedTarget";
    WNDCLASSW wc{};
    if (!GetClassInfoW(instance, cls, &wc)) {
        wc.lpfnWndProc = proc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = cls;
        RegisterClassW(&wc);
    }
    return CreateWindowExW(0, cls, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, 200, 120, nullptr,
                           nullptr, instance, nullptr);
}

void Key(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof(in));
}

std::wstring Summary(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    wchar_t line[256];
    const double median = v[v.size() / 2];
    const double p95 = v[std::min(v.size() - 1, (v.size() * 95 + 99) / 100 - 1)];
    swprintf(line, 256, L"n=%u median=%.1f p95=%.1f min=%.1f max=%.1f\n",
             static_cast<unsigned>(v.size()), median, p95, v.front(), v.back());
    return line;
}

int Latency(int n, const std::wstring& out) {
    HWND target = MakeTarget(L"LatencyTarget", 100, 100);
    std::vector<double> samples;
    srand(GetTickCount());
    for (int i = 0; i < n; ++i) {
        ShowWindow(target, SW_SHOWNORMAL);
        SetForegroundWindow(target);
        PumpFor(300 + static_cast<DWORD>(rand() % 101));
        const double t0 = NowMs();
        Key(VK_CONTROL, false);
        Key(VK_MULTIPLY, false);
        while (IsWindowVisible(target) && NowMs() - t0 < 3000) PumpFor(1);
        const double t1 = NowMs();
        Key(VK_MULTIPLY, true);
        Key(VK_CONTROL, true);
        if (!IsWindowVisible(target)) samples.push_back(t1 - t0);
        PumpFor(150);
    }
    if (samples.empty()) return 1;
    WriteUtf8(out, Summary(samples));
    return 0;
}

int Loaded(const wchar_t* cls, const wchar_t* dll) {
    HWND h = FindWindowW(cls, nullptr);
    DWORD pid = 0;
    if (!h || !GetWindowThreadProcessId(h, &pid)) return 2;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return 2;
    HMODULE modules[512];
    DWORD bytes = 0;
    int result = 2;
    if (EnumProcessModules(process, modules, sizeof modules, &bytes)) {
        result = 1;
        for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 512; ++i) {
            wchar_t name[MAX_PATH] = {};
            if (GetModuleBaseNameW(process, modules[i], name, MAX_PATH) && !_wcsicmp(name, dll)) {
                result = 0;
            }
        }
    }
    CloseHandle(process);
    return result;
}

// When each timed window was first taken off the screen, as its own thread saw it happen.
// Each timed window's last hide, and how often any of them was shown again after one.
std::vector<std::pair<HWND, double>> g_lastHidden;
int g_shownAgain = 0;

LRESULT CALLBACK TimedTargetProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_WINDOWPOSCHANGED) {
        const UINT flags = reinterpret_cast<const WINDOWPOS*>(lp)->flags;
        const auto seen = std::find_if(g_lastHidden.begin(), g_lastHidden.end(),
                                       [h](const auto& s) { return s.first == h; });
        if (flags & SWP_HIDEWINDOW) {
            if (seen == g_lastHidden.end()) {
                g_lastHidden.emplace_back(h, NowMs());
            } else {
                seen->second = NowMs();
            }
        } else if ((flags & SWP_SHOWWINDOW) && seen != g_lastHidden.end()) {
            ++g_shownAgain;
        }
    }
    return DefWindowProcW(h, msg, wp, lp);
}

// Opens N windows (the last one in front), says it is ready, then waits for virtual key VK to go
// down (typed from outside, by xdotool) and measures from there until every one of them is off
// the screen and stays off: a window shown again on its way out (and hidden once more) counts
// with its last hide. Watched for a second after the last hide.
int HideTime(int n, UINT vk, const std::wstring& ready, const std::wstring& out) {
    std::vector<HWND> windows;
    for (int i = 0; i < n; ++i) {
        wchar_t title[32];
        swprintf(title, 32, L"Hide %d", i);
        windows.push_back(
            MakeTarget(title, 20 + (i % 10) * 60, 20 + (i / 10 % 10) * 60, TimedTargetProc));
    }
    SetForegroundWindow(windows.back());
    PumpFor(1500);
    g_lastHidden.clear();
    g_shownAgain = 0;
    WriteUtf8(ready, L"ready\n");
    // The key is read every millisecond; the hides are handled the moment they arrive.
    const double waitStart = NowMs();
    double t0 = 0;
    MSG msg;
    const auto allOff = [&] {
        return std::none_of(windows.begin(), windows.end(),
                            [](HWND h) { return IsWindowVisible(h); });
    };
    double quietSince = 0;
    while (NowMs() - waitStart < 60000) {
        MsgWaitForMultipleObjectsEx(0, nullptr, 1, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (t0 == 0 && (GetAsyncKeyState(static_cast<int>(vk)) & 0x8000)) t0 = NowMs();
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        if (g_lastHidden.size() < windows.size() || !allOff()) {
            quietSince = 0;
        } else if (quietSince == 0) {
            quietSince = NowMs();
        } else if (NowMs() - quietSince > 1000) {
            break;
        }
    }
    if (t0 == 0 || g_lastHidden.size() < windows.size() || !allOff()) return 1;
    double last = 0;
    for (const auto& hidden : g_lastHidden) last = std::max(last, hidden.second);
    wchar_t line[64];
    swprintf(line, 64, L"%.1f %d\n", last - t0, g_shownAgain);
    WriteUtf8(out, line);
    return 0;
}

// Opens N small windows and says "ready"; once all are hidden (by Quenvix), says "hidden" and
// measures from the right mouse button coming up (a click on the tray icon, from outside) until
// a popup menu shows. N may be 0: the time for a menu without hidden windows.
int MenuTime(int n, const std::wstring& ready, const std::wstring& hidden,
             const std::wstring& out) {
    std::vector<HWND> windows;
    for (int i = 0; i < n; ++i) {
        wchar_t title[32];
        swprintf(title, 32, L"Listed %d", i);
        windows.push_back(MakeTarget(title, 20 + (i % 40) * 20, 20 + (i / 40 % 25) * 20));
    }
    PumpFor(500);
    WriteUtf8(ready, L"ready\n");
    auto anyVisible = [&] {
        return std::any_of(windows.begin(), windows.end(),
                           [](HWND h) { return IsWindowVisible(h); });
    };
    const double start = NowMs();
    while (anyVisible() && NowMs() - start < 120000) PumpFor(5);
    if (anyVisible()) return 1;
    WriteUtf8(hidden, L"hidden\n");
    // The shell reports the click when the button comes up: the clock starts there.
    auto buttonDown = [] { return (GetAsyncKeyState(VK_RBUTTON) & 0x8000) != 0; };
    while (!buttonDown() && NowMs() - start < 180000) PumpFor(1);
    while (buttonDown() && NowMs() - start < 180000) PumpFor(1);
    const double t0 = NowMs();
    auto menuShown = [] {
        HWND menu = FindWindowW(L"#32768", nullptr);
        return menu && IsWindowVisible(menu);
    };
    while (!menuShown() && NowMs() - t0 < 30000) PumpFor(1);
    if (!menuShown()) return 1;
    const double seen = NowMs() - t0;
    // Under Wine the X window behind a window is kept in this property. The bench takes the
    // moment X mapped it: this process, asking the server every millisecond, sees the menu only
    // when it gets its turn, and that waits behind whatever else the foreground change set busy.
    const auto xWindow = reinterpret_cast<UINT_PTR>(
        GetPropW(FindWindowW(L"#32768", nullptr), L"__wine_x11_whole_window"));
    wchar_t line[96];
    swprintf(line, 96, L"%.1f %.1f 0x%llx\n", seen, t0, static_cast<unsigned long long>(xWindow));
    WriteUtf8(out, line);
    PumpFor(60000);  // the hidden windows stay until the bench is done with them
    return 0;
}

// How long the UI thread of another program keeps a message waiting. A send that times out is
// followed at once by the next; a run of them ends with the first answer, and the whole run counts
// as one stall, so that stalls longer than the time-out are measured whole.
int Probe(const std::wstring& cls, int ms, const std::wstring& out) {
    constexpr UINT kTimeoutMs = 5000;
    const double end = NowMs() + ms;
    double longest = 0, stallStart = -1;
    unsigned samples = 0, timeouts = 0, missing = 0;
    while (NowMs() < end) {
        HWND h = FindWindowW(cls.c_str(), nullptr);
        if (!h) {
            ++missing;
            stallStart = -1;
            Sleep(20);
            continue;
        }
        const double t0 = NowMs();
        if (stallStart < 0) stallStart = t0;
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, kTimeoutMs, &ignored)) {
            ++timeouts;
            if (!IsWindow(h)) stallStart = -1;  // it ended: nothing more to wait for
            continue;
        }
        longest = std::max(longest, NowMs() - stallStart);
        stallStart = -1;
        ++samples;
        Sleep(20);
    }
    // A stall still going on when the time is up counts as far as it went.
    if (stallStart >= 0) longest = std::max(longest, NowMs() - stallStart);
    wchar_t line[160];
    swprintf(line, 160, L"max_ms=%.0f samples=%u timeouts=%u missing=%u\n", longest, samples,
             timeouts, missing);
    std::fputws(line, stdout);
    std::fflush(stdout);
    WriteUtf8(out, line);
    return samples > 0 ? 0 : 1;
}

UINT_PTR Number(const wchar_t* text) {
    return static_cast<UINT_PTR>(wcstoull(text, nullptr, 0));
}

struct ListState {
    std::wstring text;
};

BOOL CALLBACK ListProc(HWND hwnd, LPARAM lp) {
    auto* state = reinterpret_cast<ListState*>(lp);
    if (!IsWindowVisible(hwnd)) return TRUE;
    wchar_t cls[128] = {};
    wchar_t title[256] = {};
    GetClassNameW(hwnd, cls, 128);
    GetWindowTextW(hwnd, title, 256);
    state->text += std::wstring(cls) + L"|" + title + L"|" + (IsIconic(hwnd) ? L"iconic" : L"") +
                   (IsWindowEnabled(hwnd) ? L"" : L" disabled") + L"\n";
    return TRUE;
}

std::wstring TextOf(HWND hwnd) {
    wchar_t text[512] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        2000, &copied);
    return text;
}

struct ChildSearch {
    std::wstring text;
    HWND found = nullptr;
    int skipped = 0;
};

BOOL CALLBACK FindChildProc(HWND hwnd, LPARAM lp) {
    auto* search = reinterpret_cast<ChildSearch*>(lp);
    // "class:NAME" finds the first visible control of that class (a list has no text of its own),
    // "class:NAME#N" the one after N others.
    if (search->text.rfind(L"class:", 0) == 0) {
        const size_t hash = search->text.find(L'#', 6);
        const std::wstring wanted = search->text.substr(6, hash - 6);
        wchar_t cls[64] = {};
        GetClassNameW(hwnd, cls, 64);
        if (lstrcmpiW(cls, wanted.c_str()) != 0 || !IsWindowVisible(hwnd)) return TRUE;
        if (hash != std::wstring::npos &&
            search->skipped++ < _wtoi(search->text.c_str() + hash + 1)) {
            return TRUE;
        }
        search->found = hwnd;
        return FALSE;
    }
    // A button such as "Add…" is found by the text before its ellipsis too.
    if (TextOf(hwnd) == search->text || TextOf(hwnd) == search->text + L"\u2026") {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindChild(HWND parent, const std::wstring& text) {
    ChildSearch search{text};
    EnumChildWindows(parent, FindChildProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK ChildProc(HWND hwnd, LPARAM lp) {
    auto* state = reinterpret_cast<ListState*>(lp);
    wchar_t cls[128] = {};
    GetClassNameW(hwnd, cls, 128);
    DWORD_PTR checked = 0;
    SendMessageTimeoutW(hwnd, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &checked);
    state->text += std::wstring(cls) + L"|" + TextOf(hwnd) + L"|" +
                   (checked == BST_CHECKED ? L"1" : L"0") + L"\n";
    return TRUE;
}

// What `window` shows, read inside its own thread by read_hook.dll (see there for what each
// message answers): the hook goes into that thread, the window is sent `message`, and the hook's
// answer comes back through a shared section. Empty when the window did not answer.
std::wstring ReadInside(HWND window, const wchar_t* message) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dll = self;
    dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"read_hook.dll";
    HMODULE module = LoadLibraryW(dll.c_str());
    auto proc = module ? reinterpret_cast<HOOKPROC>(
                             reinterpret_cast<void*>(GetProcAddress(module, "ReadHook")))
                       : nullptr;
    if (!proc) return {};
    constexpr DWORD kBytes = 1 << 20;
    HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBytes,
                                        L"QuenvixTestMenuEntries");
    auto* view =
        section ? static_cast<wchar_t*>(MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0)) : nullptr;
    HHOOK hook = view ? SetWindowsHookExW(WH_CALLWNDPROC, proc, module,
                                          GetWindowThreadProcessId(window, nullptr))
                      : nullptr;
    std::wstring text;
    if (hook) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(window, RegisterWindowMessageW(message), 0, 0, SMTO_ABORTIFHUNG, 5000,
                            &ignored);
        const std::wstring answer(view, wcsnlen(view, kBytes / sizeof(wchar_t)));
        if (answer.rfind(L"ok\n", 0) == 0) text = answer.substr(3);
        UnhookWindowsHookEx(hook);
    }
    if (view) UnmapViewOfFile(view);
    if (section) CloseHandle(section);
    return text;
}

// The entries of the open popup menu as the user sees them. Exit 1 when no menu is open or it
// did not answer.
int ReadMenu(const std::wstring& out) {
    HWND menu = nullptr;
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
            wchar_t cls[16] = {};
            GetClassNameW(h, cls, 16);
            if (lstrcmpW(cls, L"#32768") != 0 || !IsWindowVisible(h)) return TRUE;
            *reinterpret_cast<HWND*>(lp) = h;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&menu));
    const std::wstring text = menu ? ReadInside(menu, L"QuenvixTestReadMenu") : L"";
    if (text.empty()) return 1;
    WriteUtf8(out, text);
    return 0;
}

// "left top right bottom" on the screen of the tab with that text (its "&" left out) of the first
// tab control of the window with that title.
int TabRect(const std::wstring& title, const std::wstring& wanted, const std::wstring& out) {
    HWND h = FindByTitle(title);
    HWND tabs = h ? FindChild(h, L"class:SysTabControl32") : nullptr;
    const std::wstring text = tabs ? ReadInside(tabs, L"QuenvixTestReadTabs") : L"";
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(L'\n', start);
        const std::wstring line = text.substr(start, end - start);
        start = end == std::wstring::npos ? text.size() : end + 1;
        const size_t bar = line.find(L'|');
        std::wstring name = line.substr(0, bar);
        name.erase(std::remove(name.begin(), name.end(), L'&'), name.end());
        if (bar == std::wstring::npos || name != wanted) continue;
        WriteUtf8(out, line.substr(bar + 1) + L"\n");
        return 0;
    }
    return 1;
}

// "left top right bottom" on the screen of the child control with that text.
int ControlRect(const std::wstring& title, const std::wstring& text, const std::wstring& out) {
    HWND h = FindByTitle(title);
    HWND child = h ? FindChild(h, text) : nullptr;
    RECT r{};
    if (!child || !IsWindowVisible(child) || !GetWindowRect(child, &r)) return 1;
    wchar_t line[96];
    wsprintfW(line, L"%d %d %d %d\n", r.left, r.top, r.right, r.bottom);
    WriteUtf8(out, line);
    return 0;
}

// "left top right bottom" on the screen of the close box on the window's title bar: the
// caption's last button, as wide as SM_CXSIZE ("GetTitleBarInfo", learn.microsoft.com: the
// title bar's rectangle holds the buttons; the close box is its rightmost).
int CloseBox(const std::wstring& title, const std::wstring& out) {
    HWND h = FindByTitle(title);
    TITLEBARINFO bar{sizeof bar};
    if (!h || !GetTitleBarInfo(h, &bar) || (bar.rgstate[5] & STATE_SYSTEM_INVISIBLE)) return 1;
    const RECT& r = bar.rcTitleBar;
    const int width = GetSystemMetrics(SM_CXSIZE);
    wchar_t line[96];
    wsprintfW(line, L"%d %d %d %d\n", r.right - width, r.top, r.right - 2, r.bottom);
    WriteUtf8(out, line);
    return 0;
}

}  // namespace

// crash <pid | window class>: starts a thread in that process at an address where no code is, so
// the process faults the way a bug of its own would make it.
int Crash(const std::wstring& target) {
    DWORD pid = 0;
    if (!target.empty() && iswdigit(target[0])) {
        pid = static_cast<DWORD>(_wtoi(target.c_str()));
    } else if (HWND h = FindWindowW(target.c_str(), nullptr)) {
        GetWindowThreadProcessId(h, &pid);
    }
    if (pid == 0) return 1;
    HANDLE process = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION |
                                     PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_VM_READ,
                                 FALSE, pid);
    if (!process) return 1;
    HANDLE thread = CreateRemoteThread(process, nullptr, 0,
                                       reinterpret_cast<LPTHREAD_START_ROUTINE>(std::uintptr_t{1}),
                                       nullptr, 0, nullptr);
    const int rc = thread ? 0 : 1;
    if (thread) CloseHandle(thread);
    CloseHandle(process);
    return rc;
}

// Ends every process of that image name and all its descendants, each process's own children
// found by their parent process id: what Task Manager's "End process tree" and "taskkill /t /f"
// do. Answers 0 when at least one process of the name was ended.
int KillTree(const std::wstring& image) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 1;
    std::vector<PROCESSENTRY32W> all;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        all.push_back(entry);
    }
    CloseHandle(snapshot);
    std::vector<DWORD> doomed;
    for (const auto& e : all) {
        if (_wcsicmp(e.szExeFile, image.c_str()) == 0) doomed.push_back(e.th32ProcessID);
    }
    if (doomed.empty()) return 1;
    for (std::size_t i = 0; i < doomed.size(); ++i) {
        for (const auto& e : all) {
            if (e.th32ParentProcessID == doomed[i] &&
                std::find(doomed.begin(), doomed.end(), e.th32ProcessID) == doomed.end()) {
                doomed.push_back(e.th32ProcessID);
            }
        }
    }
    for (const DWORD id : doomed) {
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id)) {
            TerminateProcess(process, 1);
            CloseHandle(process);
        }
    }
    return 0;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) return 2;
    const std::wstring cmd = argv[1];
    if (cmd == L"open") return Open(argc, argv);
    if (cmd == L"crash" && argc >= 3) return Crash(argv[2]);
    if (cmd == L"state" && argc >= 3) {
        HWND h = FindByTitle(argv[2]);
        wchar_t line[64];
        wsprintfW(line, L"%d %d %d %d\n", h != nullptr, h && IsWindowVisible(h), h && IsIconic(h),
                  h && IsZoomed(h));
        WriteUtf8(OutFile(argc, argv, L"--out"), line);
        return 0;
    }
    if ((cmd == L"post" || cmd == L"send") && argc >= 6) {
        HWND h = FindWindowW(argv[2], nullptr);
        if (!h) return 1;
        const UINT msg = static_cast<UINT>(Number(argv[3]));
        if (cmd == L"post") {
            SetLastError(0);
            if (PostMessageW(h, msg, Number(argv[4]), static_cast<LPARAM>(Number(argv[5])))) {
                return 0;
            }
            return GetLastError() == ERROR_MESSAGE_SYNC_ONLY ? 4 : 1;
        }
        DWORD_PTR result = 0;
        SetLastError(0);
        if (!SendMessageTimeoutW(h, msg, Number(argv[4]), static_cast<LPARAM>(Number(argv[5])),
                                 SMTO_ABORTIFHUNG, 5000, &result)) {
            // The system would not carry that message to another process at all (a message whose
            // pointer it cannot copy): 4, apart from a window that did not answer (1).
            // Wine refuses such a message without an error code; the window then answers the
            // next message at once (a window that failed it would not).
            const DWORD error = GetLastError();
            WriteUtf8(OutFile(argc, argv, L"--out"), L"error " + std::to_wstring(error) + L"\n");
            const bool refused = error == ERROR_MESSAGE_SYNC_ONLY || error == 0;
            return refused && SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result)
                       ? 4
                       : 1;
        }
        WriteUtf8(OutFile(argc, argv, L"--out"), std::to_wstring(result) + L"\n");
        return 0;
    }
    // copydata <window class> <verb code>: a well-formed request of the window-message channel that
    // Quenvix once took, sent from a window of this (same user's) process. 0 when the window got
    // it and answered FALSE, 3 when it answered anything else.
    if (cmd == L"copydata" && argc >= 4) {
        HWND h = FindWindowW(argv[2], nullptr);
        HWND sender = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
        if (!h || !sender) return 1;
        const auto code = static_cast<std::uint32_t>(Number(argv[3]));
        unsigned char payload[8] = {1, 0, 0, 0, static_cast<unsigned char>(code), 0, 0, 0};
        COPYDATASTRUCT data{0x51565843, sizeof payload, payload};
        DWORD_PTR result = 0;
        const LRESULT sent =
            SendMessageTimeoutW(h, WM_COPYDATA, reinterpret_cast<WPARAM>(sender),
                                reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 5000, &result);
        DestroyWindow(sender);
        if (!sent) return 1;
        return result == FALSE ? 0 : 3;
    }
    if (cmd == L"answers" && argc >= 3) {
        HWND h = FindByTitle(argv[2]);
        DWORD_PTR result = 0;
        return h && SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result) ? 0 : 1;
    }
    if (cmd == L"isforeground" && argc >= 3) {
        HWND h = FindByTitle(argv[2]);
        return h && GetForegroundWindow() == h ? 0 : 1;
    }
    if (cmd == L"foreground" && argc >= 3) {
        HWND h = FindByTitle(argv[2]);
        return h && SetForegroundWindow(h) ? 0 : 1;
    }
    if (cmd == L"list") {
        ListState state;
        EnumWindows(ListProc, reinterpret_cast<LPARAM>(&state));
        WriteUtf8(OutFile(argc, argv, L"--out"), state.text);
        return 0;
    }
    if (cmd == L"storm" && argc >= 3) {
        const std::wstring seedText = OutFile(argc, argv, L"--seed");
        const std::uint64_t seed = seedText.empty() ? GetTickCount64() * 2654435761u
                                                    : wcstoull(seedText.c_str(), nullptr, 0);
        DWORD pid = 0;
        if (iswdigit(argv[2][0])) {
            pid = static_cast<DWORD>(_wtoi(argv[2]));
        } else if (HWND h = FindWindowW(argv[2], nullptr)) {
            GetWindowThreadProcessId(h, &pid);
        }
        if (pid == 0) return 1;
        const std::wstring report =
            storm::Run(pid, static_cast<DWORD>(NumberAfter(argc, argv, L"--ms", 2000)), seed,
                       OutFile(argc, argv, L"--spare-close"), OutFile(argc, argv, L"--only"));
        WriteUtf8(OutFile(argc, argv, L"--out"), report);
        return 0;
    }
    if (cmd == L"loaded" && argc >= 4) return Loaded(argv[2], argv[3]);
    if (cmd == L"rect" && argc >= 3) {
        HWND h = FindByTitle(argv[2]);
        RECT r{};
        if (!h || !GetWindowRect(h, &r)) return 1;
        wchar_t line[96];
        wsprintfW(line, L"%d %d %d %d\n", r.left, r.top, r.right, r.bottom);
        WriteUtf8(OutFile(argc, argv, L"--out"), line);
        return 0;
    }
    if (cmd == L"menuready") {
        // An open popup menu whose thread tracks it: a click that comes before the tracking
        // starts lands on whatever is under the menu and is lost ("GUITHREADINFO",
        // learn.microsoft.com: GUI_INMENUMODE, GUI_POPUPMENUMODE).
        HWND h = FindWindowW(L"#32768", nullptr);
        GUITHREADINFO info{sizeof info};
        return h && IsWindowVisible(h) &&
                       GetGUIThreadInfo(GetWindowThreadProcessId(h, nullptr), &info) &&
                       (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE))
                   ? 0
                   : 1;
    }
    if (cmd == L"menurect") {
        // The open popup menu (menus have no title to find them by).
        HWND h = FindWindowW(L"#32768", nullptr);
        RECT r{};
        if (!h || !IsWindowVisible(h) || !GetWindowRect(h, &r)) return 1;
        // Under Wine the X window behind it is kept in this property: keys meant for the menu
        // are typed into it.
        wchar_t line[96];
        wsprintfW(line, L"%d %d %d %d %lu\n", r.left, r.top, r.right, r.bottom,
                  static_cast<unsigned long>(
                      reinterpret_cast<UINT_PTR>(GetPropW(h, L"__wine_x11_whole_window"))));
        WriteUtf8(OutFile(argc, argv, L"--out"), line);
        return 0;
    }
    if (cmd == L"churn" && argc >= 3) {
        // Short-lived windows, one after the other: each shows, is drawn and is destroyed, as
        // splash screens, tooltips and progress boxes come and go.
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuenvixTestChurn";
        RegisterClassW(&wc);
        for (int i = 0, n = _wtoi(argv[2]); i < n; ++i) {
            HWND h = CreateWindowExW(0, wc.lpszClassName, L"Churn", WS_OVERLAPPEDWINDOW, 400, 300,
                                     160, 100, nullptr, nullptr, wc.hInstance, nullptr);
            ShowWindow(h, SW_SHOWNOACTIVATE);
            PumpFor(5);
            DestroyWindow(h);
        }
        return 0;
    }
    if (cmd == L"reshow" && argc >= 3) {
        HWND h = FindByTitle(argv[2]);
        const WPARAM show = argc >= 4 && lstrcmpW(argv[3], L"restore") == 0 ? SW_RESTORE : SW_SHOW;
        return h && PostMessageW(h, WM_USER + 2, show, 0) ? 0 : 1;
    }
    if (cmd == L"closebox" && argc >= 3) return CloseBox(argv[2], OutFile(argc, argv, L"--out"));
    if (cmd == L"menu") return ReadMenu(OutFile(argc, argv, L"--out"));
    if (cmd == L"tabrect" && argc >= 4) {
        return TabRect(argv[2], argv[3], OutFile(argc, argv, L"--out"));
    }
    if (cmd == L"ctlrect" && argc >= 4)
        return ControlRect(argv[2], argv[3], OutFile(argc, argv, L"--out"));
    if (cmd == L"click" && argc >= 4) {
        HWND h = FindByTitle(argv[2]);
        HWND child = h ? FindChild(h, argv[3]) : nullptr;
        return child && PostMessageW(child, BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (cmd == L"settext" && argc >= 5) {
        // Types TEXT into edit field N (in creation order) of the window with that title.
        HWND h = FindByTitle(argv[2]);
        if (!h) return 1;
        struct Search {
            int wanted;
            HWND found = nullptr;
        } search{static_cast<int>(Number(argv[3]))};
        EnumChildWindows(
            h,
            [](HWND child, LPARAM lp) -> BOOL {
                auto* s = reinterpret_cast<Search*>(lp);
                wchar_t cls[16] = {};
                GetClassNameW(child, cls, 16);
                if (lstrcmpiW(cls, L"Edit") != 0) return TRUE;
                if (s->wanted-- > 0) return TRUE;
                s->found = child;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        DWORD_PTR result = 0;
        return search.found && SendMessageTimeoutW(search.found, WM_SETTEXT, 0,
                                                   reinterpret_cast<LPARAM>(argv[4]),
                                                   SMTO_ABORTIFHUNG, 5000, &result)
                   ? 0
                   : 1;
    }
    if (cmd == L"select" && argc >= 4) {
        // Chooses line N of the first combo box of the window with that title, as a click in its
        // list does: the selection, then the change notice to the box's parent.
        HWND h = FindByTitle(argv[2]);
        HWND combo = nullptr;
        if (h) {
            EnumChildWindows(
                h,
                [](HWND child, LPARAM lp) -> BOOL {
                    wchar_t cls[32] = {};
                    GetClassNameW(child, cls, 32);
                    if (lstrcmpiW(cls, L"ComboBox") != 0) return TRUE;
                    *reinterpret_cast<HWND*>(lp) = child;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&combo));
        }
        if (!combo) return 1;
        const WPARAM line = static_cast<WPARAM>(Number(argv[3]));
        if (SendMessageW(combo, CB_SETCURSEL, line, 0) == CB_ERR) return 1;
        const int id = GetDlgCtrlID(combo);
        SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
        return 0;
    }
    if (cmd == L"killtree" && argc >= 3) return KillTree(argv[2]);
    if (cmd == L"show" && argc >= 3) {
        HWND h = FindByTitle(argv[2]);
        const int how = argc >= 4 && std::wstring(argv[3]) == L"min" ? SW_MINIMIZE : SW_RESTORE;
        return h && ShowWindowAsync(h, how) ? 0 : 1;
    }
    if (cmd == L"close" && argc >= 3) {
        HWND h = FindByTitle(argv[2]);
        return h && PostMessageW(h, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (cmd == L"showself" && argc >= 3) {
        HWND h = FindByTitle(argv[2]);
        // The program brings its own window back, as a click on its own tray icon would.
        return h && PostMessageW(h, WM_USER + 2, SW_SHOW, 0) ? 0 : 1;
    }
    if (cmd == L"dialog") {
        HWND h = FindWindowW(L"#32770", nullptr);
        if (!h) return 1;
        ListState state;
        state.text = TextOf(h) + L"\n";
        EnumChildWindows(h, ChildProc, reinterpret_cast<LPARAM>(&state));
        WriteUtf8(OutFile(argc, argv, L"--out"), state.text);
        return 0;
    }
    if (cmd == L"children" && argc >= 3) {
        HWND h = FindByTitle(argv[2]);
        if (!h) return 1;
        ListState state;
        EnumChildWindows(h, ChildProc, reinterpret_cast<LPARAM>(&state));
        WriteUtf8(OutFile(argc, argv, L"--out"), state.text);
        return 0;
    }
    if (cmd == L"latency" && argc >= 3)
        return Latency(_wtoi(argv[2]), OutFile(argc, argv, L"--out"));
    if (cmd == L"menutime" && argc >= 3) {
        return MenuTime(_wtoi(argv[2]), OutFile(argc, argv, L"--ready"),
                        OutFile(argc, argv, L"--hidden"), OutFile(argc, argv, L"--out"));
    }
    if (cmd == L"hidetime" && argc >= 4) {
        return HideTime(_wtoi(argv[2]), static_cast<UINT>(_wtoi(argv[3])),
                        OutFile(argc, argv, L"--ready"), OutFile(argc, argv, L"--out"));
    }
    if (cmd == L"probe" && argc >= 4)
        return Probe(argv[2], _wtoi(argv[3]), OutFile(argc, argv, L"--out"));
    if (cmd == L"regget" && argc >= 4) {
        wchar_t data[32768] = {};
        DWORD size = sizeof(data) - sizeof(wchar_t);
        if (RegGetValueW(HKEY_CURRENT_USER, argv[2], argv[3], RRF_RT_REG_SZ, nullptr, data,
                         &size) != ERROR_SUCCESS) {
            return 1;
        }
        WriteUtf8(OutFile(argc, argv, L"--out"), data);
        return 0;
    }
    return 2;
}
