#pragma once
// The three kinds of text the program passes around.
//
// Text:       bytes in code page 936 (GBK). A missing text and the empty text are the same value.
// ByteBuffer: a counted run of arbitrary bytes (bodies, pictures); may hold zeros.
// WideText:   UTF-16 code units. On Windows, WinStr() views it as a wchar_t string.
#include <string>

using Text = std::string;
using ByteBuffer = std::string;
using WideText = std::u16string;

#ifdef _WIN32
inline const wchar_t* WinStr(const WideText& w) {
    return reinterpret_cast<const wchar_t*>(w.c_str());
}
inline wchar_t* WinStr(WideText& w) {
    return reinterpret_cast<wchar_t*>(w.data());
}
#endif
