// The helpers every driver command uses to find the program's windows and message them.
#include <windows.h>

#include "driver_commands.h"
#include "driver_io.h"

namespace driver {

// Polls until ready() holds or the time-out ends; true when it held.
bool WaitFor(unsigned long long timeoutMs, const std::function<bool()>& ready) {
    const unsigned long long end = NowMs() + timeoutMs;
    for (;;) {
        if (ready()) return true;
        if (NowMs() >= end) return false;
        Sleep(30);
    }
}

bool Send(HWND window, UINT message, WPARAM w, LPARAM l, LRESULT& result) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, message, w, l, SMTO_ABORTIFHUNG, kSendTimeoutMs, &answer)) {
        return false;
    }
    result = static_cast<LRESULT>(answer);
    return true;
}

LRESULT SendOr(HWND window, UINT message, WPARAM w, LPARAM l, LRESULT fallback) {
    LRESULT result = 0;
    return Send(window, message, w, l, result) ? result : fallback;
}

Outcome MainWindow(const Options& o, HWND& main) {
    main = nullptr;
    WaitFor(o.timeoutMs, [&] { return (main = FindMainWindow(o.query)) != nullptr; });
    if (main == nullptr) {
        // Say what is there instead, so a program that hangs can be told from one that is gone.
        std::string seen;
        for (HWND w : TopLevelOfProcess(0, o.query.className)) {
            std::wstring title;
            const bool answered = TextOf(w, title, 1000);
            seen += std::string(seen.empty() ? "" : "; ") + "pid " + std::to_string(ProcessOf(w)) +
                    (IsWindowVisible(w) ? " visible" : " hidden") +
                    (answered ? " title " + JsonString(title) : " not answering");
        }
        return "no main window (class " + ToUtf8(o.query.className) + ")" +
               (seen.empty() ? std::string(", none of that class") : ": " + seen);
    }
    return {};
}

Outcome NthOfClass(HWND main, const std::wstring& className, size_t n, HWND& found) {
    const std::vector<HWND> all = DescendantsOfClass(main, className);
    if (n >= all.size()) {
        return "no " + ToUtf8(className) + " #" + std::to_string(n) + " (there are " +
               std::to_string(all.size()) + ")";
    }
    found = all[n];
    return {};
}

Outcome NeedArgs(const Options& o, size_t n, const char* usage) {
    if (o.args.size() < n) return std::string("usage: ") + usage;
    return {};
}

Outcome IntegerArg(const Options& o, size_t i, long long& value) {
    if (i >= o.args.size() || !ParseInteger(o.args[i], value)) {
        return "not a number: " + (i < o.args.size() ? ToUtf8(o.args[i]) : std::string("(none)"));
    }
    return {};
}

std::string Bool(bool b) {
    return b ? "true" : "false";
}

// ---- commands ----

std::string ControlJson(HWND w) {
    return "{\"hwnd\":" + std::to_string(reinterpret_cast<INT_PTR>(w)) +
           ",\"parent\":" + std::to_string(reinterpret_cast<INT_PTR>(GetParent(w))) +
           ",\"class\":" + JsonString(ClassOf(w)) + ",\"text\":" + JsonString(TextOf(w)) +
           ",\"id\":" + std::to_string(GetDlgCtrlID(w)) +
           ",\"visible\":" + Bool(IsWindowVisible(w)) + ",\"enabled\":" + Bool(IsWindowEnabled(w)) +
           ",\"screen\":" + RectJson(ScreenRect(w)) +
           ",\"in_parent\":" + RectJson(RectInParent(w)) +
           ",\"parent_class\":" + JsonString(ClassOf(GetParent(w))) + "}";
}

}  // namespace driver
