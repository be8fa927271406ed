// Random bytes as an album folder's record, read for the owner "u1" and album "a1". Besides the
// sanitizers' checks: every picture read back names one file inside the folder, with a length
// in range, and writing the record out again reads back the same pictures.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/album_record.h"
#include "app/file_naming.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool Same(const RecordedPicture& a, const RecordedPicture& b) {
    return a.picName == b.picName && a.size == b.size && a.fileName == b.fileName &&
           a.length == b.length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const AlbumFolderRecord record = ParseAlbumRecord(bytes, "u1", "a1");
    for (const RecordedPicture& p : record.pictures) {
        Check(IsInsideFolder("C:\\save\\album\\", "C:\\save\\album\\" + p.fileName));
        Check(p.fileName.find_first_of("\\/:") == Text::npos);
        Check(p.length > 0 && p.length <= kMaxRecordedLength);
        Check(!FormatAlbumRecordLine("u1", "a1", p).empty());
    }
    const AlbumFolderRecord again = ParseAlbumRecord(FormatAlbumRecord(record), "u1", "a1");
    Check(again.pictures.size() == record.pictures.size());
    for (size_t i = 0; i < again.pictures.size(); ++i) {
        Check(Same(again.pictures[i], record.pictures[i]));
    }
    // Another album's reading of the same bytes shares nothing with this one's.
    Check(ParseAlbumRecord(FormatAlbumRecord(record), "u1", "a2").pictures.empty());
    return 0;
}
