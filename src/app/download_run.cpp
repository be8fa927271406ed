#include "app/download_run.h"

#include <chrono>

DownloadRun::DownloadRun(unsigned id, std::shared_ptr<FlowToken> token, Text sizeSegment)
    : id_(id), token_(std::move(token)), sizeSegment_(std::move(sizeSegment)) {}

Text DownloadRun::AlbumFolder() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return albumFolder_;
}

void DownloadRun::SetAlbumFolder(const Text& folder) {
    std::lock_guard<std::mutex> guard(mutex_);
    albumFolder_ = folder;
}

Text DownloadRun::PartFolder() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return partFolder_.empty() ? albumFolder_ : partFolder_;
}

void DownloadRun::SetPartFolder(const Text& folder) {
    std::lock_guard<std::mutex> guard(mutex_);
    partFolder_ = folder;
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

bool DownloadRun::FirstOfError(unsigned long code) {
    std::lock_guard<std::mutex> guard(mutex_);
    return errorsSeen_.insert(code).second;
}

void DownloadRun::Settle() {
    std::lock_guard<std::mutex> guard(mutex_);
    ++settled_;
    if (listingDone_ && settled_ >= listedCount.load()) settledChanged_.notify_all();
}

void DownloadRun::ListingDone() {
    std::lock_guard<std::mutex> guard(mutex_);
    listingDone_ = true;
    settledChanged_.notify_all();
}

bool DownloadRun::WaitSettled(unsigned timeoutMs) {
    std::unique_lock<std::mutex> guard(mutex_);
    return settledChanged_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] {
        return listingDone_ && settled_ >= listedCount.load();
    });
}

std::shared_ptr<DownloadRun> RunBoard::Begin(std::shared_ptr<FlowToken> token,
                                             const Text& sizeSegment) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (latest_) latest_->RequestStop();
    latest_ = std::make_shared<DownloadRun>(nextId_++, std::move(token), sizeSegment);
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
