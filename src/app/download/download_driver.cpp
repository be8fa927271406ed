#include "app/download/download_driver.h"

#include <algorithm>
#include <functional>

#include "app/download/listing_plan.h"
#include "app/download/pages_ahead.h"
#include "app/service/service_client.h"
#include "text/text_helpers.h"
#include "web/endpoints.h"

namespace {

constexpr int kFailedPagesToGiveUp = 3;
// Pages past this are never asked for, whatever the service keeps bringing.
constexpr int kMostPages = 1 << 20;

// The counts as the log tells them. Pictures found already there were not written.
Text CountsText(const RunTally& tally) {
    return JoinTexts(
        std::to_string(tally.downloaded - tally.already), " of ", std::to_string(tally.listed),
        " listed written, ", std::to_string(tally.failed), " failed, album total ",
        std::to_string(tally.albumTotal),
        tally.listingFailed ? ", some pages never came" : ", every page listed",
        tally.limitOutlasted ? "; the service limited it for too long" : "", "; ",
        std::to_string(tally.already), " already there, not fetched",
        tally.removed == 0
            ? Text()
            : JoinTexts("; ", std::to_string(tally.removed), " removed by the service"));
}

// However the run ends: finished, superseded or stopped.
struct PartFoldersGo {
    const std::vector<std::shared_ptr<const AlbumFolder>>& folders;
    ~PartFoldersGo() {
        for (const auto& folder : folders) folder->RemovePartFolder();
    }
};

}  // namespace

DownloadDriver::DownloadDriver(AppState& app, std::shared_ptr<DownloadRun> run)
    : app_(app),
      run_(run),
      progress_(std::make_shared<RunProgress>(app, std::move(run))),
      renewing_{run_->Id(), run_->Token(),
                [progress = progress_] { progress->Show(RunProgress::Pace::kNow); },
                [progress = progress_] { progress->ShowSignInWait(); }} {}

void DownloadDriver::StartAlbum(AppState& app, Listing listing) {
    const std::optional<int> selected = app.View().SelectedAlbumItem();
    if (!selected) return;
    const int albumNumber = *selected + 1;
    Start(app, listing, [albumNumber](DownloadDriver& driver) { driver.RunAlbum(albumNumber); });
}

bool DownloadDriver::StartAccount(AppState& app, Listing listing) {
    if (app.Runs().UnderWay() || app.Owner().Get().albums.empty()) return false;
    Start(app, listing, [](DownloadDriver& driver) { driver.RunAccount(); });
    return true;
}

void DownloadDriver::Start(AppState& app, Listing listing,
                           std::function<void(DownloadDriver&)> body) {
    auto token = std::make_shared<FlowToken>();
    const auto driver = std::make_shared<DownloadDriver>(
        app, app.Downloading().Begin(token, app.Settings().Size()));
    driver->listing_ = listing;
    driver->progress_->Begin();
    const bool started = app.DownloadFlow().Start(
        [driver, body = std::move(body)](const std::shared_ptr<FlowToken>&) { body(*driver); },
        L"download driver", token);
    if (!started) driver->progress_->EndUnstarted();
}

void DownloadDriver::RunAlbum(int albumNumber) {
    const OwnerProfile owner = app_.Owner().Get();
    if (albumNumber < 1 || albumNumber > static_cast<int>(owner.albums.size())) {
        progress_->RefuseAlbumNumber();
        return;
    }
    const PartFoldersGo partFoldersGo{folders_};
    const Text label = JoinTexts("run ", std::to_string(run_->Id()));
    ListAlbum(owner, owner.albums[albumNumber - 1], label, Text());
    if (!WaitForJobs()) return;
    LogEnd(label, run_->Tally());
    progress_->ShowFinished(FinalStatus(run_->Tally()));
}

void DownloadDriver::RunAccount() {
    const OwnerProfile owner = app_.Owner().Get();
    const int count = static_cast<int>(owner.albums.size());
    int planned = 0;
    for (const AlbumRecord& album : owner.albums) planned += std::max(album.photoCount, 0);
    progress_->NotePlanned(planned);
    const PartFoldersGo partFoldersGo{folders_};
    const Text label = JoinTexts("run ", std::to_string(run_->Id()));
    const auto albumLabel = [&](int k) {
        return JoinTexts(label, ", album ", std::to_string(k + 1), "/", std::to_string(count));
    };
    for (int k = 0; k < count && !run_->Token().StopRequested(); ++k) {
        ListAlbum(owner, owner.albums[k], albumLabel(k),
                  AlbumPlace(k + 1, count, owner.albums[k].caption));
    }
    if (!WaitForJobs()) return;
    std::vector<RunTally> tallies;
    for (int k = 0; k < static_cast<int>(folders_.size()); ++k) {
        const RunTally tally = run_->Tally(k + 1);
        tallies.push_back(tally);
        LogEnd(JoinTexts(albumLabel(k), " ", owner.albums[k].caption, " (", owner.albums[k].albumId,
                         ")"),
               tally);
    }
    const RunTally whole = run_->Tally();
    LogEnd(label, whole);
    progress_->ShowFinished(AccountStatus(tallies, whole.limitOutlasted));
}

// The jobs of one album are still running while the next is listed. The total comes first, with
// the first page; while the folder's record and files are read, the pages after it are already
// on their way.
int DownloadDriver::ListAlbum(const OwnerProfile& owner, const AlbumRecord& album,
                              const Text& label, const Text& place) {
    const std::shared_ptr<AlbumFolder> folder = AlbumFolder::Make(
        app_.Settings().SaveFolder(), owner.ownerNick, owner.ownerId, album, run_->Size());
    folders_.push_back(folder);
    const RunTally sofar = run_->Tally();
    const int number = run_->AddAlbum(folder, place);
    if (!place.empty() && sofar.downloaded + sofar.failed == sofar.listed)
        progress_->Show(RunProgress::Pace::kNow);
    // What the last listing knew decides how far this one goes; the record is small beside the
    // folder, whose files are read while the first pages are on their way.
    ListingPlan plan(folder->ReadRecord(), listing_ == Listing::kFullCheck);
    const ListingSource source{owner.ownerId, album.albumId};
    const PhotoPage probe = FetchPage(source, 1);
    // A first listing runs ahead of the driver as far as the total promises; an update asks only
    // for the pages it takes, as it may stop at any of them.
    PagesAhead ahead(
        [self = shared_from_this(), source](int page) { return self->FetchPage(source, page); },
        [&app = app_](std::function<void()> task) {
            return app.Downloading().QueueListing(std::move(task));
        },
        PagesFor(probe.total), plan.Update() ? 0 : kListingWorkers);
    // An album of thousands that is all there already is its listing, and under Wine reading a
    // folder of ten thousand pictures takes as long as a hundred pages: they come meanwhile. A
    // first page that came empty beside a total is asked for again before it ends the list.
    if (probe.ok && (!probe.photos.empty() || probe.total <= 0)) ahead.Begin(probe);
    const size_t there = folder->ReadWhatIsThere();
    app_.Log().AddLine(JoinTexts(label, " begins: owner ", owner.ownerNick, " (", owner.ownerId,
                                 "), album ", album.caption, " (", album.albumId, "), size ",
                                 VariantOf(run_->Size()).menuText, ", into ", folder->Path(), ", ",
                                 std::to_string(there), " pictures already there",
                                 plan.Update() ? ", listing what changed" : ""));
    if (!probe.ok) {
        run_->NoteListed(number, std::nullopt);
        // The album list's count stands for the total the first page never brought, so its
        // photos are counted as missing rather than forgotten.
        run_->NoteListed(number, std::max(album.photoCount, 0));
    } else {
        // No number is trusted alone: the album is complete only when every photo the total, the
        // album list or the listing promised was written.
        run_->NoteListed(number, std::max<long long>(probe.total, album.photoCount));
        plan.NoteTotal(probe.total);
        ListPhotos(ahead, plan, number, *folder);
        // What this listing saw, for the next run to start from; nothing when it was cut short.
        const Text lines = plan.RecordLines(owner.ownerId, album.albumId);
        if (!run_->Token().StopRequested() && !lines.empty() && !folder->RecordListing(lines))
            app_.Log().AddLine(JoinTexts(label,
                                         ": the listing could not be recorded; the next "
                                         "run lists every page"));
    }
    folder->ForgetWhatIsThere();
    return number;
}

// The pages in order, handing out each photo, as far as the plan says; a page that cannot be had
// is noted and the run goes on with the next. After known ground, the photos the last listing
// knew are taken from the record, so those not in the folder are fetched without their pages.
void DownloadDriver::ListPhotos(PagesAhead& ahead, ListingPlan& plan, int album,
                                const AlbumFolder& folder) {
    const FlowToken& token = run_->Token();
    const auto stopped = [&token] { return token.StopRequested(); };
    int failedInARow = 0;
    for (int page = 1; page <= kMostPages && !stopped() && !run_->LimitOutlasted(); ++page) {
        const PhotoPage listed = ahead.Take(page, token.StopToken());
        if (stopped()) return;
        if (!listed.ok) {
            run_->NoteListed(album, std::nullopt);
            plan.PageFailed();
            // A service that stopped answering would otherwise cost three tries per page.
            if (++failedInARow >= kFailedPagesToGiveUp) return;
            continue;
        }
        failedInARow = 0;
        const ListingPlan::Step step = plan.Page(listed.photos);
        for (const PhotoRecord& photo : step.fresh) {
            if (stopped()) return;
            Hand(album, folder, photo, folder.FileNameOf(photo));
        }
        if (!step.more) break;
    }
    for (const ListedPhotoEntry& known : plan.NotListedAgain()) {
        if (stopped()) return;
        Hand(album, folder, PhotoRecord{Text(), known.picHost, known.picName, known.timestamp},
             known.fileName);
    }
}

// One page of the list, asked again twice after a short pause when it fails or does not read as
// a page; not ok when it never came.
PhotoPage DownloadDriver::FetchPage(const ListingSource& source, int page) {
    ServiceRequest request(PhotoListUrl(source.ownerId, source.albumId, page), Text());
    request.bodyCap = kListingBodyCap;
    request.backoff = &run_->ListingBackoff();
    request.pace = &app_.Client().ListingPace();
    PhotoPage listed;
    const RetryPolicy policy{kFetchAttempts, kRetryPauseMs, [&](const ServiceAnswer& answer) {
                                 if (!answer.Answered() || answer.status != 200) return false;
                                 listed = ReadPhotoPage(answer.body.AsCodePage());
                                 return listed.ok;
                             }};
    const ServiceAnswer answer = FetchSignedIn(app_, renewing_, request, policy);
    return answer.accepted ? listed : PhotoPage{};
}

// A photo already there is counted here, without a job: an update of an album where nothing
// changed is its listing.
void DownloadDriver::Hand(int album, const AlbumFolder& folder, const PhotoRecord& photo,
                          const Text& fileName) {
    if (folder.AlreadyThere(photo.picName, fileName)) {
        run_->List(photo, fileName, true);
        progress_->Show();
        return;
    }
    run_->List(photo, fileName, false);
    if (!QueueJob()) {
        run_->Count(album, DownloadRun::Outcome::kFailed);
        run_->Settle();
    }
}

bool DownloadDriver::WaitForJobs() {
    run_->ListingDone();
    // The run's own jobs must all have settled; jobs of other runs do not hold this one up.
    while (!run_->WaitSettled(RunProgress::kEveryMs)) {
        if (run_->Token().StopRequested()) return false;
        progress_->ShowDue();
    }
    // The workers this run called up would idle for seconds, holding their memory.
    app_.Downloading().RetireSpareWorkers();
    progress_->ShowDueAndWait();
    for (const auto& folder : folders_) {
        if (folder->Unrecorded() > 0)
            app_.Log().AddLine(JoinTexts(
                "run ", std::to_string(run_->Id()), ": ", std::to_string(folder->Unrecorded()),
                " pictures written into ", folder->Path(), " could not be recorded there"));
    }
    return true;
}

void DownloadDriver::LogEnd(const Text& label, const RunTally& tally) {
    app_.Log().AddLine(JoinTexts(label, " ends: ", CountsText(tally)));
}
