#include "app/error_texts.h"

#include <windows.h>

#include <string>

namespace {

constexpr char kTable[] =
#include "app/error_texts.inc"
    ;

// "〖" and "〗-" in code page 936.
constexpr std::string_view kOpen = "\xA1\xBC";
constexpr std::string_view kClose = "\xA1\xBD-";
constexpr std::string_view kRowBreak = "\r\n";

}  // namespace

std::string_view ErrorTextTable() {
    return std::string_view(kTable, sizeof kTable - 1);
}

Text ErrorTextForCode(unsigned long code) {
    // The key carries both brackets, so code 1 never matches the rows of 10, 11 or 1001. A plain
    // byte search is safe on this table: a false hit would need a trail byte 0xA1 followed by a
    // lead byte 0xBC whose trail is a digit, and digits are never trail bytes in code page 936.
    const std::string key = std::string(kOpen) + std::to_string(code) + std::string(kClose);
    const std::string_view table = ErrorTextTable();
    const size_t at = table.find(key);
    if (at == std::string_view::npos) return Text();
    const size_t begin = at + key.size();
    const size_t end = table.find(kRowBreak, begin);
    return Text(table.substr(begin, end == std::string_view::npos ? end : end - begin));
}

Text LastErrorText() {
    return ErrorTextForCode(::GetLastError());
}
