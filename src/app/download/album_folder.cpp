#include "app/download/album_folder.h"

#include <shlwapi.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/download/album_record.h"
#include "app/download/file_naming.h"
#include "app/download/long_path.h"
#include "app/service/picture_bytes.h"
#include "text/text_helpers.h"
#include "threads/handle.h"

namespace {

// Beside the owner's album folders. An album that carries this very name only has its pictures
// written and renamed within one folder, as every album did before.
constexpr char kPartFolderName[] = "~pictalon-parts";

bool IsFolder(const Text& path) {
    const WideText w = FileSystemPath(path);
    return !w.empty() && PathIsDirectoryW(WinStr(w));
}

void MakeFolder(const Text& path) {
    if (!IsFolder(path)) CreateDirectoryW(WinStr(FileSystemPath(path)), nullptr);
}

// Hands each plain file directly in a folder to `each` with its length, in the file system's
// form of its name. The folder is read in one pass, a large batch of entries a call: a look at
// each picture's file instead would cost a call per photo, which an update of a big album where
// nothing changed would spend most of its time on.
void ForEachFile(const WideText& folderForm,
                 const std::function<void(std::u16string_view, std::uint64_t)>& each) {
    if (folderForm.empty()) return;
    // The folder itself, not a path into it: without its closing separator (a drive's root
    // keeps it).
    WideText path = folderForm;
    if (path.size() > 3 && path.back() == u'\\' && path[path.size() - 2] != u':') path.pop_back();
    const UniqueHandle folder(CreateFileW(
        WinStr(path), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) return;
    // 256 KiB: well over a thousand pictures' entries a call; 8-byte aligned as entries are.
    std::vector<std::uint64_t> batch(256 * 1024 / sizeof(std::uint64_t));
    const DWORD bytes = static_cast<DWORD>(batch.size() * sizeof(std::uint64_t));
    for (FILE_INFO_BY_HANDLE_CLASS kind = FileFullDirectoryRestartInfo;
         GetFileInformationByHandleEx(folder.Get(), kind, batch.data(), bytes);
         kind = FileFullDirectoryInfo) {
        const char* at = reinterpret_cast<const char*>(batch.data());
        for (;;) {
            const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(at);
            if ((entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                each(std::u16string_view(reinterpret_cast<const char16_t*>(entry->FileName),
                                         entry->FileNameLength / sizeof(char16_t)),
                     static_cast<std::uint64_t>(entry->EndOfFile.QuadPart));
            }
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
    }
}

// The record's file (album_record.h tells its form).

WideText RecordPath(const Text& folder) {
    return FileSystemPath(EnsureTrailingBackslash(folder) + kAlbumRecordFileName);
}

bool ReadExactly(HANDLE file, char* into, DWORD bytes) {
    DWORD got = 0;
    return ReadFile(file, into, bytes, &got, nullptr) && got == bytes;
}

bool WriteWhole(HANDLE file, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD wrote = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0)
            return false;
        done += wrote;
    }
    return true;
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

// Missing, unreadable or too large: an empty record, so everything is fetched.
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

void SetPhotoTime(HANDLE file, std::int32_t timestamp) {
    // FILETIME counts 100 ns steps from 1601-01-01; every 32-bit timestamp lies after that.
    constexpr std::int64_t kUnixEpochInFileTimeSeconds = 11644473600;
    const auto ticks =
        static_cast<std::uint64_t>((timestamp + kUnixEpochInFileTimeSeconds) * 10000000);
    FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SetFileTime(file, nullptr, nullptr, &written);
}

// True when the file begins as a picture does (JPEG, PNG, GIF, WebP, BMP).
bool BeginsLikePicture(const WideText& path) {
    if (path.empty()) return false;
    UniqueHandle file(CreateFileW(WinStr(path), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    ByteBuffer head(32, '\0');
    DWORD got = 0;
    if (!file || !ReadFile(file.Get(), head.data(), static_cast<DWORD>(head.size()), &got, nullptr))
        return false;
    head.resize(got);
    return LooksLikePicture(head);
}

}  // namespace

std::shared_ptr<AlbumFolder> AlbumFolder::Make(const Text& saveFolder, const Text& ownerNick,
                                               const Text& ownerId, const AlbumRecord& album,
                                               PictureSize size) {
    const Text userFolder = EnsureTrailingBackslash(saveFolder + SafeName(ownerNick));
    MakeFolder(userFolder);
    const Text albumFolder = EnsureTrailingBackslash(userFolder + SafeName(album.caption));
    MakeFolder(albumFolder);
    const Text partFolder = EnsureTrailingBackslash(userFolder + kPartFolderName);
    MakeFolder(partFolder);
    return std::make_shared<AlbumFolder>(albumFolder, IsFolder(partFolder) ? partFolder : Text(),
                                         size, ownerId, album.albumId);
}

AlbumFolder::AlbumFolder(const Text& albumFolder, const Text& partFolder, PictureSize size,
                         const Text& ownerId, const Text& albumId)
    : albumFolder_(albumFolder),
      partFolder_(partFolder.empty() ? albumFolder : partFolder),
      size_(size),
      albumForm_(FileSystemPath(albumFolder_)),
      partForm_(FileSystemPath(partFolder_)),
      ownerId_(ownerId),
      albumId_(albumId) {}

std::vector<ListedPhotoEntry> AlbumFolder::ReadRecord() {
    if (ownerId_.empty()) return {};
    AlbumFolderRecord record = LoadAlbumRecord(albumFolder_, ownerId_, albumId_);
    recorded_ = std::move(record.pictures);
    return std::move(record.listing);
}

size_t AlbumFolder::ReadWhatIsThere() {
    const std::vector<RecordedPicture> recorded = std::move(recorded_);
    recorded_ = {};
    // In the order written, so a picture recorded twice keeps its latest line: the file there
    // is the last one written, at whichever size that was.
    std::unordered_map<std::string_view, const RecordedPicture*> latest;
    for (const RecordedPicture& picture : recorded) latest[picture.picName] = &picture;
    for (auto it = latest.begin(); it != latest.end();) {
        const std::optional<PictureSize> had = SizeForSegment(it->second->size);
        it = had && ServesFor(*had, size_) ? std::next(it) : latest.erase(it);
    }
    if (latest.empty()) return 0;
    // Looked up by the name the folder gives back, so none of its names needs converting. The
    // names are reserved for in full first: the map keeps views of them.
    std::vector<WideText> names;
    names.reserve(latest.size());
    std::unordered_multimap<std::u16string_view, const RecordedPicture*> byFile;
    byFile.reserve(latest.size());
    for (const auto& [picName, picture] : latest) {
        names.push_back(AnsiToWide(picture->fileName));
        if (!names.back().empty()) byFile.emplace(names.back(), picture);
    }
    alreadyThere_.reserve(byFile.size());
    ForEachFile(albumForm_, [&](std::u16string_view name, std::uint64_t length) {
        const auto [first, end] = byFile.equal_range(name);
        for (auto it = first; it != end; ++it) {
            if (it->second->length == length)
                alreadyThere_.emplace(it->second->picName, it->second->fileName);
        }
    });
    return alreadyThere_.size();
}

bool AlbumFolder::AlreadyThere(const Text& picName, const Text& fileName) const {
    const auto found = alreadyThere_.find(picName);
    // A record line that points the photo at another photo's file is not taken at its word,
    // nor is a file of the right length that holds no picture (zeros a power cut left).
    return found != alreadyThere_.end() && found->second == fileName &&
           BeginsLikePicture(FileSystemPathIn(albumForm_, fileName));
}

void AlbumFolder::ForgetWhatIsThere() {
    std::unordered_map<Text, Text>().swap(alreadyThere_);
}

Text AlbumFolder::FileNameOf(const PhotoRecord& photo) const {
    const Text name = PictureFileName(photo.timestamp, photo.caption, photo.picName);
    return IsInsideFolder(albumFolder_, albumFolder_ + name) ? name : Text();
}

DWORD AlbumFolder::Write(const PhotoRecord& photo, const Text& fileName, const ByteBuffer& body,
                         const Text& tempName, const FlowToken& token) const {
    const WideText temp = FileSystemPathIn(partForm_, tempName);
    const WideText final = FileSystemPathIn(albumForm_, fileName);
    DWORD err = ERROR_CANCELLED;
    // The folder of pictures under way is shared with other runs and other processes that
    // download the same owner; the one that ends removes it if it is empty at that moment. Made
    // again, by this job or another that met the same, and the write tried again; a folder
    // removed while the file was being made reads as a missing file, not a path.
    for (int again = 0; !token.StopRequested(); ++again) {
        err = WriteOnce(temp, final, body, token, photo.timestamp);
        const bool folderGone = err == ERROR_PATH_NOT_FOUND || err == ERROR_FILE_NOT_FOUND;
        if (!folderGone || again == 2 || partFolder_ == albumFolder_ || token.StopRequested())
            break;
        if (!CreateDirectoryW(WinStr(partForm_), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    // Only once the file is there under its name: a record never promises a picture that is
    // not in the folder.
    if (err == 0 && !Record(photo.picName, fileName, body.size())) ++unrecorded_;
    return err;
}

DWORD AlbumFolder::WriteOnce(const WideText& temp, const WideText& final, const ByteBuffer& body,
                             const FlowToken& token, std::int32_t photoTime) const {
    if (temp.empty() || final.empty()) return ERROR_INVALID_NAME;
    {
        UniqueHandle file(CreateFileW(WinStr(temp), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_ARCHIVE, nullptr));
        if (!file) return GetLastError();
        if (!WriteWhole(file.Get(), body)) {
            const DWORD err = GetLastError();
            file.Reset();
            DeleteFileW(WinStr(temp));
            return err ? err : ERROR_WRITE_FAULT;
        }
        // On the temporary file, whose handle is ours alone: a handle opened on the final name
        // afterwards could meet another photo of the same name being renamed over it. The
        // rename keeps the time.
        if (photoTime > 0) SetPhotoTime(file.Get(), photoTime);
        // The rename may reach the disk before the bytes do: after a power cut the final name
        // would stand over zeros of the right length, which the record takes for the picture.
        if (!FlushFileBuffers(file.Get())) {
            const DWORD err = GetLastError();
            file.Reset();
            DeleteFileW(WinStr(temp));
            return err ? err : ERROR_WRITE_FAULT;
        }
    }
    if (token.StopRequested()) {
        DeleteFileW(WinStr(temp));
        return ERROR_CANCELLED;
    }
    // Two photos may share a final name; replacing a file that another job is replacing at the
    // same moment fails, so renames take turns (they are quick).
    static std::mutex renameTurns;
    std::unique_lock<std::mutex> turn(renameTurns);
    if (!MoveFileExW(WinStr(temp), WinStr(final),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD err = GetLastError();
        DeleteFileW(WinStr(temp));
        return err;
    }
    return 0;
}

// Appended to the record, made (hidden) when there is none and started over when what is there
// is not a record this version can read.
bool AlbumFolder::Record(const Text& picName, const Text& fileName, std::uint64_t length) const {
    if (ownerId_.empty()) return false;
    const Text line = FormatAlbumRecordLine(
        ownerId_, albumId_,
        RecordedPicture{picName, Text(VariantOf(size_).segment), fileName, length});
    return Append(line);
}

bool AlbumFolder::RecordListing(const Text& lines) const {
    return !ownerId_.empty() && Append(lines);
}

bool AlbumFolder::Append(const Text& lines) const {
    const WideText path = RecordPath(albumFolder_);
    if (lines.empty() || path.empty()) return false;
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
                          WriteWhole(file.Get(), prefix + lines);
    UnlockFileEx(file.Get(), 0, MAXDWORD, MAXDWORD, &whole);
    return appended;
}

void AlbumFolder::RemovePartFolder() const {
    if (partFolder_ != albumFolder_) RemoveDirectoryW(WinStr(partForm_));
}

void AlbumFolder::RemoveEmptyPartFolders(const Text& saveFolder) {
    const WideText form = FileSystemPath(EnsureTrailingBackslash(saveFolder));
    if (saveFolder.empty() || form.empty()) return;
    const WideText partName = AnsiToWide(kPartFolderName);
    WIN32_FIND_DATAW found{};
    const FindHandle search(FindFirstFileW(WinStr(FileSystemPathIn(form, "*")), &found));
    if (!search) return;
    do {
        const WideText name = reinterpret_cast<const char16_t*>(found.cFileName);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || name == u"." ||
            name == u"..")
            continue;
        // Removing a folder that still holds something fails, and so leaves it alone.
        RemoveDirectoryW(WinStr(form + name + u"\\" + partName));
    } while (FindNextFileW(search.Get(), &found));
}
