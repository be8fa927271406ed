#include "app/download/download_run.h"

#include <chrono>

DownloadRun::DownloadRun(unsigned id, std::shared_ptr<FlowToken> token, PictureSize size)
    : id_(id), token_(std::move(token)), size_(size) {}

int DownloadRun::AddAlbum(std::shared_ptr<const AlbumFolder> folder, const Text& place) {
    std::lock_guard<std::mutex> guard(mutex_);
    const RunTally sofar = SumOfAlbums();
    albums_.push_back(Album{std::move(folder), place, RunTally{}});
    if (sofar.downloaded + sofar.failed == sofar.listed) inHand_ = albums_.size() - 1;
    return static_cast<int>(albums_.size());
}

std::shared_ptr<const AlbumFolder> DownloadRun::LatestAlbum() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return albums_.empty() ? nullptr : albums_.back().folder;
}

Text DownloadRun::Place() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return albums_.empty() ? Text() : albums_[inHand_].place;
}

void DownloadRun::List(const PhotoRecord& photo, const Text& fileName, bool alreadyThere) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (albums_.empty()) return;
    RunTally& counts = albums_.back().counts;
    ++counts.listed;
    if (alreadyThere) {
        // An update of an album where nothing changed is its listing.
        ++counts.downloaded;
        ++counts.already;
        ++settled_;
        return;
    }
    photos_.push_back(
        ListedPhoto{photo, fileName, static_cast<int>(albums_.size()), albums_.back().folder});
}

int DownloadRun::TakeNext(ListedPhoto& out) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (claimed_ >= static_cast<int>(photos_.size())) return 0;
    ListedPhoto& next = photos_[claimed_++];
    out = std::move(next);
    next = ListedPhoto();
    if (out.album > 0 && static_cast<size_t>(out.album - 1) > inHand_) inHand_ = out.album - 1;
    return claimed_;
}

void DownloadRun::Count(int album, Outcome outcome) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (album < 1 || album > static_cast<int>(albums_.size())) return;
    RunTally& counts = albums_[album - 1].counts;
    ++(outcome == Outcome::kWritten   ? counts.downloaded
       : outcome == Outcome::kRemoved ? counts.removed
                                      : counts.failed);
}

void DownloadRun::Settle() {
    std::lock_guard<std::mutex> guard(mutex_);
    ++settled_;
    if (AllSettled()) settledChanged_.notify_all();
}

void DownloadRun::NoteListed(int album, std::optional<long long> total) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (album < 1 || album > static_cast<int>(albums_.size())) return;
    RunTally& counts = albums_[album - 1].counts;
    if (total) {
        counts.albumTotal = *total;
    } else {
        counts.listingFailed = true;
    }
}

RunTally DownloadRun::Tally(int album) const {
    std::lock_guard<std::mutex> guard(mutex_);
    if (album >= 1 && album <= static_cast<int>(albums_.size())) return albums_[album - 1].counts;
    RunTally tally = SumOfAlbums();
    tally.limitOutlasted = LimitOutlasted();
    return tally;
}

bool DownloadRun::LimitOutlasted() const {
    return listingBackoff_.Outlasted() || pictureBackoff_.Outlasted();
}

const RateBackoff* DownloadRun::HoldingPause() const {
    if (pictureBackoff_.Paused()) return &pictureBackoff_;
    if (!listingBackoff_.Paused()) return nullptr;
    std::lock_guard<std::mutex> guard(mutex_);
    return settled_ >= SumOfAlbums().listed ? &listingBackoff_ : nullptr;
}

void DownloadRun::ListingDone() {
    std::lock_guard<std::mutex> guard(mutex_);
    listingDone_ = true;
    settledChanged_.notify_all();
}

bool DownloadRun::WaitSettled(unsigned timeoutMs) {
    std::unique_lock<std::mutex> guard(mutex_);
    if (!settledChanged_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                  [this] { return AllSettled(); }))
        return false;
    std::vector<ListedPhoto>().swap(photos_);
    return true;
}

bool DownloadRun::Finished() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return finished_;
}

void DownloadRun::MarkFinished() {
    std::lock_guard<std::mutex> guard(mutex_);
    finished_ = true;
}

RunTally DownloadRun::SumOfAlbums() const {
    RunTally sum;
    for (const Album& album : albums_) {
        sum.downloaded += album.counts.downloaded;
        sum.listed += album.counts.listed;
        sum.failed += album.counts.failed;
        sum.albumTotal += album.counts.albumTotal;
        sum.listingFailed = sum.listingFailed || album.counts.listingFailed;
        sum.already += album.counts.already;
        sum.removed += album.counts.removed;
    }
    return sum;
}

bool DownloadRun::AllSettled() const {
    return listingDone_ && settled_ >= SumOfAlbums().listed;
}

std::shared_ptr<DownloadRun> RunBoard::Begin(std::shared_ptr<FlowToken> token, PictureSize size) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (latest_) latest_->Token().RequestStop();
    latest_ = std::make_shared<DownloadRun>(nextId_++, std::move(token), size);
    return latest_;
}

std::shared_ptr<DownloadRun> RunBoard::Latest() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return latest_;
}

bool RunBoard::IsCurrent(const DownloadRun& run) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return latest_.get() == &run && !run.Token().StopRequested();
}

bool RunBoard::UnderWay() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return latest_ && !latest_->Token().StopRequested() && !latest_->Finished();
}

void RunBoard::StopAll() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (latest_) latest_->Token().RequestStop();
}
