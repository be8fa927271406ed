#pragma once
// What the driver's commands share: the parsed command line, the failure every command returns,
// the helpers that find and message the program's windows, and the commands themselves (those of
// the controls in driver_controls.cpp, those of the window as a whole in driver_main.cpp).
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "window_query.h"

namespace driver {

constexpr UINT kSendTimeoutMs = 5000;
constexpr int kTextCapacity = 1024;

struct Options {
    MainWindowQuery query;
    unsigned long long timeoutMs = 10000;
    std::vector<std::wstring> args;  // the command's own arguments, after the command name
    std::map<std::wstring, std::wstring> flags;  // --name value or --name (value "1")

    bool Has(const std::wstring& flag) const { return flags.count(flag) != 0; }
};

// A failure with its message; every command returns one (empty = success).
using Outcome = std::string;

// Polls until ready() holds or the time-out ends; true when it held.
bool WaitFor(unsigned long long timeoutMs, const std::function<bool()>& ready);
bool Send(HWND window, UINT message, WPARAM w, LPARAM l, LRESULT& result);
LRESULT SendOr(HWND window, UINT message, WPARAM w, LPARAM l, LRESULT fallback);
Outcome MainWindow(const Options& o, HWND& main);
Outcome NthOfClass(HWND main, const std::wstring& className, size_t n, HWND& found);
Outcome NeedArgs(const Options& o, size_t n, const char* usage);
Outcome IntegerArg(const Options& o, size_t i, long long& value);
std::string Bool(bool b);
std::string ControlJson(HWND w);

// The controls (driver_controls.cpp).
Outcome Find(const Options& o);
Outcome Status(const Options& o);
Outcome WaitStatus(const Options& o);
Outcome WatchStatus(const Options& o);
Outcome GetEdit(const Options& o);
Outcome SetEdit(const Options& o);
Outcome Buttons(const Options& o);
Outcome Click(const Options& o);
Outcome Tabs(const Options& o);
Outcome SelectTab(const Options& o);
Outcome List(const Options& o);
Outcome Select(const Options& o);
Outcome Command(const Options& o);
Outcome RightClick(const Options& o);

}  // namespace driver
