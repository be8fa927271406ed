#pragma once
// The one seam between the text helpers and the platform's code-page tables: the Windows
// conversion calls in the product (codepage_win.cpp), iconv in the native build
// (codepage_posix.cpp). Both map code page 936 and UTF-8 to UTF-16 the same way and put the
// default character "?" where the target code page lacks a character.
#include <string_view>

#include "text/text_types.h"

// Multi-byte text in `codePage` to UTF-16. Empty input gives true and an empty `out`.
// False (and an empty `out`) when the code page is unknown or the conversion fails.
bool MultiByteToWide(unsigned codePage, std::string_view bytes, WideText& out);

// UTF-16 to multi-byte text in `codePage`. Empty input gives true and an empty `out`.
// False (and an empty `out`) when the code page is unknown or the conversion fails.
bool WideToMultiByte(unsigned codePage, std::u16string_view wide, Text& out);
