#include "app/download/album_record.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <climits>
#include <cstdint>
#include <unordered_set>
#include <utility>

#include "app/download/file_naming.h"
#include "text/text_helpers.h"

namespace {

// Far beyond any line the program writes; a longer one is damage and is not split.
constexpr size_t kMaxLineBytes = 4096;

std::uint32_t Fnv1a(std::string_view bytes) {
    std::uint32_t hash = 2166136261u;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

Text ChecksumText(std::string_view bytes) {
    char hex[9];
    std::snprintf(hex, sizeof(hex), "%08x", static_cast<unsigned>(Fnv1a(bytes)));
    return Text(hex, 8);
}

// The checksum as ChecksumText writes it (eight lower-case hex digits), read without a copy.
bool ChecksumMatches(std::string_view hex, std::string_view bytes) {
    if (hex.size() != 8) return false;
    std::uint32_t value = 0;
    for (const char c : hex) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value == Fnv1a(bytes);
}

// Ids, picture names and sizes: anything printable, since a TAB or line end would break the line.
bool IsPlainField(std::string_view field) {
    if (field.empty() || field.size() > 1024) return false;
    for (const char c : field) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32 || b == 127) return false;
    }
    return true;
}

bool ParseLength(std::string_view digits, std::uint64_t& length) {
    if (digits.empty() || digits.size() > 10) return false;
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > kMaxRecordedLength) return false;
    length = value;
    return true;
}

// Splits at TABs into at most kMaxFields fields; how many, or 0 for more than that.
constexpr size_t kMaxFields = 10;
size_t SplitFields(std::string_view line, std::array<std::string_view, kMaxFields>& fields) {
    size_t n = 0;
    size_t start = 0;
    for (size_t i = 0; i <= line.size(); ++i) {
        if (i < line.size() && line[i] != '\t') continue;
        if (n == kMaxFields) return 0;
        fields[n++] = line.substr(start, i - start);
        start = i + 1;
    }
    return n;
}

bool ParseCount(std::string_view digits, std::int64_t limit, std::int64_t& count) {
    if (digits.empty() || digits.size() > 10) return false;
    std::int64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value > limit) return false;
    count = value;
    return true;
}

bool ParseTime(std::string_view digits, std::int32_t& time) {
    const bool negative = !digits.empty() && digits[0] == '-';
    std::int64_t value = 0;
    if (!ParseCount(negative ? digits.substr(1) : digits, std::int64_t{1} << 31, value)) {
        return false;
    }
    value = negative ? -value : value;
    if (value > INT32_MAX || value < INT32_MIN) return false;
    time = static_cast<std::int32_t>(value);
    return true;
}

bool ReadPicture(const std::array<std::string_view, kMaxFields>& f, RecordedPicture& picture) {
    if (!IsPlainField(f[3]) || !IsPlainField(f[4]) || !IsRecordableFileName(f[5])) return false;
    if (!ParseLength(f[6], picture.length)) return false;
    picture.picName = Text(f[3]);
    picture.size = Text(f[4]);
    picture.fileName = Text(f[5]);
    return true;
}

bool ReadListed(const std::array<std::string_view, kMaxFields>& f, size_t expectedIndex,
                ListedPhotoEntry& photo) {
    std::int64_t index = 0;
    if (!ParseCount(f[3], kMaxListedPhotos, index) || static_cast<size_t>(index) != expectedIndex)
        return false;
    if (!IsPlainField(f[4]) || !IsPlainField(f[5]) || !IsRecordableFileName(f[7])) return false;
    if (!ParseTime(f[6], photo.timestamp)) return false;
    photo.picHost = Text(f[4]);
    photo.picName = Text(f[5]);
    photo.fileName = Text(f[7]);
    return true;
}

Text Signed(const Text& line) {
    return line + "\t" + ChecksumText(line) + "\n";
}

// Reads the lines of one owner and album in order. A listing is held apart until its end line
// says it is whole, and only then becomes what is known.
class RecordReader {
  public:
    explicit RecordReader(AlbumFolderRecord& record) : record_(record) {}

    void Line(std::string_view line) {
        std::array<std::string_view, kMaxFields> f;
        const size_t n = line.size() > kMaxLineBytes ? 0 : SplitFields(line, f);
        if (n < 4 || f[1] != record_.ownerId || f[2] != record_.albumId) return;
        if (!ChecksumMatches(f[n - 1], line.substr(0, line.size() - f[n - 1].size() - 1))) return;
        if (f[0] == "p" && n == 8) {
            RecordedPicture picture;
            if (ReadPicture(f, picture)) record_.pictures.push_back(std::move(picture));
        } else if ((f[0] == "L" || f[0] == "U") && n == 4) {
            open_ = true;
            full_ = f[0] == "L";
            pending_.clear();
        } else if (f[0] == "l" && n == 9 && open_) {
            ListedPhotoEntry photo;
            if (ReadListed(f, pending_.size() + 1, photo)) {
                pending_.push_back(std::move(photo));
            } else {
                open_ = false;  // a listing with a hole in it is not whole
            }
        } else if (f[0] == "T" && n == 6 && open_) {
            std::int64_t total = 0;
            std::int64_t count = 0;
            if (ParseCount(f[3], kMaxListedPhotos, total) &&
                ParseCount(f[4], kMaxListedPhotos, count) &&
                static_cast<size_t>(count) == pending_.size()) {
                Close(total);
            }
            open_ = false;
        }
    }

  private:
    void Close(std::int64_t total) {
        if (!full_) {
            // The update's photos are the newest; a photo it saw again keeps its new place.
            // Room for both first: the set looks into the names where they lie.
            pending_.reserve(pending_.size() + record_.listing.size());
            std::unordered_set<std::string_view> seen;
            for (const ListedPhotoEntry& p : pending_) seen.insert(p.picName);
            for (ListedPhotoEntry& p : record_.listing) {
                if (!seen.count(p.picName)) pending_.push_back(std::move(p));
            }
        }
        record_.listing = std::move(pending_);
        pending_ = {};
        record_.listedTotal = total;
    }

    AlbumFolderRecord& record_;
    std::vector<ListedPhotoEntry> pending_;
    bool open_ = false;
    bool full_ = false;
};

}  // namespace

bool IsRecordableFileName(std::string_view name) {
    return !name.empty() && name.size() <= 1024 && IsWellFormed936(name) && IsSafeName(name);
}

AlbumFolderRecord ParseAlbumRecord(std::string_view bytes, const Text& ownerId,
                                   const Text& albumId) {
    AlbumFolderRecord record;
    record.ownerId = ownerId;
    record.albumId = albumId;
    const std::string_view version = kAlbumRecordVersionLine;
    if (!IsPlainField(ownerId) || !IsPlainField(albumId) || !bytes.starts_with(version)) {
        return record;
    }
    bytes.remove_prefix(version.size());
    // Nothing is set aside from a count that was not read: a record of line breaks alone costs
    // what it holds, not what its lines could hold.
    RecordReader reader(record);
    // Only lines that end in LF count: a torn last line has none.
    for (size_t end = bytes.find('\n'); end != std::string_view::npos; end = bytes.find('\n')) {
        reader.Line(bytes.substr(0, end));
        bytes.remove_prefix(end + 1);
    }
    return record;
}

Text FormatAlbumRecordLine(const Text& ownerId, const Text& albumId,
                           const RecordedPicture& picture) {
    if (!IsPlainField(ownerId) || !IsPlainField(albumId) || !IsPlainField(picture.picName) ||
        !IsPlainField(picture.size) || !IsRecordableFileName(picture.fileName) ||
        picture.length == 0 || picture.length > kMaxRecordedLength) {
        return Text();
    }
    Text line = JoinTexts("p\t", ownerId, "\t", albumId, "\t", picture.picName, "\t", picture.size,
                          "\t", picture.fileName, "\t", std::to_string(picture.length));
    if (line.size() > kMaxLineBytes - 10) return Text();
    return Signed(line);
}

Text FormatListingStart(const Text& ownerId, const Text& albumId, ListingKind kind) {
    if (!IsPlainField(ownerId) || !IsPlainField(albumId)) return Text();
    return Signed(JoinTexts(kind == ListingKind::kFull ? "L\t" : "U\t", ownerId, "\t", albumId));
}

Text FormatListedLine(const Text& ownerId, const Text& albumId, int index,
                      const ListedPhotoEntry& photo) {
    if (!IsPlainField(ownerId) || !IsPlainField(albumId) || !IsPlainField(photo.picHost) ||
        !IsPlainField(photo.picName) || !IsRecordableFileName(photo.fileName) || index < 1) {
        return Text();
    }
    const Text line =
        JoinTexts("l\t", ownerId, "\t", albumId, "\t", std::to_string(index), "\t", photo.picHost,
                  "\t", photo.picName, "\t", std::to_string(photo.timestamp), "\t", photo.fileName);
    return line.size() > kMaxLineBytes - 10 ? Text() : Signed(line);
}

Text FormatListingEnd(const Text& ownerId, const Text& albumId, std::int64_t total, int count) {
    if (!IsPlainField(ownerId) || !IsPlainField(albumId) || total < 0 || total > kMaxListedPhotos ||
        count < 0) {
        return Text();
    }
    return Signed(JoinTexts("T\t", ownerId, "\t", albumId, "\t", std::to_string(total), "\t",
                            std::to_string(count)));
}
