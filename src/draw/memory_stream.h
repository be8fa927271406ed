#pragma once
// Byte buffers <-> COM streams on global memory (StreamRef and GlobalMemory own them).
#include <windows.h>
#include <objidl.h>

#include <cstddef>
#include <optional>
#include <utility>

#include "text/text_types.h"
#include "threads/handle.h"

// A stream over a new movable, zero-filled global block of `size` bytes (default: the byte
// count) that frees the block when the stream is released. With `copy` the bytes are copied in
// (at most `size` of them). The stream's position is 0. Empty on failure.
StreamRef BytesToStream(const ByteBuffer& bytes, bool copy = true,
                        std::optional<std::size_t> size = std::nullopt);

// The bytes a global-memory stream holds: its logical size (what was written), not the size of
// the memory block behind it, which the stream rounds up as it grows. Empty when the stream has
// no global memory.
ByteBuffer StreamToBytes(IStream* stream);
