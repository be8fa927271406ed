// The album folder's record on disk.
#include <windows.h>

#include <mutex>

#include "app/download/album_record.h"
#include "app/download/file_naming.h"
#include "app/download/long_path.h"
#include "text/text_helpers.h"
#include "threads/handle.h"

namespace {

WideText RecordPath(const Text& folder) {
    return FileSystemPath(EnsureTrailingBackslash(folder) + kAlbumRecordFileName);
}

bool ReadExactly(HANDLE file, char* into, DWORD bytes) {
    DWORD got = 0;
    return ReadFile(file, into, bytes, &got, nullptr) && got == bytes;
}

bool WriteWhole(HANDLE file, const Text& bytes) {
    DWORD wrote = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
           wrote == bytes.size();
}

// What must go before the new line: the version line when the record is empty (or was started
// over because it could not be read), a LF when a torn line ends it, else nothing.
bool PrepareForAppend(HANDLE file, Text& prefix) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) return false;
    const Text version = kAlbumRecordVersionLine;
    Text head(version.size(), '\0');
    const bool readable = static_cast<std::uint64_t>(size.QuadPart) >= version.size() &&
                          static_cast<std::uint64_t>(size.QuadPart) <= kMaxAlbumRecordBytes &&
                          ReadExactly(file, head.data(), static_cast<DWORD>(head.size())) &&
                          head == version;
    LARGE_INTEGER at{};
    if (!readable) {
        prefix = version;
        return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    }
    char last = 0;
    at.QuadPart = size.QuadPart - 1;
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !ReadExactly(file, &last, 1)) {
        return false;
    }
    prefix = last == '\n' ? Text() : Text("\n");
    return true;
}

}  // namespace

AlbumFolderRecord LoadAlbumRecord(const Text& folder, const Text& ownerId, const Text& albumId) {
    AlbumFolderRecord none;
    none.ownerId = ownerId;
    none.albumId = albumId;
    const WideText path = RecordPath(folder);
    if (path.empty()) return none;
    UniqueHandle file(CreateFileW(WinStr(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.Get(), &size) ||
        static_cast<std::uint64_t>(size.QuadPart) > kMaxAlbumRecordBytes) {
        return none;
    }
    Text bytes(static_cast<size_t>(size.QuadPart), '\0');
    if (!bytes.empty() &&
        !ReadExactly(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()))) {
        return none;
    }
    return ParseAlbumRecord(bytes, ownerId, albumId);
}

bool AppendToAlbumRecord(const Text& folder, const Text& ownerId, const Text& albumId,
                         const RecordedPicture& picture) {
    return AppendLinesToAlbumRecord(folder, FormatAlbumRecordLine(ownerId, albumId, picture));
}

bool AppendLinesToAlbumRecord(const Text& folder, const Text& line) {
    const WideText path = RecordPath(folder);
    if (line.empty() || path.empty()) return false;
    // The workers of a run append to the same records; a line must go in whole, after the last.
    static std::mutex appends;
    std::lock_guard<std::mutex> turn(appends);
    // Another window may download the same album: both keep the record open for writing, and
    // take turns through a lock on the file, which the system drops with the handle.
    UniqueHandle file(CreateFileW(WinStr(path), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file) return false;
    OVERLAPPED whole{};
    if (!LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        return false;
    }
    Text prefix;
    LARGE_INTEGER end{};
    const bool appended = PrepareForAppend(file.Get(), prefix) &&
                          SetFilePointerEx(file.Get(), end, nullptr, FILE_END) &&
                          WriteWhole(file.Get(), prefix + line);
    UnlockFileEx(file.Get(), 0, MAXDWORD, MAXDWORD, &whole);
    return appended;
}

bool AlreadyThere(const AlbumFolderRecord& record, const Text& picName, const Text& size,
                  const Text& folder) {
    const RecordedPicture* picture = FindRecorded(record, picName, size);
    if (picture == nullptr) return false;
    const Text album = EnsureTrailingBackslash(folder);
    const Text path = album + picture->fileName;
    if (!IsInsideFolder(album, path)) return false;
    const WideText wide = FileSystemPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (wide.empty() || !GetFileAttributesExW(WinStr(wide), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    const std::uint64_t length =
        (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return length == picture->length;
}
