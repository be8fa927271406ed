#include "app/download_driver.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>

#include "app/download_job.h"
#include "app/file_naming.h"
#include "app/picture_file.h"
#include "app/service_client.h"
#include "app/service_answers.h"
#include "app/signin_renewal.h"
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
std::shared_ptr<const AlbumContext> MakeAlbumFolders(const Text& saveFolder, const Text& ownerNick,
                                                     const Text& caption, PictureSize size) {
    const Text userFolder = EnsureTrailingBackslash(saveFolder + SafeName(ownerNick));
    MakeFolder(userFolder);
    const Text albumFolder = EnsureTrailingBackslash(userFolder + SafeName(caption));
    MakeFolder(albumFolder);
    const Text partFolder = userFolder + kPartFolderName;
    MakeFolder(partFolder);
    return AlbumContext::Make(albumFolder, IsFolder(partFolder) ? partFolder : Text(), size);
}

// One page of the list, asked again twice after a short pause when it fails or does not read
// as a page; not ok when it never came.
PhotoPage FetchPhotoPage(AppState& app, const std::shared_ptr<DownloadRun>& run,
                         const ListingSource& source, int page) {
    ServiceRequest request(PhotoListUrl(source.ownerId, source.albumId, page), Text());
    request.bodyCap = kListingBodyCap;
    request.backoff = &run->Backoff();
    PhotoPage listed;
    const RetryPolicy policy{kFetchAttempts, kRetryPauseMs, [&](const ServiceAnswer& answer) {
                                 if (!answer.Answered() || answer.status != 200) return false;
                                 listed = ReadPhotoPage(answer.body.AsCodePage());
                                 return listed.ok;
                             }};
    const ServiceAnswer answer = FetchSignedIn(app, run, request, policy);
    return answer.accepted ? listed : PhotoPage{};
}

void QueuePhoto(AppState& app, const std::shared_ptr<DownloadRun>& run, const PhotoRecord& photo) {
    run->AppendPhoto(photo);
    run->CountListed();
    if (!QueueDownloadJob(app, run)) {
        run->CountFailed();
        run->Settle();
    }
}

// Asks for the total first, then for every page of it, queueing each photo as it arrives. A
// page that cannot be had is noted and the run goes on with the next; an empty page ends the
// listing, so a wrong or hostile total cannot make us ask for thousands of empty pages.
void ListPhotos(AppState& app, const std::shared_ptr<DownloadRun>& run,
                const ListingSource& source) {
    const PhotoPage probe = FetchPhotoPage(app, run, source, 1);
    if (!probe.ok) {
        run->NoteListingFailed();
        return;
    }
    run->NoteAlbumTotal(probe.total);
    const int pages = PageCount(static_cast<std::int32_t>(probe.total));
    int failedInARow = 0;
    for (int page = 1; page <= pages && !run->StopRequested() && !run->Backoff().Outlasted();
         ++page) {
        const PhotoPage listed = FetchPhotoPage(app, run, source, page);
        if (!listed.ok) {
            run->NoteListingFailed();
            // A service that stopped answering would otherwise cost three tries per page.
            if (++failedInARow >= kFailedPagesToGiveUp) return;
            continue;
        }
        failedInARow = 0;
        if (listed.photos.empty()) return;
        for (const PhotoRecord& photo : listed.photos) {
            if (run->StopRequested()) return;
            QueuePhoto(app, run, photo);
        }
    }
}

void LogCounts(AppState& app, const DownloadRun& run) {
    const RunTally tally = run.Tally();
    app.Log().AddLine(JoinTexts(
        "run ", std::to_string(run.Id()), " ends: ", std::to_string(tally.downloaded), " of ",
        std::to_string(tally.listed), " listed written, ", std::to_string(tally.failed),
        " failed, album total ", std::to_string(tally.albumTotal),
        tally.listingFailed ? ", some pages never came" : ", every page listed",
        tally.limitOutlasted ? "; the service limited it for too long" : ""));
}

void ShowFinished(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    app.ShowIf([&] { return app.Runs().IsCurrent(*run); },
               [&] {
                   run->MarkFinished();
                   app.View().EnableButtons(true);
                   app.View().SetStatus(FinalStatus(run->Tally()));
                   app.View().ShowTaskbarProgress(AppView::Progress::kNone, 0, 0);
               });
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

Text FinishedStatus(int downloaded, int listed) {
    return JoinTexts(kStatusFinished, std::to_string(downloaded), kFinishedOf,
                     std::to_string(listed), kFinishedTail);
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
        return FinishedStatus(tally.downloaded, tally.listed);
    }
    // Some photos were not listed, but how many is unknown (the total itself never came).
    const Text missing = unlisted == 0 && tally.listingFailed
                             ? Text(kUnlistedUnknown)
                             : JoinTexts(std::to_string(unlisted), kUnlistedCount);
    return JoinTexts(kStatusIncomplete, std::to_string(tally.downloaded), kFinishedOf,
                     std::to_string(total), kIncompleteOf, missing, std::to_string(tally.failed),
                     kFailedCountTail);
}

void StartDownload(AppState& app) {
    const std::optional<int> selected = app.View().SelectedAlbumItem();
    if (!selected) return;
    app.View().EnableButtons(false);
    auto token = std::make_shared<FlowToken>();
    auto run = app.Downloading().Begin(token, app.Settings().Size());
    const int albumNumber = *selected + 1;
    const bool started = app.DownloadFlow().Start(
        [&app, run, albumNumber](const std::shared_ptr<FlowToken>&) {
            RunDownloadDriver(app, run, albumNumber);
        },
        L"download driver", token);
    if (!started) {
        run->MarkFinished();
        app.View().EnableButtons(true);
    }
}

void RunDownloadDriver(AppState& app, const std::shared_ptr<DownloadRun>& run, int albumNumber) {
    const OwnerProfile owner = app.Owner().Get();
    if (albumNumber < 1 || albumNumber > static_cast<int>(owner.albums.size())) {
        RefuseAlbumNumber(app, run);
        return;
    }
    const AlbumRecord& album = owner.albums[albumNumber - 1];
    const std::shared_ptr<const AlbumContext> place =
        MakeAlbumFolders(app.Settings().SaveFolder(), owner.ownerNick, album.caption, run->Size());
    run->SetAlbum(place);
    // However the run ends: finished, superseded or stopped.
    const struct PartFolderGoes {
        const AlbumContext& album;
        ~PartFolderGoes() { album.RemovePartFolder(); }
    } partFolderGoes{*place};
    app.Log().AddLine(JoinTexts("run ", std::to_string(run->Id()), " begins: owner ",
                                owner.ownerNick, " (", owner.ownerId, "), album ", album.caption,
                                " (", album.albumId, "), size ", VariantOf(run->Size()).menuText,
                                ", into ", place->albumFolder));
    ListPhotos(app, run, ListingSource{owner.ownerId, album.albumId});
    run->ListingDone();
    // The run's own jobs must all have settled; jobs of other runs do not hold this one up.
    while (!run->WaitSettled(kProgressEveryMs)) {
        if (run->StopRequested()) return;
        if (run->TakeProgressDue()) ShowRunProgress(app, run, ProgressPace::kNow);
    }
    // The workers this run called up would idle for seconds, holding their memory.
    app.Downloading().RetireSpareWorkers();
    ShowDueProgressAndWait(app, run);
    run->ReleasePhotos();
    LogCounts(app, *run);
    ShowFinished(app, run);
}
