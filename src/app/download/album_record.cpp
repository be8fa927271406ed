#include "app/download/album_record.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "app/download/file_naming.h"
#include "text/text_helpers.h"

namespace {

constexpr size_t kFields = 8;
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

// Splits at TABs into exactly kFields fields; false for any other count.
bool SplitFields(std::string_view line, std::array<std::string_view, kFields>& fields) {
    size_t n = 0;
    size_t start = 0;
    for (size_t i = 0; i <= line.size(); ++i) {
        if (i < line.size() && line[i] != '\t') continue;
        if (n == kFields) return false;
        fields[n++] = line.substr(start, i - start);
        start = i + 1;
    }
    return n == kFields;
}

bool ReadLine(std::string_view line, const Text& ownerId, const Text& albumId,
              RecordedPicture& picture) {
    std::array<std::string_view, kFields> f;
    if (line.size() > kMaxLineBytes || !SplitFields(line, f)) return false;
    if (f[0] != "p" || f[1] != ownerId || f[2] != albumId) return false;
    if (!ChecksumMatches(f[7], line.substr(0, line.size() - f[7].size() - 1))) return false;
    if (!IsPlainField(f[3]) || !IsPlainField(f[4]) || !IsRecordableFileName(f[5])) return false;
    if (!ParseLength(f[6], picture.length)) return false;
    picture.picName = Text(f[3]);
    picture.size = Text(f[4]);
    picture.fileName = Text(f[5]);
    return true;
}

}  // namespace

bool IsRecordableFileName(std::string_view name) {
    return !name.empty() && name.size() <= 1024 && IsWellFormed936(name) && IsSafeName(name);
}

AlbumFolderRecord ParseAlbumRecord(std::string_view bytes, const Text& ownerId,
                                   const Text& albumId) {
    AlbumFolderRecord record{ownerId, albumId, {}};
    const std::string_view version = kAlbumRecordVersionLine;
    if (!IsPlainField(ownerId) || !IsPlainField(albumId) || !bytes.starts_with(version)) {
        return record;
    }
    bytes.remove_prefix(version.size());
    record.pictures.reserve(static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')));
    // Only lines that end in LF count: a torn last line has none.
    for (size_t end = bytes.find('\n'); end != std::string_view::npos; end = bytes.find('\n')) {
        RecordedPicture picture;
        if (ReadLine(bytes.substr(0, end), ownerId, albumId, picture)) {
            record.pictures.push_back(std::move(picture));
        }
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
    return line + "\t" + ChecksumText(line) + "\n";
}
