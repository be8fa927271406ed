#pragma once
// The record an album folder keeps of the pictures written into it (".pictalon-album", hidden),
// so a picture already there at the size chosen is not fetched again.
//
// The file is code-page-936 text: the version line "pictalon-album 1", then one line per
// picture written, appended as it is written:
//   p TAB ownerId TAB albumId TAB picName TAB size TAB fileName TAB length TAB checksum LF
// where checksum is eight lower-case hex digits of the 32-bit FNV-1a hash of everything before
// its TAB. Lines are appended rather than the file rewritten through a temporary name: five
// workers add a line per picture, and rewriting the whole record each time would cost time in
// the square of the album's size, while an append costs one line. What a crash or a closed
// window can leave is a torn last line; it has no LF and fails its checksum, so it is ignored,
// and the next append starts a fresh line after it. The owner and album ride on every line
// rather than in one header: two albums with the same caption share one folder, and may be
// written in the same run, interleaved.
//
// The parsing and formatting are plain text work that also builds natively; loading, appending
// and the check against the folder's files are Windows calls.
#include <cstdint>
#include <string_view>
#include <vector>

#include "text/text_types.h"

inline constexpr char kAlbumRecordFileName[] = ".pictalon-album";
inline constexpr char kAlbumRecordVersionLine[] = "pictalon-album 1\n";
// No picture is larger (bodies are capped far below); a longer recorded length is damage.
inline constexpr std::uint64_t kMaxRecordedLength = std::uint64_t{1} << 30;
// A record larger than this is not read (it is damage, or far beyond any album); the next
// append starts it over.
inline constexpr std::uint64_t kMaxAlbumRecordBytes = std::uint64_t{64} << 20;

struct RecordedPicture {
    Text picName;              // the service's picture name, "0069xyz.jpg"
    Text size;                 // the size it was fetched at: the address segment, "/mw1024/"
    Text fileName;             // the name it was written under inside the album folder
    std::uint64_t length = 0;  // its byte length
};

struct AlbumFolderRecord {
    Text ownerId;
    Text albumId;
    std::vector<RecordedPicture> pictures;  // in the order written
};

// True for a name the program could have written inside the album folder: one well-formed
// code-page-936 name that SafeName leaves as it is (no separator, drive colon, control
// character, "." or "..", device name).
bool IsRecordableFileName(std::string_view name);

// The pictures the bytes record for this owner and album. Anything else is skipped: a missing
// or foreign version line (then nothing is read), lines of another owner or album, a last line
// without its LF, a line whose checksum differs, a file name that could leave the folder, a
// length that does not parse, is 0 or is beyond kMaxRecordedLength. Never fails.
AlbumFolderRecord ParseAlbumRecord(std::string_view bytes, const Text& ownerId,
                                   const Text& albumId);

// One line for the picture, LF included; empty when it cannot be recorded (empty or control
// characters in an id, picture name or size, a file name IsRecordableFileName refuses, a
// length out of range).
Text FormatAlbumRecordLine(const Text& ownerId, const Text& albumId,
                           const RecordedPicture& picture);

// The version line and a line for every picture that can be recorded.
Text FormatAlbumRecord(const AlbumFolderRecord& record);

// The latest picture recorded under this picture name and size, or null.
const RecordedPicture* FindRecorded(const AlbumFolderRecord& record, const Text& picName,
                                    const Text& size);

#ifdef _WIN32
// The record in the album folder (code page 936, "\" at the end or not) for this owner and
// album. Missing, unreadable or too large: an empty record, so everything is fetched.
AlbumFolderRecord LoadAlbumRecord(const Text& folder, const Text& ownerId, const Text& albumId);

// Adds one picture to the folder's record, making the record (hidden) when there is none, and
// starting it over when what is there is not a record this version can read. Safe to call from
// several threads at once. False when the picture cannot be recorded or the write fails.
[[nodiscard]] bool AppendToAlbumRecord(const Text& folder, const Text& ownerId, const Text& albumId,
                                       const RecordedPicture& picture);

// True only when the record says the picture was written at this size under a file name that
// still names a file in the folder with exactly the recorded length.
bool AlreadyThere(const AlbumFolderRecord& record, const Text& picName, const Text& size,
                  const Text& folder);
#endif
