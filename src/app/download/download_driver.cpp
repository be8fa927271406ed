#include "app/download/download_driver.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <functional>
#include <unordered_set>
#include <vector>

#include "app/download/album_record.h"
#include "app/download/download_job.h"
#include "app/download/file_naming.h"
#include "app/download/pages_ahead.h"
#include "app/download/picture_file.h"
#include "app/service/service_client.h"
#include "app/service/service_answers.h"
#include "app/signin/signin_renewal.h"
#include "app/texts.h"
#include "text/text_helpers.h"
#include "web/endpoints.h"

namespace {

constexpr int kPhotosPerPage = 32;
// Beside the owner's album folders. An album that carries this very name only has its pictures
// written and renamed within one folder, as every album did before.
constexpr char kPartFolderName[] = "~pictalon-parts\\";
constexpr int kFailedPagesToGiveUp = 3;

// What a run lists from: the album and its owner as the analysis found them.
struct ListingSource {
    Text ownerId;
    Text albumId;
};

bool IsFolder(const Text& path) {
    const WideText w = FileSystemPath(path);
    return !w.empty() && PathIsDirectoryW(WinStr(w));
}

void MakeFolder(const Text& path) {
    if (!IsFolder(path)) CreateDirectoryW(WinStr(FileSystemPath(path)), nullptr);
}

// Names from the service become safe folder names, so they cannot climb out of the save folder
// or hold characters a folder name cannot.
std::shared_ptr<AlbumContext> MakeAlbumFolders(const Text& saveFolder, const OwnerProfile& owner,
                                               const AlbumRecord& album, PictureSize size) {
    const Text userFolder = EnsureTrailingBackslash(saveFolder + SafeName(owner.ownerNick));
    MakeFolder(userFolder);
    const Text albumFolder = EnsureTrailingBackslash(userFolder + SafeName(album.caption));
    MakeFolder(albumFolder);
    const Text partFolder = userFolder + kPartFolderName;
    MakeFolder(partFolder);
    return AlbumContext::Make(albumFolder, IsFolder(partFolder) ? partFolder : Text(), size,
                              owner.ownerId, album.albumId);
}

// One page of the list, asked again twice after a short pause when it fails or does not read
// as a page; not ok when it never came.
PhotoPage FetchPhotoPage(AppState& app, const std::shared_ptr<DownloadRun>& run,
                         const ListingSource& source, int page) {
    ServiceRequest request(PhotoListUrl(source.ownerId, source.albumId, page), Text());
    request.bodyCap = kListingBodyCap;
    request.backoff = &run->Backoff();
    request.pace = &app.Client().ListingPace();
    PhotoPage listed;
    const RetryPolicy policy{kFetchAttempts, kRetryPauseMs, [&](const ServiceAnswer& answer) {
                                 if (!answer.Answered() || answer.status != 200) return false;
                                 listed = ReadPhotoPage(answer.body.AsCodePage());
                                 return listed.ok;
                             }};
    const ServiceAnswer answer = FetchSignedIn(app, run, request, policy);
    return answer.accepted ? listed : PhotoPage{};
}

void QueuePhoto(AppState& app, const std::shared_ptr<DownloadRun>& run, const AlbumContext& place,
                const PhotoRecord& photo) {
    AlbumTally& album = *place.tally;
    // Counted here, without a job: an update of an album where nothing changed is its listing.
    if (place.AlreadyInFolder(photo.picName)) {
        run->CountListed(album);
        run->CountWritten(album, true);
        run->Settle();
        ShowRunProgress(app, run);
        return;
    }
    run->AppendPhoto(photo);
    run->CountListed(album);
    if (!QueueDownloadJob(app, run)) {
        run->CountFailed(album);
        run->Settle();
    }
}

// The pages after the total, taken in page order, queueing each photo. A page that cannot be
// had is noted and the run goes on with the next; an empty page ends the listing, so a wrong or
// hostile total cannot make us ask for thousands of empty pages.
void ListPhotos(AppState& app, const std::shared_ptr<DownloadRun>& run, PagesAhead& ahead,
                int pages, const AlbumContext& place) {
    AlbumTally& album = *place.tally;
    const auto stopped = [&run] { return run->StopRequested(); };
    int failedInARow = 0;
    for (int page = 1; page <= pages && !run->StopRequested() && !run->Backoff().Outlasted();
         ++page) {
        const PhotoPage listed = ahead.Take(page, stopped);
        if (run->StopRequested()) return;
        if (!listed.ok) {
            run->NoteListingFailed(album);
            // A service that stopped answering would otherwise cost three tries per page.
            if (++failedInARow >= kFailedPagesToGiveUp) return;
            continue;
        }
        failedInARow = 0;
        if (listed.photos.empty()) return;
        for (const PhotoRecord& photo : listed.photos) {
            if (run->StopRequested()) return;
            QueuePhoto(app, run, place, photo);
        }
    }
}

Text CountsText(const RunTally& tally) {
    return JoinTexts(std::to_string(tally.downloaded), " of ", std::to_string(tally.listed),
                     " listed written, ", std::to_string(tally.failed), " failed, album total ",
                     std::to_string(tally.albumTotal),
                     tally.listingFailed ? ", some pages never came" : ", every page listed",
                     tally.limitOutlasted ? "; the service limited it for too long" : "", "; ",
                     std::to_string(tally.already), " of them already there");
}

void ShowFinished(AppState& app, const std::shared_ptr<DownloadRun>& run, const Text& status) {
    app.ShowIf([&] { return app.Runs().IsCurrent(*run); },
               [&] {
                   run->MarkFinished();
                   app.View().EnableButtons(true);
                   app.View().SetStatus(status);
                   app.View().ShowTaskbarProgress(AppView::Progress::kNone, 0, 0);
               });
}

// Makes the album's folders and lists it, queueing a job per photo; the jobs of one album are
// still running while the next is listed. The total comes first, with the first page; while the
// folder's record and files are read, the pages after it are already on their way.
std::shared_ptr<const AlbumContext> ListAlbum(AppState& app,
                                              const std::shared_ptr<DownloadRun>& run,
                                              const OwnerProfile& owner, const AlbumRecord& album,
                                              const Text& label, int number = 0,
                                              const Text& placeText = Text()) {
    const std::shared_ptr<AlbumContext> place =
        MakeAlbumFolders(app.Settings().SaveFolder(), owner, album, run->Size());
    place->number = number;
    place->placeText = placeText;
    run->SetAlbum(place);
    const RunTally sofar = run->Tally();
    if (number > 0 && sofar.downloaded + sofar.failed == sofar.listed) {
        run->NotePlace(*place);
        ShowRunProgress(app, run, ProgressPace::kNow);
    }
    const ListingSource source{owner.ownerId, album.albumId};
    const PhotoPage probe = FetchPhotoPage(app, run, source, 1);
    const int pages = probe.ok ? PageCount(static_cast<std::int32_t>(probe.total)) : 0;
    PagesAhead ahead(
        [&app, run, source](int page) { return FetchPhotoPage(app, run, source, page); },
        [&app](std::function<void()> task) {
            return app.Downloading().QueueListing(std::move(task));
        },
        pages, kListingWorkers);
    // An album of thousands that is all there already is its listing, and under Wine reading a
    // folder of ten thousand pictures takes as long as a hundred pages: they come meanwhile. A
    // first page that came empty beside a total is asked for again before it ends the list.
    if (probe.ok && !probe.photos.empty()) ahead.Begin(probe);
    place->NoteAlreadyThere(LoadAlbumRecord(place->albumFolder, owner.ownerId, album.albumId));
    app.Log().AddLine(JoinTexts(label, " begins: owner ", owner.ownerNick, " (", owner.ownerId,
                                "), album ", album.caption, " (", album.albumId, "), size ",
                                VariantOf(run->Size()).menuText, ", into ", place->albumFolder,
                                ", ", std::to_string(place->alreadyThere.size()),
                                " pictures already there"));
    if (!probe.ok) {
        run->NoteListingFailed(*place->tally);
        return place;
    }
    run->NoteAlbumTotal(*place->tally, probe.total);
    ListPhotos(app, run, ahead, pages, *place);
    // Asked only while listing; the run stays on the board after its end, and the names of a
    // big album's pictures would stay with it.
    std::unordered_set<Text>().swap(place->alreadyThere);
    return place;
}

// After the listing: true once every job of the run settled; false when the run was stopped.
bool WaitForJobs(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    run->ListingDone();
    // The run's own jobs must all have settled; jobs of other runs do not hold this one up.
    while (!run->WaitSettled(kProgressEveryMs)) {
        if (run->StopRequested()) return false;
        if (run->TakeProgressDue()) ShowRunProgress(app, run, ProgressPace::kNow);
    }
    // The workers this run called up would idle for seconds, holding their memory.
    app.Downloading().RetireSpareWorkers();
    ShowDueProgressAndWait(app, run);
    run->ReleasePhotos();
    return true;
}

// One album's counts for the final status: when its listing never began, the catalogue's count
// stands for its total, so its photos are counted as missing rather than forgotten.
RunTally AlbumCounts(const AlbumContext& place, const AlbumRecord& album) {
    RunTally tally = place.tally->Read();
    if (tally.listingFailed && tally.albumTotal == 0) tally.albumTotal = album.photoCount;
    return tally;
}

void StartRun(AppState& app, std::function<void(const std::shared_ptr<DownloadRun>&)> driver) {
    app.View().EnableButtons(false);
    auto token = std::make_shared<FlowToken>();
    auto run = app.Downloading().Begin(token, app.Settings().Size());
    const bool started = app.DownloadFlow().Start(
        [run, driver = std::move(driver)](const std::shared_ptr<FlowToken>&) { driver(run); },
        L"download driver", token);
    if (!started) {
        run->MarkFinished();
        app.View().EnableButtons(true);
    }
}

void RefuseAlbumNumber(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    app.View().ShowMessageBox(kOutOfRange, kInfoTitle, MB_ICONERROR);
    // Leaving the buttons disabled would lock the user out of every further analysis.
    app.OnWindowIf([&] { return app.Runs().IsCurrent(*run); },
                   [&] {
                       run->MarkFinished();
                       app.View().EnableButtons(true);
                   });
}

}  // namespace

int PageCount(std::int32_t total) {
    if (total <= 0) return 0;
    return total / kPhotosPerPage + (total % kPhotosPerPage != 0 ? 1 : 0);
}

Text FinishedStatus(int downloaded, int listed, int already) {
    if (already == 0) {
        return JoinTexts(kStatusFinished, std::to_string(downloaded), kFinishedOf,
                         std::to_string(listed), kFinishedTail);
    }
    return JoinTexts(kStatusFinished, std::to_string(downloaded), kFinishedOf,
                     std::to_string(listed), kAlreadyOpen, std::to_string(already), kAlreadyClose,
                     kOpenFolderHint);
}

Text FinalStatus(const RunTally& tally) {
    const long long total = std::max<long long>(tally.albumTotal, tally.listed);
    if (tally.limitOutlasted) {
        return JoinTexts(kStatusLimitEnded, std::to_string(tally.downloaded), kFinishedOf,
                         std::to_string(total), kIncompleteOf,
                         std::to_string(total - tally.downloaded), kLimitEndedTail);
    }
    const long long unlisted = total - tally.listed;
    if (unlisted == 0 && !tally.listingFailed && tally.failed == 0) {
        return FinishedStatus(tally.downloaded, tally.listed, tally.already);
    }
    // Some photos were not listed, but how many is unknown (the total itself never came).
    const Text missing = unlisted == 0 && tally.listingFailed
                             ? Text(kUnlistedUnknown)
                             : JoinTexts(std::to_string(unlisted), kUnlistedCount);
    const Text already = tally.already == 0 ? Text(kIncompleteOf)
                                            : JoinTexts(kAlreadyOpen, std::to_string(tally.already),
                                                        kAlreadyClose, ";");
    return JoinTexts(kStatusIncomplete, std::to_string(tally.downloaded), kFinishedOf,
                     std::to_string(total), already, missing, std::to_string(tally.failed),
                     kFailedCountTail);
}

Text AccountStatus(const std::vector<RunTally>& albums) {
    long long written = 0;
    long long already = 0;
    long long missing = 0;
    int albumsMissing = 0;
    for (const RunTally& album : albums) {
        written += album.downloaded - album.already;
        already += album.already;
        const long long lacking =
            std::max<long long>(album.albumTotal, album.listed) - album.downloaded;
        if (lacking > 0 || album.listingFailed) {
            ++albumsMissing;
            missing += std::max<long long>(lacking, 0);
        }
    }
    const Text counts =
        JoinTexts(std::to_string(albums.size()), kAccountAlbums, std::to_string(written),
                  kAccountAlready, std::to_string(already));
    if (albumsMissing == 0) return JoinTexts(kStatusAccountDone, counts, kFinishedTail);
    return JoinTexts(kStatusAccountIncomplete, counts, kIncompleteOf, std::to_string(albumsMissing),
                     kAccountMissingIn, std::to_string(missing), kAccountMissingTail);
}

void StartDownload(AppState& app) {
    const std::optional<int> selected = app.View().SelectedAlbumItem();
    if (!selected) return;
    const int albumNumber = *selected + 1;
    StartRun(app, [&app, albumNumber](const std::shared_ptr<DownloadRun>& run) {
        RunDownloadDriver(app, run, albumNumber);
    });
}

bool StartAccountDownload(AppState& app) {
    if (app.Runs().UnderWay() || app.Owner().Get().albums.empty()) return false;
    StartRun(app, [&app](const std::shared_ptr<DownloadRun>& run) { RunAccountDriver(app, run); });
    return true;
}

void RunDownloadDriver(AppState& app, const std::shared_ptr<DownloadRun>& run, int albumNumber) {
    const OwnerProfile owner = app.Owner().Get();
    if (albumNumber < 1 || albumNumber > static_cast<int>(owner.albums.size())) {
        RefuseAlbumNumber(app, run);
        return;
    }
    const std::shared_ptr<const AlbumContext> place =
        ListAlbum(app, run, owner, owner.albums[albumNumber - 1],
                  JoinTexts("run ", std::to_string(run->Id())));
    // However the run ends: finished, superseded or stopped.
    const struct PartFolderGoes {
        const AlbumContext& album;
        ~PartFolderGoes() { album.RemovePartFolder(); }
    } partFolderGoes{*place};
    if (!WaitForJobs(app, run)) return;
    app.Log().AddLine(
        JoinTexts("run ", std::to_string(run->Id()), " ends: ", CountsText(run->Tally())));
    ShowFinished(app, run, FinalStatus(run->Tally()));
}

void RunAccountDriver(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    const OwnerProfile owner = app.Owner().Get();
    const int count = static_cast<int>(owner.albums.size());
    int planned = 0;
    for (const AlbumRecord& album : owner.albums) planned += std::max(album.photoCount, 0);
    run->NotePlanned(planned);
    std::vector<std::shared_ptr<const AlbumContext>> places;
    // However the run ends: finished, superseded or stopped.
    const struct PartFoldersGo {
        const std::vector<std::shared_ptr<const AlbumContext>>& places;
        ~PartFoldersGo() {
            for (const auto& place : places) place->RemovePartFolder();
        }
    } partFoldersGo{places};
    for (int k = 0; k < count && !run->StopRequested(); ++k) {
        const Text place = JoinTexts(std::to_string(k + 1), "/", std::to_string(count));
        places.push_back(
            ListAlbum(app, run, owner, owner.albums[k],
                      JoinTexts("run ", std::to_string(run->Id()), ", album ", place), k + 1,
                      JoinTexts(kAlbumPlaceHead, place, kAlbumPlaceTail, owner.albums[k].caption)));
    }
    if (!WaitForJobs(app, run)) return;
    std::vector<RunTally> tallies;
    for (size_t k = 0; k < places.size(); ++k) {
        tallies.push_back(AlbumCounts(*places[k], owner.albums[k]));
        app.Log().AddLine(JoinTexts("run ", std::to_string(run->Id()), ", album ",
                                    std::to_string(k + 1), "/", std::to_string(count), " ",
                                    owner.albums[k].caption, " (", owner.albums[k].albumId,
                                    ") ends: ", CountsText(tallies.back())));
    }
    app.Log().AddLine(
        JoinTexts("run ", std::to_string(run->Id()), " ends: ", CountsText(run->Tally())));
    ShowFinished(app, run, AccountStatus(tallies));
}
