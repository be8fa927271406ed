#include "window_query.h"

#include <cstdio>

namespace driver {

namespace {

struct FindState {
    const MainWindowQuery* query;
    HWND found;
};

BOOL CALLBACK FindMainProc(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<FindState*>(param);
    if (!IsWindowVisible(window)) return TRUE;
    if (ClassOf(window) != state->query->className) return TRUE;
    if (state->query->skipPid != 0 && ProcessOf(window) == state->query->skipPid) return TRUE;
    const std::wstring title = TextOf(window, 2000);
    if (title.compare(0, state->query->titlePrefix.size(), state->query->titlePrefix) != 0) {
        return TRUE;
    }
    state->found = window;
    return FALSE;
}

BOOL CALLBACK CollectProc(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

}  // namespace

HWND FindMainWindow(const MainWindowQuery& query) {
    FindState state{&query, nullptr};
    EnumWindows(FindMainProc, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    const int n = GetClassNameW(window, name, 256);
    return std::wstring(name, n > 0 ? static_cast<size_t>(n) : 0);
}

bool TextOf(HWND window, std::wstring& text, UINT timeoutMs) {
    text.clear();
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, timeoutMs,
                             &length)) {
        return false;
    }
    // The text may grow between the two messages (a status line changes every half second), so
    // ask with room to spare and again with more when the answer filled the buffer.
    std::wstring buffer(static_cast<size_t>(length) + 256, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD_PTR copied = 0;
        if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(),
                                 reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                                 timeoutMs, &copied)) {
            return false;
        }
        if (copied + 1 < buffer.size()) {
            buffer.resize(wcsnlen(buffer.c_str(), buffer.size()));
            text = buffer;
            return true;
        }
        buffer.assign(buffer.size() * 2, L'\0');
    }
    return false;
}

std::wstring TextOf(HWND window, UINT timeoutMs) {
    std::wstring text;
    TextOf(window, text, timeoutMs);
    return text;
}

std::vector<HWND> Descendants(HWND root) {
    std::vector<HWND> all;
    EnumChildWindows(root, CollectProc, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::vector<HWND> DescendantsOfClass(HWND root, const std::wstring& className) {
    std::vector<HWND> found;
    for (HWND w : Descendants(root)) {
        if (ClassOf(w) == className) found.push_back(w);
    }
    return found;
}

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

std::vector<HWND> TopLevelOfProcess(DWORD pid, const std::wstring& className) {
    std::vector<HWND> all;
    EnumWindows(CollectProc, reinterpret_cast<LPARAM>(&all));
    std::vector<HWND> found;
    for (HWND w : all) {
        if (pid == 0) {
            if (ClassOf(w) == className) found.push_back(w);
        } else if (IsWindowVisible(w) && ProcessOf(w) == pid && ClassOf(w) == className) {
            found.push_back(w);
        }
    }
    return found;
}

RECT ScreenRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

RECT RectInParent(HWND window) {
    RECT r = ScreenRect(window);
    const HWND parent = GetParent(window);
    if (parent != nullptr && (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD)) {
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    }
    return r;
}

RECT ClientScreenRect(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string RectJson(const RECT& r) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "{\"left\":%ld,\"top\":%ld,\"width\":%ld,\"height\":%ld}",
                  r.left, r.top, r.right - r.left, r.bottom - r.top);
    return buf;
}

}  // namespace driver
