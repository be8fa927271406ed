#include "app/download_run.h"

#include <chrono>

#include "app/long_path.h"

DownloadRun::DownloadRun(unsigned id, std::shared_ptr<FlowToken> token, PictureSize size)
    : id_(id), token_(std::move(token)), size_(size) {}

Text DownloadRun::AlbumFolder() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return albumFolder_;
}

void DownloadRun::SetAlbumFolder(const Text& folder) {
    std::lock_guard<std::mutex> guard(mutex_);
    albumFolder_ = folder;
    albumForm_ = FileSystemPath(folder);
}

Text DownloadRun::PartFolder() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return partFolder_.empty() ? albumFolder_ : partFolder_;
}

void DownloadRun::SetPartFolder(const Text& folder) {
    std::lock_guard<std::mutex> guard(mutex_);
    partFolder_ = folder;
    partForm_ = FileSystemPath(folder);
}

WideText DownloadRun::PathInAlbum(const Text& name) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return FileSystemPathIn(albumForm_, name);
}

WideText DownloadRun::PathInPart(const Text& name) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return FileSystemPathIn(partFolder_.empty() ? albumForm_ : partForm_, name);
}

void DownloadRun::AppendPhoto(const PhotoRecord& photo) {
    std::lock_guard<std::mutex> guard(mutex_);
    photos_.push_back(photo);
}

bool DownloadRun::TakePhoto(int position, PhotoRecord& out) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (position < 1 || position > static_cast<int>(photos_.size())) return false;
    out = std::move(photos_[position - 1]);
    photos_[position - 1] = PhotoRecord();
    return true;
}

void DownloadRun::ReleasePhotos() {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<PhotoRecord>().swap(photos_);
}

RunTally DownloadRun::Tally() const {
    return RunTally{downloaded_.load(), listed_.load(), failed_.load(), albumTotal_.load(),
                    listingFailed_.load()};
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
