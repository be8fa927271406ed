// Watches Pictalon's window from outside during a download run: starts the run the way the album
// list's context menu does (WM_COMMAND 10000 to the main window), times it until the status line
// reports the end, pings the window thread with WM_NULL every few milliseconds meanwhile to see
// how long it keeps the user waiting, and reads the process's memory figures at the end.
//
// Usage: bench_ui_probe.exe [--idle MS] [--interval MS] [--timeout MS] [--command ID]
//                            [--settle MS]
// Prints key=value lines (UTF-8); exit code 0 when the run ended within the time-out.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// "下载完成": in the final status of a run, of one album ("全部下载完成") or of every album
// ("全部相册下载完成").
const wchar_t kRunDone[] = L"\u4e0b\u8f7d\u5b8c\u6210";
const wchar_t kMainClass[] = L"koWindow";
const wchar_t kTitlePrefix[] = L"PictalonV6.0";
constexpr UINT kPingTimeoutMs = 10000;

struct Options {
    int idleMs = 1000;
    int intervalMs = 20;
    int timeoutMs = 240000;
    int command = 10000;
    int settleMs = 0;  // then read the memory again, once the pool's idle workers have left
};

// Wall-clock seconds since 1970, to set the probe's moments beside the stand-in's log.
double UnixSeconds() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<double>(ticks - 116444736000000000ULL) / 1e7;
}

double NowMs() {
    static const double perMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / perMs;
}

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

struct FindState {
    HWND found = nullptr;
};

BOOL CALLBACK MatchMain(HWND w, LPARAM p) {
    wchar_t cls[64] = {};
    wchar_t title[128] = {};
    GetClassNameW(w, cls, 64);
    if (std::wcscmp(cls, kMainClass) != 0 || !IsWindowVisible(w)) return TRUE;
    // The title of another process's window comes back through the window manager's copy, which
    // is what GetWindowTextW reads for foreign windows; enough for a prefix test.
    GetWindowTextW(w, title, 128);
    if (std::wcsncmp(title, kTitlePrefix, std::wcslen(kTitlePrefix)) != 0) return TRUE;
    reinterpret_cast<FindState*>(p)->found = w;
    return FALSE;
}

HWND FindMain() {
    FindState s;
    EnumWindows(MatchMain, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

BOOL CALLBACK MatchStatusBar(HWND w, LPARAM p) {
    wchar_t cls[64] = {};
    GetClassNameW(w, cls, 64);
    if (std::wcscmp(cls, STATUSCLASSNAMEW) != 0) return TRUE;
    *reinterpret_cast<HWND*>(p) = w;
    return FALSE;
}

bool StatusText(HWND bar, std::wstring& text) {
    std::vector<wchar_t> buffer(2048, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(bar, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_NORMAL, 5000, &got)) {
        return false;
    }
    text.assign(buffer.data(), std::min<size_t>(got, buffer.size() - 1));
    return true;
}

// Round trips of WM_NULL sent to the window at a fixed pace; a send that times out counts with
// the whole time-out as its round trip, so a hung window shows in the worst case.
class Pinger {
  public:
    Pinger(HWND window, int intervalMs) : window_(window), intervalMs_(intervalMs) {}
    Pinger(const Pinger&) = delete;
    Pinger& operator=(const Pinger&) = delete;
    ~Pinger() { Stop(); }

    void Start() {
        stop_ = false;
        thread_ = std::thread([this] { Loop(); });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    std::vector<double> Take() {
        std::lock_guard<std::mutex> hold(lock_);
        std::vector<double> out;
        out.swap(samples_);
        return out;
    }
    int Failures() const { return failures_; }

  private:
    void Loop() {
        double next = NowMs();
        while (!stop_) {
            const double start = NowMs();
            DWORD_PTR answer = 0;
            const bool ok = SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, kPingTimeoutMs,
                                                &answer) != 0;
            const double took = NowMs() - start;
            if (!ok) ++failures_;
            {
                std::lock_guard<std::mutex> hold(lock_);
                samples_.push_back(took);
            }
            // Keep the pace from the schedule, not from the last answer, so a slow answer is
            // followed by the next ping at once instead of hiding a second stall.
            next += intervalMs_;
            const double now = NowMs();
            if (next > now) {
                Sleep(static_cast<DWORD>(next - now));
            } else {
                next = now;
            }
        }
    }

    HWND window_;
    int intervalMs_;
    std::atomic<bool> stop_{false};
    std::atomic<int> failures_{0};
    std::mutex lock_;
    std::vector<double> samples_;
    std::thread thread_;
};

struct Summary {
    size_t count = 0;
    double median = 0, p95 = 0, p99 = 0, worst = 0;
    size_t over100 = 0;
};

Summary Summarise(std::vector<double> v) {
    Summary s;
    s.count = v.size();
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    auto at = [&](double q) {
        return v[std::min(v.size() - 1, static_cast<size_t>(q * v.size()))];
    };
    s.median = at(0.5);
    s.p95 = at(0.95);
    s.p99 = at(0.99);
    s.worst = v.back();
    s.over100 =
        static_cast<size_t>(std::count_if(v.begin(), v.end(), [](double d) { return d > 100; }));
    return s;
}

void PrintSummary(const char* prefix, const Summary& s, int failures) {
    std::printf(
        "%s_pings=%zu\n%s_median_ms=%.3f\n%s_p95_ms=%.3f\n%s_p99_ms=%.3f\n%s_worst_ms=%.3f\n"
        "%s_over_100ms=%zu\n%s_timeouts=%d\n",
        prefix, s.count, prefix, s.median, prefix, s.p95, prefix, s.p99, prefix, s.worst, prefix,
        s.over100, prefix, failures);
}

// The memory figures of the program's process; false when Wine or Windows will not tell.
bool ReadMemory(HANDLE process, PROCESS_MEMORY_COUNTERS& pmc) {
    pmc = {};
    pmc.cb = sizeof pmc;
    return GetProcessMemoryInfo(process, &pmc, sizeof pmc) != 0;
}

// Owns the process handle the memory figures are read through.
class ProcessHandle {
  public:
    explicit ProcessHandle(DWORD pid) {
        handle_ = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
        if (handle_ == nullptr)
            handle_ = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    }
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;
    ~ProcessHandle() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    HANDLE Get() const { return handle_; }

  private:
    HANDLE handle_ = nullptr;
};

double Mib(SIZE_T bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

bool ParseOptions(int argc, wchar_t** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        int* target = a == L"--idle"       ? &o.idleMs
                      : a == L"--interval" ? &o.intervalMs
                      : a == L"--timeout"  ? &o.timeoutMs
                      : a == L"--command"  ? &o.command
                      : a == L"--settle"   ? &o.settleMs
                                           : nullptr;
        if (target == nullptr || i + 1 >= argc) return false;
        wchar_t* end = nullptr;
        const long v = std::wcstol(argv[++i], &end, 10);
        if (end == nullptr || *end != L'\0' || v < 0) return false;
        *target = static_cast<int>(v);
    }
    return o.intervalMs > 0;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    Options o;
    if (argv == nullptr || !ParseOptions(argc, argv, o)) {
        std::fprintf(
            stderr,
            "usage: bench_ui_probe.exe [--idle MS] [--interval MS] [--timeout MS] [--settle MS] "
            "[--command ID]\n");
        return 2;
    }
    LocalFree(argv);

    HWND main = nullptr;
    for (int i = 0; i < 300 && main == nullptr; ++i) {
        main = FindMain();
        if (main == nullptr) Sleep(100);
    }
    if (main == nullptr) {
        std::fprintf(stderr, "ui_probe: no Pictalon window\n");
        return 1;
    }
    HWND bar = nullptr;
    EnumChildWindows(main, MatchStatusBar, reinterpret_cast<LPARAM>(&bar));
    if (bar == nullptr) {
        std::fprintf(stderr, "ui_probe: the window has no status bar\n");
        return 1;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    const ProcessHandle owner(pid);
    const HANDLE process = owner.Get();
    std::printf("pid=%lu\n", pid);

    PROCESS_MEMORY_COUNTERS before{};
    const bool memoryBefore = process != nullptr && ReadMemory(process, before);
    if (memoryBefore) {
        std::printf("before_working_set_mib=%.1f\nbefore_pagefile_mib=%.1f\n",
                    Mib(before.WorkingSetSize), Mib(before.PagefileUsage));
    }

    Pinger pinger(main, o.intervalMs);
    if (o.idleMs > 0) {
        pinger.Start();
        Sleep(static_cast<DWORD>(o.idleMs));
        pinger.Stop();
        PrintSummary("idle", Summarise(pinger.Take()), pinger.Failures());
    }
    const int idleFailures = pinger.Failures();

    std::wstring text;
    StatusText(bar, text);
    pinger.Start();
    const double start = NowMs();
    const double postedUnix = UnixSeconds();
    if (!PostMessageW(main, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(o.command), 0), 0)) {
        pinger.Stop();
        std::fprintf(stderr, "ui_probe: could not post the command\n");
        return 1;
    }
    // The status line may still hold an earlier run's final text: wait for it to change first.
    const std::wstring initial = text;
    bool changed = false, done = false;
    int statusChanges = 0;
    SIZE_T sampledWorkingSet = 0, sampledPagefile = 0;
    double lastSample = 0;
    std::wstring last = initial;
    while (NowMs() - start < o.timeoutMs) {
        if (StatusText(bar, text) && text != last) {
            ++statusChanges;
            last = text;
            changed = true;
        }
        if (changed && text.find(kRunDone) != std::wstring::npos) {
            done = true;
            break;
        }
        if (process != nullptr && NowMs() - lastSample > 100) {
            PROCESS_MEMORY_COUNTERS now{};
            if (ReadMemory(process, now)) {
                sampledWorkingSet = std::max(sampledWorkingSet, now.WorkingSetSize);
                sampledPagefile = std::max(sampledPagefile, now.PagefileUsage);
            }
            lastSample = NowMs();
        }
        Sleep(10);
    }
    const double elapsed = NowMs() - start;
    const double endedUnix = UnixSeconds();
    pinger.Stop();
    std::printf("posted_unix=%.6f\nended_unix=%.6f\n", postedUnix, endedUnix);

    std::printf("done=%d\nelapsed_ms=%.1f\nstatus_changes=%d\nfinal_status=%s\n", done ? 1 : 0,
                elapsed, statusChanges, Utf8(last).c_str());
    PrintSummary("run", Summarise(pinger.Take()), pinger.Failures() - idleFailures);

    PROCESS_MEMORY_COUNTERS after{};
    if (process != nullptr && ReadMemory(process, after)) {
        std::printf(
            "peak_working_set_mib=%.1f\npeak_pagefile_mib=%.1f\nworking_set_mib=%.1f\n"
            "pagefile_mib=%.1f\nsampled_max_working_set_mib=%.1f\nsampled_max_pagefile_mib=%.1f\n",
            Mib(after.PeakWorkingSetSize), Mib(after.PeakPagefileUsage), Mib(after.WorkingSetSize),
            Mib(after.PagefileUsage), Mib(sampledWorkingSet), Mib(sampledPagefile));
    } else {
        std::printf("memory_error=%lu\n", GetLastError());
    }
    PROCESS_MEMORY_COUNTERS settled{};
    if (o.settleMs > 0 && process != nullptr) {
        Sleep(static_cast<DWORD>(o.settleMs));
        if (ReadMemory(process, settled)) {
            std::printf("settled_working_set_mib=%.1f\nsettled_pagefile_mib=%.1f\n",
                        Mib(settled.WorkingSetSize), Mib(settled.PagefileUsage));
        }
    }
    std::fflush(stdout);
    return done ? 0 : 1;
}
