#include "app/download/download_run.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <string_view>
#include <vector>

#include "app/download/long_path.h"
#include "app/download/picture_file.h"
#include "text/text_helpers.h"
#include "threads/handle.h"

namespace {

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

}  // namespace

DownloadRun::DownloadRun(unsigned id, std::shared_ptr<FlowToken> token, PictureSize size)
    : id_(id), token_(std::move(token)), size_(size) {}

std::shared_ptr<const AlbumContext> AlbumContext::Make(const Text& albumFolder,
                                                       const Text& partFolder, PictureSize size) {
    auto album = std::make_shared<AlbumContext>();
    album->albumFolder = albumFolder;
    album->partFolder = partFolder.empty() ? albumFolder : partFolder;
    album->size = size;
    album->albumForm = FileSystemPath(album->albumFolder);
    album->partForm = FileSystemPath(album->partFolder);
    return album;
}

std::shared_ptr<AlbumContext> AlbumContext::Make(const Text& albumFolder, const Text& partFolder,
                                                 PictureSize size, const Text& ownerId,
                                                 const Text& albumId) {
    auto album = std::const_pointer_cast<AlbumContext>(Make(albumFolder, partFolder, size));
    album->ownerId = ownerId;
    album->albumId = albumId;
    return album;
}

void AlbumContext::NoteAlreadyThere(const AlbumFolderRecord& record) {
    // In the order written, so a picture recorded twice keeps its latest line: the file there is
    // the last one written, at whichever size that was.
    std::unordered_map<std::string_view, const RecordedPicture*> latest;
    for (const RecordedPicture& picture : record.pictures) latest[picture.picName] = &picture;
    // A smaller size never replaces a picture already there at a larger one.
    for (auto it = latest.begin(); it != latest.end();) {
        const std::optional<PictureSize> had = SizeForSegment(it->second->size);
        it = had && ServesFor(*had, size) ? std::next(it) : latest.erase(it);
    }
    if (latest.empty()) return;
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
    alreadyThere.reserve(byFile.size());
    ForEachFile(albumForm, [&](std::u16string_view name, std::uint64_t length) {
        const auto [first, end] = byFile.equal_range(name);
        for (auto it = first; it != end; ++it) {
            if (it->second->length == length)
                alreadyThere.emplace(it->second->picName, it->second->fileName);
        }
    });
}

bool AlbumContext::AlreadyInFolder(const Text& picName, const Text& fileName) const {
    const auto found = alreadyThere.find(picName);
    // A record line that points the photo at another photo's file is not taken at its word, nor
    // is a file of the right length that holds no picture (zeros a power cut left).
    return found != alreadyThere.end() && found->second == fileName &&
           BeginsLikePicture(PathInAlbum(fileName));
}

bool AlbumContext::Record(const Text& picName, const Text& fileName, std::uint64_t length) const {
    if (ownerId.empty()) return false;
    return AppendToAlbumRecord(
        albumFolder, ownerId, albumId,
        RecordedPicture{picName, Text(VariantOf(size).segment), fileName, length});
}

WideText AlbumContext::PathInAlbum(const Text& name) const {
    return FileSystemPathIn(albumForm, name);
}

WideText AlbumContext::PathInPart(const Text& name) const {
    return FileSystemPathIn(partForm, name);
}

void AlbumContext::RemovePartFolder() const {
    if (partFolder != albumFolder) RemoveDirectoryW(WinStr(partForm));
}

void DownloadRun::SetAlbum(std::shared_ptr<const AlbumContext> album) {
    std::lock_guard<std::mutex> guard(mutex_);
    album_ = std::move(album);
}

std::shared_ptr<const AlbumContext> DownloadRun::Album() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return album_;
}

Text DownloadRun::AlbumFolder() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return album_ ? album_->albumFolder : Text();
}

void DownloadRun::NotePlace(const AlbumContext& album) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (album.number <= placeNumber_) return;
    placeNumber_ = album.number;
    place_ = album.placeText;
}

Text DownloadRun::Place() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return place_;
}

void DownloadRun::AppendPhoto(const PhotoRecord& photo, const Text& fileName) {
    std::lock_guard<std::mutex> guard(mutex_);
    photos_.push_back(ListedPhoto{photo, fileName, album_});
}

bool DownloadRun::TakePhoto(int position, ListedPhoto& out) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (position < 1 || position > static_cast<int>(photos_.size())) return false;
    out = std::move(photos_[position - 1]);
    photos_[position - 1] = ListedPhoto();
    return true;
}

void DownloadRun::ReleasePhotos() {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<ListedPhoto>().swap(photos_);
}

RunTally DownloadRun::Tally() const {
    return RunTally{downloaded_.load(),    listed_.load(),       failed_.load(), albumTotal_.load(),
                    listingFailed_.load(), backoff_.Outlasted(), already_.load()};
}

void DownloadRun::CountWritten(AlbumTally& album, bool already) {
    if (already) {
        ++album.already;
        ++already_;
    }
    ++album.downloaded;
    ++downloaded_;
}

void DownloadRun::CountFailed(AlbumTally& album) {
    ++album.failed;
    ++failed_;
}

int DownloadRun::CountListed(AlbumTally& album) {
    ++album.listed;
    return ++listed_;
}

void DownloadRun::NoteAlbumTotal(AlbumTally& album, long long total) {
    album.albumTotal = total;
    albumTotal_ += total;
}

void DownloadRun::NoteListingFailed(AlbumTally& album) {
    album.listingFailed = true;
    listingFailed_ = true;
}

bool DownloadRun::FirstOfError(unsigned long code) {
    std::lock_guard<std::mutex> guard(mutex_);
    return errorsSeen_.insert(code).second;
}

void DownloadRun::Settle() {
    std::lock_guard<std::mutex> guard(mutex_);
    ++settled_;
    if (listingDone_ && settled_ >= listed_.load()) settledChanged_.notify_all();
}

void DownloadRun::ListingDone() {
    std::lock_guard<std::mutex> guard(mutex_);
    listingDone_ = true;
    settledChanged_.notify_all();
}

bool DownloadRun::WaitSettled(unsigned timeoutMs) {
    std::unique_lock<std::mutex> guard(mutex_);
    return settledChanged_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                    [this] { return listingDone_ && settled_ >= listed_.load(); });
}

std::shared_ptr<DownloadRun> RunBoard::Begin(std::shared_ptr<FlowToken> token, PictureSize size) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (latest_) latest_->RequestStop();
    latest_ = std::make_shared<DownloadRun>(nextId_++, std::move(token), size);
    return latest_;
}

std::shared_ptr<DownloadRun> RunBoard::Latest() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return latest_;
}

bool RunBoard::IsCurrent(const DownloadRun& run) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return latest_.get() == &run && !run.StopRequested();
}

bool RunBoard::UnderWay() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return latest_ && !latest_->StopRequested() && !latest_->Finished();
}

void RunBoard::StopAll() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (latest_) latest_->RequestStop();
}
