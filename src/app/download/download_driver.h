#pragma once
// The driver of a download run: make each album's folders, list the album page by page and hand
// out one job per photo, then show the end of the run once every job has settled. One driver per
// run; it lives on the run's own thread and, shared, in every job it queued.
#include <functional>
#include <memory>
#include <vector>

#include "app/app_state.h"
#include "app/download/album_folder.h"
#include "app/download/download_run.h"
#include "app/download/run_progress.h"
#include "app/service/service_answers.h"
#include "app/signin/signin_renewal.h"

class ListingPlan;
class PagesAhead;

// How far a run lists an album its folder's record knows: only what changed, or every page (the
// user asked for a full check).
enum class Listing { kChanges, kFullCheck };

class DownloadDriver : public std::enable_shared_from_this<DownloadDriver> {
  public:
    // Command 10000, on the window thread: starts a run for the selected album (nothing when no
    // album item is selected). The run takes the size chosen now.
    // Listing::kFullCheck lists every page, whatever the folder's record knows.
    static void StartAlbum(AppState& app, Listing listing = Listing::kChanges);
    // Command 10006, on the window thread: starts a run over every listed album of the analysed
    // owner, in list order; false (nothing happens) while a run is under way or no album is
    // listed.
    static bool StartAccount(AppState& app, Listing listing = Listing::kChanges);

    DownloadDriver(AppState& app, std::shared_ptr<DownloadRun> run);

  private:
    // What a run lists from: the album and its owner as the analysis found them.
    struct ListingSource {
        Text ownerId;
        Text albumId;
    };

    static void Start(AppState& app, Listing listing, std::function<void(DownloadDriver&)> body);
    // The run for album number albumNumber (from 1), on the driver's thread.
    void RunAlbum(int albumNumber);
    // The run over every album: they are listed one after another into the one run, so its
    // workers go from one album's pictures to the next's.
    void RunAccount();

    // Makes the album's folders and lists it, queueing a job per photo; its number in the run.
    int ListAlbum(const OwnerProfile& owner, const AlbumRecord& album, const Text& label,
                  const Text& place);
    void ListPhotos(PagesAhead& ahead, ListingPlan& plan, int album, const AlbumFolder& folder);
    PhotoPage FetchPage(const ListingSource& source, int page);
    void Hand(int album, const AlbumFolder& folder, const PhotoRecord& photo, const Text& fileName);
    // After the listing: true once every job of the run settled; false when it was stopped.
    bool WaitForJobs();
    void LogEnd(const Text& label, const RunTally& tally);

    // The job of one photo (download_job.cpp): claim the run's next photo, fetch its picture at
    // the run's size, write it into its album folder, and show the progress.
    [[nodiscard]] bool QueueJob();
    void RunJob();
    // How the photo ended: written, failed, or removed by the service (never written).
    DownloadRun::Outcome DownloadPhoto(int position, const ListedPhoto& listed);
    DownloadRun::Outcome FetchPicture(const Text& url, ByteBuffer& body);

    AppState& app_;
    const std::shared_ptr<DownloadRun> run_;
    const std::shared_ptr<RunProgress> progress_;
    // The run as its requests meet an expired sign-in.
    const RenewingRun renewing_;
    Listing listing_ = Listing::kChanges;
    // The folders of the albums listed, in the run's order (driver's thread only).
    std::vector<std::shared_ptr<const AlbumFolder>> folders_;
};
