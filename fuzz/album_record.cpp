// Random bytes as an album folder's record, read for the owner "u1" and album "a1", and as the
// fields of one picture written into a record. Besides the sanitizers' checks: every picture
// read back names one file inside the folder, with a length in range, and writing the record
// out again reads back the same pictures.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/download/album_record.h"
#include "app/download/file_naming.h"
#include "text/text_helpers.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// No separator or drive colon in any character (a trail byte may be 0x5C and is none).
bool IsOneName(const Text& name) {
    for (size_t i = 0; i < name.size(); i += CharBytes936(name, i)) {
        if (CharBytes936(name, i) == 1 && (name[i] == '\\' || name[i] == '/' || name[i] == ':')) {
            return false;
        }
    }
    return !name.empty();
}

bool Same(const RecordedPicture& a, const RecordedPicture& b) {
    return a.picName == b.picName && a.size == b.size && a.fileName == b.fileName &&
           a.length == b.length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const AlbumFolderRecord record = ParseAlbumRecord(bytes, "u1", "a1");
    for (const ListedPhotoEntry& p : record.listing) {
        Check(IsOneName(p.fileName) && !FormatListedLine("u1", "a1", 1, p).empty());
    }
    Text formatted = kAlbumRecordVersionLine;  // the record as a folder would hold it
    for (const RecordedPicture& p : record.pictures) {
        Check(IsOneName(p.fileName));
        Check(IsInsideFolder("C:\\save\\album\\", "C:\\save\\album\\" + p.fileName));
        Check(p.length > 0 && p.length <= kMaxRecordedLength);
        const Text line = FormatAlbumRecordLine("u1", "a1", p);
        Check(!line.empty());
        formatted += line;
    }
    const AlbumFolderRecord again = ParseAlbumRecord(formatted, "u1", "a1");
    Check(again.pictures.size() == record.pictures.size());
    for (size_t i = 0; i < again.pictures.size(); ++i) {
        Check(Same(again.pictures[i], record.pictures[i]));
    }
    // The same bytes as the fields of one picture (split at NUL bytes: picture name, size, file
    // name, the rest's first eight bytes as the length): whatever can be recorded reads back as
    // it was, and whatever is refused leaves no line.
    const size_t a = bytes.find('\0'), b = bytes.find('\0', a + 1), c = bytes.find('\0', b + 1);
    if (c != std::string_view::npos && a < b) {
        RecordedPicture picture{Text(bytes.substr(0, a)), Text(bytes.substr(a + 1, b - a - 1)),
                                Text(bytes.substr(b + 1, c - b - 1)), 0};
        const std::string_view rest = bytes.substr(c + 1);
        for (size_t i = 0; i < rest.size() && i < 8; ++i) {
            picture.length = (picture.length << 8) | static_cast<unsigned char>(rest[i]);
        }
        const Text line = FormatAlbumRecordLine("u1", "a1", picture);
        const AlbumFolderRecord one = ParseAlbumRecord(kAlbumRecordVersionLine + line, "u1", "a1");
        Check(one.pictures.size() == (line.empty() ? 0u : 1u));
        if (!line.empty()) Check(Same(one.pictures[0], picture) && IsOneName(picture.fileName));
    }
    // Another album's reading of the same bytes shares nothing with this one's.
    Check(ParseAlbumRecord(formatted, "u1", "a2").pictures.empty());
    return 0;
}
