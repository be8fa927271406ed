#include "draw/memory_stream.h"

#include <algorithm>
#include <cstring>

StreamRef BytesToStream(const ByteBuffer& bytes, bool copy, std::optional<std::size_t> size) {
    const std::size_t blockSize = size.value_or(bytes.size());
    GlobalMemory memory(::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, blockSize));
    if (!memory) return {};
    const std::size_t copied = copy ? std::min(blockSize, bytes.size()) : 0;
    if (copied > 0) {
        void* target = ::GlobalLock(memory.Get());
        if (target == nullptr) return {};
        std::memcpy(target, bytes.data(), copied);
        ::GlobalUnlock(memory.Get());
    }
    StreamRef stream;
    if (FAILED(::CreateStreamOnHGlobal(memory.Get(), TRUE, stream.Receive()))) return {};
    memory.Release();  // the stream frees the block now
    return stream;
}

ByteBuffer StreamToBytes(IStream* stream) {
    if (stream == nullptr) return {};
    HGLOBAL memory = nullptr;
    if (FAILED(::GetHGlobalFromStream(stream, &memory)) || memory == nullptr) return {};
    // The block grows in steps ahead of what was written; only the stream's own size is data.
    STATSTG stat{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return {};
    const std::size_t length =
        std::min<std::size_t>(static_cast<std::size_t>(stat.cbSize.QuadPart), ::GlobalSize(memory));
    if (length == 0) return {};
    const void* source = ::GlobalLock(memory);
    if (source == nullptr) return {};
    ByteBuffer bytes(static_cast<const char*>(source), length);
    ::GlobalUnlock(memory);
    return bytes;
}
