// pictalon_driver: drives the program's main window from outside, one command per run, the way a
// user would (clicks, tab changes, menu commands) or the way the window shows itself (texts,
// list items, rectangles, pixels). Results go to stdout as UTF-8; exit code 0 means success.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "driver_commands.h"
#include "driver_io.h"
#include "remote_memory.h"
#include "screenshot.h"
#include "window_query.h"

using namespace driver;

namespace {

std::wstring BoxText(HWND box) {
    std::wstring text;
    for (HWND w : DescendantsOfClass(box, WC_STATICW)) {
        const LONG_PTR style = GetWindowLongPtrW(w, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON) continue;
        const std::wstring part = TextOf(w);
        if (part.empty()) continue;
        if (!text.empty()) text += L"\n";
        text += part;
    }
    return text;
}

std::string BoxJson(HWND box) {
    return "{\"hwnd\":" + std::to_string(reinterpret_cast<INT_PTR>(box)) +
           ",\"title\":" + JsonString(TextOf(box)) + ",\"text\":" + JsonString(BoxText(box)) +
           ",\"owner\":" + std::to_string(reinterpret_cast<INT_PTR>(GetWindow(box, GW_OWNER))) +
           "}";
}

Outcome ProgramPid(const Options& o, DWORD& pid) {
    HWND main = nullptr;
    if (auto e = MainWindow(o, main); !e.empty()) return e;
    pid = ProcessOf(main);
    return {};
}

Outcome Boxes(const Options& o) {
    DWORD pid = 0;
    if (auto e = ProgramPid(o, pid); !e.empty()) return e;
    std::string out = "[";
    for (HWND box : TopLevelOfProcess(pid, L"#32770")) {
        out += (out.size() > 1 ? "," : "") + BoxJson(box);
    }
    PrintLine(out + "]");
    return {};
}

Outcome Answer(const Options& o) {
    DWORD pid = 0;
    if (auto e = ProgramPid(o, pid); !e.empty()) return e;
    HWND box = nullptr;
    WaitFor(o.timeoutMs, [&] {
        for (HWND b : TopLevelOfProcess(pid, L"#32770")) {
            if (!o.Has(L"--title") || TextOf(b) == o.flags.at(L"--title")) {
                box = b;
                return true;
            }
        }
        return false;
    });
    if (box == nullptr) return "no message box appeared";
    const std::string described = BoxJson(box);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    if (!WaitFor(o.timeoutMs, [&] { return !IsWindow(box) || !IsWindowVisible(box); })) {
        return "the message box stayed open";
    }
    PrintLine(described);
    return {};
}

// Posts a registered window message (by its name) to the main window, as the shell would.
Outcome PostRegistered(const Options& o) {
    if (auto e = NeedArgs(o, 1, "post NAME"); !e.empty()) return e;
    HWND main = nullptr;
    if (auto e = MainWindow(o, main); !e.empty()) return e;
    const UINT message = RegisterWindowMessageW(o.args[0].c_str());
    if (message == 0 || !PostMessageW(main, message, 0, 0)) return "cannot post the message";
    return {};
}

// Window rectangles and screenshots in real pixels whatever the display's dpi: without this
// the system scales what an unaware program sees to 96 dpi.
void BecomeDpiAware() {
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto set = reinterpret_cast<SetContextFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    if (set == nullptr || !set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) {
        SetProcessDPIAware();
    }
}

Outcome Rects(const Options& o) {
    HWND main = nullptr;
    if (auto e = MainWindow(o, main); !e.empty()) return e;
    std::string out = "{\"window\":" + RectJson(ScreenRect(main)) +
                      ",\"client\":" + RectJson(ClientScreenRect(main)) + ",\"controls\":[";
    bool first = true;
    for (HWND w : Descendants(main)) {
        out += (first ? "" : ",") + ControlJson(w);
        first = false;
    }
    PrintLine(out + "]}");
    return {};
}

Outcome Resize(const Options& o) {
    if (auto e = NeedArgs(o, 2, "resize WIDTH HEIGHT"); !e.empty()) return e;
    long long w = 0, h = 0;
    if (auto e = IntegerArg(o, 0, w); !e.empty()) return e;
    if (auto e = IntegerArg(o, 1, h); !e.empty()) return e;
    HWND main = nullptr;
    if (auto e = MainWindow(o, main); !e.empty()) return e;
    if (!SetWindowPos(main, nullptr, 0, 0, static_cast<int>(w), static_cast<int>(h),
                      SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)) {
        return "SetWindowPos failed";
    }
    const bool sized = WaitFor(o.timeoutMs, [&] {
        const RECT r = ScreenRect(main);
        return r.right - r.left == w && r.bottom - r.top == h;
    });
    Sleep(100);  // the layout runs on the program's own thread
    PrintLine(RectJson(ScreenRect(main)));
    return sized ? Outcome{} : "the window kept another size";
}

Outcome Close(const Options& o) {
    HWND main = nullptr;
    if (auto e = MainWindow(o, main); !e.empty()) return e;
    RemoteProcess process(ProcessOf(main));
    const unsigned long long start = NowMs();
    if (!PostMessageW(main, WM_CLOSE, 0, 0)) return "could not post WM_CLOSE";
    if (!o.Has(L"--wait")) return {};
    if (!process.IsOpen()) return "cannot open the program's process to wait for it";
    const DWORD waited = WaitForSingleObject(process.Get(), static_cast<DWORD>(o.timeoutMs));
    const unsigned long long took = NowMs() - start;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.Get(), &code);
    PrintLine("{\"exited\":" + Bool(waited == WAIT_OBJECT_0) +
              ",\"exit_code\":" + std::to_string(code) + ",\"ms\":" + std::to_string(took) + "}");
    return waited == WAIT_OBJECT_0 ? Outcome{} : "the program is still running";
}

Outcome Shot(const Options& o) {
    if (auto e = NeedArgs(o, 1, "shot FILE [--print] [--client]"); !e.empty()) return e;
    HWND main = nullptr;
    if (auto e = MainWindow(o, main); !e.empty()) return e;
    Pixels pixels;
    bool ok = false;
    if (o.Has(L"--print")) {
        ok = CaptureWindow(main, pixels);
    } else {
        // Bring it up first so no other window covers the copied screen area.
        SetWindowPos(main, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Sleep(200);
        ok = CaptureScreen(o.Has(L"--client") ? ClientScreenRect(main) : ScreenRect(main), pixels);
    }
    if (!ok) return "capture failed";
    if (!SavePicture(pixels, o.args[0])) return "cannot write " + ToUtf8(o.args[0]);
    PrintLine("{\"width\":" + std::to_string(pixels.width) +
              ",\"height\":" + std::to_string(pixels.height) + "}");
    return {};
}

const char kUsage[] =
    "usage: pictalon_driver [--class C] [--title PREFIX] [--timeout MS] COMMAND ...\n"
    "  find | status | wait-status TEXT [--contains] | watch-status [--until TEXT]\n"
    "  get-edit N | set-edit N TEXT\n"
    "  buttons | click CAPTION|ID [--force] | tabs | tab N|CAPTION\n"
    "  list [--wait-count N] | select N | command ID | rclick [N] [--pick K | --shot FILE]\n"
    "  boxes | answer [--title T] | rects | resize W H | close [--wait] | shot FILE [--print] "
    "[--client] | post NAME";

}  // namespace

int main() {
    BecomeDpiAware();
    std::vector<std::wstring> all = CommandArguments();
    Options o;
    std::wstring command;
    // Flags that take a value; every other --flag is a switch.
    const std::vector<std::wstring> valued = {L"--class", L"--title", L"--timeout", L"--wait-count",
                                              L"--pick",  L"--until", L"--shot",    L"--skip-pid"};
    for (size_t i = 1; i < all.size(); ++i) {
        const std::wstring& a = all[i];
        if (a.size() > 2 && a.compare(0, 2, L"--") == 0) {
            bool takes = false;
            for (const auto& v : valued) takes = takes || v == a;
            if (takes) {
                if (i + 1 >= all.size()) {
                    PrintError("missing value after " + ToUtf8(a));
                    return 2;
                }
                o.flags[a] = all[++i];
            } else {
                o.flags[a] = L"1";
            }
        } else if (command.empty()) {
            command = a;
        } else {
            o.args.push_back(a);
        }
    }
    if (o.Has(L"--class")) o.query.className = o.flags[L"--class"];
    if (o.Has(L"--title")) o.query.titlePrefix = o.flags[L"--title"];
    if (o.Has(L"--skip-pid")) {
        long long pid = 0;
        if (!ParseInteger(o.flags[L"--skip-pid"], pid) || pid <= 0) {
            PrintError("--skip-pid needs a process id");
            return 2;
        }
        o.query.skipPid = static_cast<DWORD>(pid);
    }
    if (o.Has(L"--timeout")) {
        long long t = 0;
        if (!ParseInteger(o.flags[L"--timeout"], t) || t < 0) {
            PrintError("--timeout needs milliseconds");
            return 2;
        }
        o.timeoutMs = static_cast<unsigned long long>(t);
    }

    const std::map<std::wstring, Outcome (*)(const Options&)> commands = {
        {L"find", Find},
        {L"status", Status},
        {L"wait-status", WaitStatus},
        {L"watch-status", WatchStatus},
        {L"get-edit", GetEdit},
        {L"set-edit", SetEdit},
        {L"buttons", Buttons},
        {L"click", Click},
        {L"tabs", Tabs},
        {L"tab", SelectTab},
        {L"list", List},
        {L"select", Select},
        {L"command", Command},
        {L"rclick", RightClick},
        {L"boxes", Boxes},
        {L"answer", Answer},
        {L"rects", Rects},
        {L"resize", Resize},
        {L"close", Close},
        {L"shot", Shot},
        {L"post", PostRegistered},
    };
    const auto found = commands.find(command);
    if (found == commands.end()) {
        PrintError(command.empty() ? "no command" : "unknown command " + ToUtf8(command));
        PrintError(kUsage);
        return 2;
    }
    const Outcome failure = found->second(o);
    if (!failure.empty()) {
        PrintError(ToUtf8(command) + ": " + failure);
        return 1;
    }
    return 0;
}