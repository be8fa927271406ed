// The product's code-page conversions: the platform's own tables, flags 0, so characters a code
// page lacks become its default character instead of failing the call.
#include "text/codepage.h"

#include <windows.h>

#include <climits>

bool MultiByteToWide(unsigned codePage, std::string_view bytes, WideText& out) {
    out.clear();
    if (bytes.empty()) return true;
    if (bytes.size() > static_cast<size_t>(INT_MAX)) return false;
    const int inLen = static_cast<int>(bytes.size());
    const int need = MultiByteToWideChar(codePage, 0, bytes.data(), inLen, nullptr, 0);
    if (need <= 0) return false;
    out.resize(static_cast<size_t>(need));
    const int got = MultiByteToWideChar(codePage, 0, bytes.data(), inLen,
                                        reinterpret_cast<wchar_t*>(out.data()), need);
    if (got <= 0) {
        out.clear();
        return false;
    }
    out.resize(static_cast<size_t>(got));
    return true;
}

bool WideToMultiByte(unsigned codePage, std::u16string_view wide, Text& out) {
    out.clear();
    if (wide.empty()) return true;
    if (wide.size() > static_cast<size_t>(INT_MAX)) return false;
    const int inLen = static_cast<int>(wide.size());
    const auto* in = reinterpret_cast<const wchar_t*>(wide.data());
    const int need = WideCharToMultiByte(codePage, 0, in, inLen, nullptr, 0, nullptr, nullptr);
    if (need <= 0) return false;
    out.resize(static_cast<size_t>(need));
    const int got = WideCharToMultiByte(codePage, 0, in, inLen, out.data(), need, nullptr, nullptr);
    if (got <= 0) {
        out.clear();
        return false;
    }
    out.resize(static_cast<size_t>(got));
    return true;
}
