#include "app/download_run.h"

#include <windows.h>

#include <chrono>

#include "app/long_path.h"

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
    return RunTally{downloaded_.load(), listed_.load(),        failed_.load(),
                    albumTotal_.load(), listingFailed_.load(), backoff_.Outlasted()};
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
