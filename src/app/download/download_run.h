#pragma once
// One download run and the board that knows which run is current. A run owns everything its
// jobs need (its photo list with each photo's album, its counters, its token), so a job carries
// its run and never looks anything up elsewhere, and jobs of an earlier run can never claim a
// later run's photos or raise its counts.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_set>
#include <vector>

#include "app/download/album_record.h"
#include "app/service/backoff.h"
#include "app/flow_slot.h"
#include "app/records.h"

// What a run's counts are at one moment, read together.
struct RunTally {
    int downloaded = 0;
    int listed = 0;
    int failed = 0;               // listed photos that were not written
    long long albumTotal = 0;     // the album's own "data.total"; 0 when unknown
    bool listingFailed = false;   // a probe or page never came, even after asking again
    bool limitOutlasted = false;  // the run ended because the service never stopped limiting it
    int already = 0;              // of downloaded: found in the folder as recorded, not fetched
};

// One album's share of a run's counts; a run over the whole account names each album's.
struct AlbumTally {
    std::atomic<int> downloaded{0};
    std::atomic<int> listed{0};
    std::atomic<int> failed{0};
    std::atomic<long long> albumTotal{0};
    std::atomic<bool> listingFailed{false};
    std::atomic<int> already{0};
    RunTally Read() const {
        return RunTally{downloaded.load(),    listed.load(), failed.load(), albumTotal.load(),
                        listingFailed.load(), false,         already.load()};
    }
};

// Where one album's pictures go and at which size. Fixed once the album's folders exist, and
// carried by every photo listed from it, so a job needs nothing of the album but this.
struct AlbumContext {
    // Pictures are written to partFolder first and then renamed into albumFolder: beside it, on
    // the same volume, so that a big album folder is searched once per picture (for the final
    // name) rather than twice. Empty partFolder: the album folder itself.
    static std::shared_ptr<const AlbumContext> Make(const Text& albumFolder, const Text& partFolder,
                                                    PictureSize size);
    // The same for the owner's album, whose pictures are recorded in its folder.
    static std::shared_ptr<AlbumContext> Make(const Text& albumFolder, const Text& partFolder,
                                              PictureSize size, const Text& ownerId,
                                              const Text& albumId);
    // Takes what the folder's record says was written into it, checked against the folder's
    // files; before the driver asks AlreadyInFolder of the first photo.
    void NoteAlreadyThere(const AlbumFolderRecord& record);

    // The picture as recorded at this album's size, when its file was there as written when the
    // album's run began: it need not be fetched again.
    bool AlreadyInFolder(const Text& picName) const;
    // Adds a picture just written to the folder's record; false when it could not be recorded.
    [[nodiscard]] bool Record(const Text& picName, const Text& fileName,
                              std::uint64_t length) const;

    // The file-system form of a file in either folder; the folders' own forms are made once,
    // here, not for every picture.
    WideText PathInAlbum(const Text& name) const;
    WideText PathInPart(const Text& name) const;
    // The folder of pictures under way goes with the run that needed it; one that still holds
    // another run's pictures stays (removing a folder that is not empty fails).
    void RemovePartFolder() const;

    Text albumFolder;
    Text partFolder;  // the album folder itself when no part folder could be made
    PictureSize size = kDefaultSize;
    WideText albumForm;
    WideText partForm;
    Text ownerId;  // empty: no record is kept (nothing is skipped, nothing recorded)
    Text albumId;
    // The picture names whose latest record at this album's size names a file in the folder
    // with the recorded length: a set, as every photo of a big album looks here once.
    std::unordered_set<Text> alreadyThere;
    std::shared_ptr<AlbumTally> tally = std::make_shared<AlbumTally>();
    // In a run over several albums: its place in the run (from 1) and how the status line
    // names it; 0 and empty otherwise.
    int number = 0;
    Text placeText;
};

// A photo as its job receives it.
struct ListedPhoto {
    PhotoRecord photo;
    std::shared_ptr<const AlbumContext> album;
};

class DownloadRun {
  public:
    DownloadRun(unsigned id, std::shared_ptr<FlowToken> token, PictureSize size);

    unsigned Id() const { return id_; }
    bool StopRequested() const { return token_->StopRequested(); }
    void RequestStop() { token_->RequestStop(); }
    const FlowToken& Token() const { return *token_; }
    PictureSize Size() const { return size_; }

    // The album being listed, set by the driver once its folders exist and before its first
    // photo is appended; photos appended later go with it.
    void SetAlbum(std::shared_ptr<const AlbumContext> album);
    std::shared_ptr<const AlbumContext> Album() const;
    // The folder of the album listed last; empty before the first.
    Text AlbumFolder() const;

    // A run over several albums: the album in hand (the latest one a job took a photo of, or
    // the one listed while no job has work) as the status line names it beside the progress,
    // and the photos the catalogue counts in them all, so the taskbar shows the whole run from
    // its start rather than what is listed so far.
    void NotePlace(const AlbumContext& album);
    Text Place() const;
    void NotePlanned(int photos) { planned_ = photos; }
    int Planned() const { return planned_.load(); }

    // Appended by the driver while jobs copy entries out; storage may move, so both sides lock.
    void AppendPhoto(const PhotoRecord& photo);
    // Hands the photo at a claimed position to its job and keeps no copy: a long album's
    // records would otherwise stay in memory to the end of the run and beyond.
    bool TakePhoto(int position, ListedPhoto& out);  // 1-based
    // At the end of the run: the list is spent (the counters stay for the final status).
    void ReleasePhotos();

    // A job takes the next listed position to fetch (1-based).
    int ClaimNext() { return ++claimed_; }
    // The photo's file was written, or found already there as recorded (already).
    void CountWritten(AlbumTally& album, bool already = false);
    // A listed photo that will not be written (its job failed or was refused).
    void CountFailed(AlbumTally& album);
    // The driver listed one more photo of the album; its position in the run (1-based).
    int CountListed(AlbumTally& album);
    // What the listing learnt: the album's own total ("data.total"); a run over several albums
    // adds theirs up.
    void NoteAlbumTotal(AlbumTally& album, long long total);
    // A probe or page could not be had even after asking again.
    void NoteListingFailed(AlbumTally& album);
    RunTally Tally() const;

    // Every request of the run waits here while the service asks us to slow down.
    RateBackoff& Backoff() { return backoff_; }
    const RateBackoff& Backoff() const { return backoff_; }

    // True the first time the run meets this error code: one box per kind of failure, not one
    // per photo when a whole folder is unusable.
    bool FirstOfError(unsigned long code);

    // A job that finished, written or not.
    void Settle();
    // The driver has queued its last job.
    void ListingDone();
    // Waits up to timeoutMs for every listed job to settle after ListingDone; true when they
    // have. The run's end is seen the moment its last job settles, not at a later poll.
    [[nodiscard]] bool WaitSettled(unsigned timeoutMs);

    // The final status was shown (window thread): later progress updates must not replace it.
    bool Finished() const { return finished_.load(); }
    void MarkFinished() { finished_.store(true); }

    // One progress update on its way to the window at a time: true when the caller should send
    // one; the update calls ProgressShown() with the tick count when it reads the counts.
    bool TakeProgressTurn() { return !progressPending_.exchange(true); }
    void ProgressShown(unsigned long long tick) {
        lastShownTick_.store(tick);
        progressPending_.store(false);
    }
    unsigned long long LastProgressTick() const { return lastShownTick_.load(); }
    // A count that changed too soon after the last one shown waits here for the driver.
    void MarkProgressDue() { progressDue_.store(true); }
    bool TakeProgressDue() { return progressDue_.exchange(false); }

  private:
    const unsigned id_;
    const std::shared_ptr<FlowToken> token_;
    const PictureSize size_;

    mutable std::mutex mutex_;
    std::shared_ptr<const AlbumContext> album_;
    Text place_;
    int placeNumber_ = 0;
    std::vector<ListedPhoto> photos_;
    std::set<unsigned long> errorsSeen_;
    int settled_ = 0;
    bool listingDone_ = false;
    std::condition_variable settledChanged_;

    std::atomic<int> downloaded_{0};
    std::atomic<int> listed_{0};
    std::atomic<int> claimed_{0};
    std::atomic<int> failed_{0};
    std::atomic<int> already_{0};
    std::atomic<int> planned_{0};
    std::atomic<long long> albumTotal_{0};
    std::atomic<bool> listingFailed_{false};
    RateBackoff backoff_;

    std::atomic<bool> finished_{false};
    std::atomic<bool> progressPending_{false};
    std::atomic<bool> progressDue_{false};
    std::atomic<unsigned long long> lastShownTick_{0};
};

// Which run is current: the latest one begun, until it is stopped.
class RunBoard {
  public:
    // Window thread, at "下载选中": retires the current run and begins the next with the size
    // chosen now; the run keeps it to its end.
    std::shared_ptr<DownloadRun> Begin(std::shared_ptr<FlowToken> token, PictureSize size);
    std::shared_ptr<DownloadRun> Latest() const;
    bool IsCurrent(const DownloadRun& run) const;
    // True from the start of a run to its final status (a stopped run is not under way).
    bool UnderWay() const;
    void StopAll();

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<DownloadRun> latest_;
    unsigned nextId_ = 1;
};
