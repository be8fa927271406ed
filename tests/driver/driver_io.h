#pragma once
// Text plumbing of the driver: command-line arguments arrive as UTF-16 (Wine decodes the Unix
// UTF-8 argv for us), results leave as UTF-8 on stdout, structured ones as JSON.
#include <windows.h>

#include <string>
#include <vector>

namespace driver {

std::string ToUtf8(const std::wstring& wide);
std::wstring FromUtf8(const std::string& utf8);

// The process's own arguments, argv[0] included, decoded by CommandLineToArgvW.
std::vector<std::wstring> CommandArguments();

// A JSON string literal (quotes included) of a UTF-16 text.
std::string JsonString(const std::wstring& text);

// Writes bytes to stdout unchanged (no text-mode translation).
void Print(const std::string& utf8);
void PrintLine(const std::string& utf8);
void PrintError(const std::string& utf8);

// Parses a decimal or 0x-prefixed integer; false when the whole text is not one.
bool ParseInteger(const std::wstring& text, long long& value);

// Milliseconds since an arbitrary start, for time-outs.
unsigned long long NowMs();

}  // namespace driver
