#pragma once
// Small pieces of HTTP text handling shared by the parts of the request engine.
#include "text/text_types.h"

Text UpperAscii(Text text);
Text LowerAscii(Text text);

// The value of the header `name` in raw CRLF-separated headers: after "CRLF name:" (ASCII case
// ignored) up to the next CRLF, leading blanks removed. `found` tells an absent header from an
// empty one.
Text HeaderValue(const Text& headers, const Text& name, bool* found = nullptr);

// A Content-Length value: digits after optional blanks. 0, garbage and values beyond 32 bits
// all mean "unknown" (-1): the body is then read until the server has no more.
int ParseContentLength(const Text& value);
