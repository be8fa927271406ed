#pragma once
// Whether an answer's bytes are a picture at all: a 200 answer may carry a page or an error
// instead, and such bytes must never be written as a picture. Plain byte work that also builds
// natively.
#include "text/text_types.h"

// True when the bytes begin like a JPEG (FF D8 FF), PNG (its eight-byte signature), GIF
// (GIF87a / GIF89a), WebP (RIFF, a length, WEBP) or BMP ("BM" with a plausible header size).
bool LooksLikePicture(const ByteBuffer& bytes);

// What the bytes look like instead, for a log line: "HTML page, 1234 bytes", "JSON, 56 bytes:
// {"ok":-100...", "text, 9 bytes: ...", "7 bytes of binary data", "no bytes". Any quoted prefix
// holds printable ASCII only and at most 60 characters, so the log never carries more of an
// answer (a token, a cookie) than that.
Text DescribeNonPicture(const ByteBuffer& bytes);
