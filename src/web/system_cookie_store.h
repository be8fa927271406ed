#pragma once
// The system (WinINet) cookie store, for cookie mode 2 of WebSession. Kept apart because the
// WinINet and WinHTTP headers cannot meet in one translation unit.
#include "text/text_types.h"

// Stores name=value for the address (code page 936 texts). False when the store refuses.
bool StoreSystemCookie(const Text& url, const Text& name, const Text& value);

// The cookie string the store holds for the address ('A=1; B=2'), or empty.
Text SystemCookiesFor(const Text& url);
