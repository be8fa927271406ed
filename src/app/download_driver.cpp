#include "app/download_driver.h"

#include <windows.h>
#include <shlwapi.h>

#include "app/download_job.h"
#include "app/file_naming.h"
#include "app/service_answers.h"
#include "app/service_fetch.h"
#include "app/texts.h"
#include "text/text_helpers.h"
#include "web/endpoints.h"

namespace {

constexpr int kPhotosPerPage = 32;
constexpr unsigned kSettleSliceMs = 100;

// What a run lists from: the album and its owner as the analysis found them.
struct ListingSource {
    Text ownerId;
    Text albumId;
    Text cookies;
};

bool IsFolder(const Text& path) {
    const WideText w = AnsiToWide(path);
    return !w.empty() && PathIsDirectoryW(WinStr(w));
}

void MakeFolder(const Text& path) {
    if (!IsFolder(path)) CreateDirectoryW(WinStr(AnsiToWide(path)), nullptr);
}

// Names from the service become safe folder names, so they cannot climb out of the save folder
// or hold characters a folder name cannot. Returns the album folder.
Text MakeAlbumFolder(const Text& saveFolder, const Text& ownerNick, const Text& caption) {
    const Text userFolder = EnsureTrailingBackslash(saveFolder + SafeName(ownerNick));
    MakeFolder(userFolder);
    const Text albumFolder = EnsureTrailingBackslash(userFolder + SafeName(caption));
    MakeFolder(albumFolder);
    return albumFolder;
}

PhotoPage FetchPhotoPage(const ListingSource& source, int page) {
    return ReadPhotoPage(GetWithLoginCookies(PhotoListUrl(source.ownerId, source.albumId, page),
                                             source.cookies, false));
}

void QueuePhoto(AppState& app, const std::shared_ptr<DownloadRun>& run, const PhotoRecord& photo) {
    run->AppendPhoto(photo);
    ++run->listedCount;
    if (!QueueDownloadJob(app, run)) {
        ++run->failedCount;
        run->Settle();
    }
}

// Asks for the total first, then for every page of it, queueing each photo as it arrives.
void ListPhotos(AppState& app, const std::shared_ptr<DownloadRun>& run,
                const ListingSource& source) {
    const PhotoPage probe = FetchPhotoPage(source, 1);
    const int pages = PageCount(static_cast<std::int32_t>(probe.total));
    for (int page = 1; page <= pages && !run->StopRequested(); ++page) {
        const PhotoPage listed = FetchPhotoPage(source, page);
        for (const PhotoRecord& photo : listed.photos) {
            if (run->StopRequested()) return;
            QueuePhoto(app, run, photo);
        }
    }
}

void ShowFinished(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    MutexLock held(app.lock);
    if (!held) return;
    app.OnWindowIf([&] { return app.runs.IsCurrent(*run); },
                   [&] {
                       run->MarkFinished();
                       app.view.EnableButtons(true);
                       app.view.SetStatus(
                           FinishedStatus(run->downloadedCount.load(), run->listedCount.load()));
                       app.view.ShowTaskbarProgress(AppView::Progress::kNone, 0, 0);
                   });
}

void RefuseAlbumNumber(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    app.view.ShowMessageBox(kOutOfRange, kInfoTitle, MB_ICONERROR);
    // Leaving the buttons disabled would lock the user out of every further analysis.
    app.OnWindowIf([&] { return app.runs.IsCurrent(*run); },
                   [&] {
                       run->MarkFinished();
                       app.view.EnableButtons(true);
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

void StartDownload(AppState& app) {
    const std::optional<int> selected = app.view.SelectedAlbumItem();
    if (!selected) return;
    app.view.EnableButtons(false);
    auto token = std::make_shared<FlowToken>();
    auto run = app.runs.Begin(token, app.settings.SizeSegment());
    const int albumNumber = *selected + 1;
    const bool started = app.downloadThread.Start(
        [&app, run, albumNumber](const std::shared_ptr<FlowToken>&) {
            RunDownloadDriver(app, run, albumNumber);
        },
        L"download driver", token);
    if (!started) {
        run->MarkFinished();
        app.view.EnableButtons(true);
    }
}

void RunDownloadDriver(AppState& app, const std::shared_ptr<DownloadRun>& run, int albumNumber) {
    const OwnerProfile owner = app.owner.Get();
    if (albumNumber < 1 || albumNumber > static_cast<int>(owner.albums.size())) {
        RefuseAlbumNumber(app, run);
        return;
    }
    const AlbumRecord& album = owner.albums[albumNumber - 1];
    run->SetAlbumFolder(MakeAlbumFolder(app.settings.SaveFolder(), owner.ownerNick, album.caption));
    ListPhotos(app, run, ListingSource{owner.ownerId, album.albumId, app.login.Cookies()});
    run->ListingDone();
    // The run's own jobs must all have settled; jobs of other runs do not hold this one up.
    while (!run->WaitSettled(kSettleSliceMs)) {
        if (run->StopRequested()) return;
    }
    ShowFinished(app, run);
}
