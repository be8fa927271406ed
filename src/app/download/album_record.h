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
// and the check against the folder's files are AlbumFolder's (album_folder.h).
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
// Far beyond any album; a larger count or total in a listing line is damage.
inline constexpr std::int64_t kMaxListedPhotos = 1000000000;

struct RecordedPicture {
    Text picName;              // the service's picture name, "0069xyz.jpg"
    Text size;                 // the size it was fetched at: the address segment, "/mw1024/"
    Text fileName;             // the name it was written under inside the album folder
    std::uint64_t length = 0;  // its byte length
};

// One photo as a listing of the album gave it: enough to fetch and name it again without asking
// for its page.
struct ListedPhotoEntry {
    Text picHost;
    Text picName;
    std::int32_t timestamp = 0;
    Text fileName;  // the name the photo's own naming gave it
};

struct AlbumFolderRecord {
    Text ownerId;
    Text albumId;
    std::vector<RecordedPicture> pictures;  // in the order written
    // The album as the last listing that reached its end left it, newest first, and the total
    // the service gave then; empty and -1 when no listing did.
    std::vector<ListedPhotoEntry> listing;
    std::int64_t listedTotal = -1;
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

// The album's listing rides in the same record, in lines of its own that older readers skip:
//   L|U TAB ownerId TAB albumId TAB checksum LF           a listing begins: L a full one, which
//                                                          replaces what was known; U an update's,
//                                                          whose photos go in front of the known
//   l TAB ownerId TAB albumId TAB index TAB picHost TAB picName TAB timestamp TAB fileName
//     TAB checksum LF                                      a photo it listed (index from 1, newest
//                                                          first, in the order listed)
//   T TAB ownerId TAB albumId TAB total TAB count TAB checksum LF
//                                                          it reached its end: the service's total
//                                                          and how many photos it listed
// A listing without its end (a run cut short, a torn line) is not taken, so what is known is
// always what some listing saw whole. Lines of one listing are appended by one run only.
enum class ListingKind { kFull, kUpdate };
Text FormatListingStart(const Text& ownerId, const Text& albumId, ListingKind kind);
// Empty when the photo cannot be recorded (a field with control characters, a file name
// IsRecordableFileName refuses, an index below 1).
Text FormatListedLine(const Text& ownerId, const Text& albumId, int index,
                      const ListedPhotoEntry& photo);
Text FormatListingEnd(const Text& ownerId, const Text& albumId, std::int64_t total, int count);
