#include "app/download_run.h"

#include <windows.h>

#include <chrono>

#include "app/long_path.h"
#include "text/text_helpers.h"

namespace {

// The plain files directly in a folder with their lengths, read in one pass: a look at each
// picture's file instead would cost a call per photo, which an update of a big album where
// nothing changed would spend most of its time on.
std::unordered_map<Text, std::uint64_t> FilesWithLengths(const WideText& folderForm) {
    std::unordered_map<Text, std::uint64_t> files;
    if (folderForm.empty()) return files;
    WideText pattern = folderForm;
    if (pattern.back() != u'\\') pattern += u'\\';
    pattern += u'*';
    WIN32_FIND_DATAW data{};
    const HANDLE find = FindFirstFileExW(WinStr(pattern), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        const WideText name(reinterpret_cast<const char16_t*>(data.cFileName));
        files[WideToAnsi(name)] =
            (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return files;
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
    const Text segment(VariantOf(size).segment);
    // In the order written, so a picture recorded twice keeps its latest line.
    std::unordered_map<Text, const RecordedPicture*> latest;
    for (const RecordedPicture& picture : record.pictures) {
        if (picture.size == segment) latest[picture.picName] = &picture;
    }
    if (latest.empty()) return;
    const std::unordered_map<Text, std::uint64_t> files = FilesWithLengths(albumForm);
    for (const auto& [picName, picture] : latest) {
        const auto file = files.find(picture->fileName);
        if (file != files.end() && file->second == picture->length) alreadyThere.insert(picName);
    }
}

bool AlbumContext::AlreadyInFolder(const Text& picName) const {
    return alreadyThere.count(picName) != 0;
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

void DownloadRun::AppendPhoto(const PhotoRecord& photo) {
    std::lock_guard<std::mutex> guard(mutex_);
    photos_.push_back(ListedPhoto{photo, album_});
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
