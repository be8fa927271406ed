#pragma once
// The platform's Simplified Chinese system error messages, carried by the program so that a
// failed file write can be explained in Chinese on any Windows, whatever its display language.
#include <string_view>

#include "text/text_types.h"

// The whole table, code page 936: rows "〖code〗-message" in ascending code order, separated by
// "\r\n", no line break after the last row.
std::string_view ErrorTextTable();

// The message for one system error code; empty when the table has no row for it.
Text ErrorTextForCode(unsigned long code);

// The message for the calling thread's last error. Call it right after the failed operation,
// before anything else can change the last error.
Text LastErrorText();
