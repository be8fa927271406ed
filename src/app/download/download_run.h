#pragma once
// One download run and the board that knows which run is current. A run is the model of the
// download: its albums, the photos listed from them, the positions its jobs claim and one set of
// counts, each album's, whose sum is the run's. A job carries its run and never looks anything up
// elsewhere, so jobs of an earlier run can never claim a later run's photos or raise its counts.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "app/download/album_folder.h"
#include "app/flow_slot.h"
#include "app/records.h"
#include "app/service/backoff.h"

// What a run's counts, or one album's, are at one moment, read together.
struct RunTally {
    int downloaded = 0;  // written, or found in the folder as recorded (already)
    int listed = 0;
    int failed = 0;               // listed photos that were not written
    long long albumTotal = 0;     // the album's own "data.total"; 0 when unknown
    bool listingFailed = false;   // a probe or page never came, even after asking again
    bool limitOutlasted = false;  // the run ended because the service never stopped limiting it
    int already = 0;              // of downloaded: found in the folder as recorded, not fetched
    int removed = 0;  // listed photos the service removed: it answers with its placeholder
};

// A photo as its job receives it.
struct ListedPhoto {
    PhotoRecord photo;
    Text fileName;  // the name its file gets in the album folder; empty: none would stay inside
    int album = 0;  // its album's number in the run
    std::shared_ptr<const AlbumFolder> folder;
};

class DownloadRun {
  public:
    DownloadRun(unsigned id, std::shared_ptr<FlowToken> token, PictureSize size);

    unsigned Id() const { return id_; }
    FlowToken& Token() const { return *token_; }
    PictureSize Size() const { return size_; }
    // The run's requests wait here while the service asks them to slow down: the listing on
    // its own, the pictures on theirs, as the service limits its site and its image hosts apart.
    RateBackoff& ListingBackoff() { return listingBackoff_; }
    RateBackoff& PictureBackoff() { return pictureBackoff_; }
    // A limit outlasted the bound on either side: the run ends.
    bool LimitOutlasted() const;
    // The pause that holds the run up, or null: the pictures', or the listing's once every photo
    // listed has settled and nothing but the listing is left to wait for.
    const RateBackoff* HoldingPause() const;

    // The driver lists the next album, its folders made: photos listed from now on are its. place
    // is how the status line names it in a run over several albums (empty otherwise); while no
    // job has work it is the album in hand at once. Its number in the run (from 1).
    int AddAlbum(std::shared_ptr<const AlbumFolder> folder, const Text& place = Text());
    // The folder of the album listed last; null before the first.
    std::shared_ptr<const AlbumFolder> LatestAlbum() const;
    // The album in hand, as the status line names it beside the progress: the latest one a job
    // took a photo of, or the one listed while no job had work.
    Text Place() const;

    // One more photo of the latest album listed. Already there: counted written at once, with no
    // job; otherwise kept for the job that takes it next.
    void List(const PhotoRecord& photo, const Text& fileName, bool alreadyThere);
    // A job takes the next listed photo and the run keeps no copy: a long album's records would
    // otherwise stay in memory to the end of the run and beyond. Its position (from 1), or 0.
    int TakeNext(ListedPhoto& out);
    // How a photo of the album ended: its file written, or not (its job failed, or could not be
    // queued). Counted before the job shows the progress and then settles.
    enum class Outcome { kWritten, kFailed, kRemoved };
    void Count(int album, Outcome outcome);
    // A job that ended, counted or not (a job of a run that is over counts nothing).
    void Settle();
    // What the listing learnt of an album: its own total ("data.total"), or nullopt when a probe
    // or page could not be had even after asking again.
    void NoteListed(int album, std::optional<long long> total);
    // The counts of one album (its number), or of the whole run (0).
    RunTally Tally(int album = 0) const;

    // The driver has listed its last photo.
    void ListingDone();
    // Waits up to timeoutMs for every listed photo to settle after ListingDone; true when they
    // have, and the list is spent then (the counts stay for the final status). The run's end is
    // seen the moment its last job settles, not at a later poll.
    [[nodiscard]] bool WaitSettled(unsigned timeoutMs);

    // The final status was shown (window thread): the run is over and later progress updates
    // must not replace it.
    bool Finished() const;
    void MarkFinished();

  private:
    struct Album {
        std::shared_ptr<const AlbumFolder> folder;
        Text place;
        RunTally counts;
    };
    // Under mutex_: the counts of every album added up; whether every listed photo settled.
    RunTally SumOfAlbums() const;
    bool AllSettled() const;

    const unsigned id_;
    const std::shared_ptr<FlowToken> token_;
    const PictureSize size_;
    RateBackoff listingBackoff_;
    RateBackoff pictureBackoff_;

    mutable std::mutex mutex_;
    std::vector<Album> albums_;
    size_t inHand_ = 0;  // the album the status line names (an index of albums_)
    std::vector<ListedPhoto> photos_;
    int claimed_ = 0;
    int settled_ = 0;
    bool listingDone_ = false;
    bool finished_ = false;
    std::condition_variable settledChanged_;
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
    void NumberFrom(unsigned first) {
        std::lock_guard<std::mutex> guard(mutex_);
        nextId_ = first;
    }

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<DownloadRun> latest_;
    unsigned nextId_ = 1;
};
