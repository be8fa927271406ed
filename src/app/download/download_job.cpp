#include "app/download/download_job.h"

#include <algorithm>
#include <cstdio>

#include "app/error_texts.h"
#include "app/service/fetch_gate.h"
#include "app/download/file_naming.h"
#include "app/service/picture_bytes.h"
#include "app/download/picture_file.h"
#include "app/service/service_client.h"
#include "app/signin/signin_renewal.h"
#include "app/texts.h"
#include "text/text_helpers.h"
#include "web/endpoints.h"

namespace {

// The picture, or nothing: only a complete 200 answer whose bytes are a picture's counts. Failed
// answers are asked for again twice after a short pause; while the service says to slow down the
// job waits with the others, and those answers use up none of the tries.
bool FetchPicture(AppState& app, const std::shared_ptr<DownloadRun>& run, const Text& url,
                  ByteBuffer& body) {
    ServiceRequest request{url};
    request.bodyCap = kPictureBodyCap;
    request.silenceMs = app.Client().PictureSilenceMs();
    request.backoff = &run->Backoff();
    request.pace = &app.Client().PicturePace();
    request.gate = &app.Downloading().PictureGate();
    request.keptSession = true;
    // A page or an error sent with status 200 is a failed try: it is never written as a picture.
    const RetryPolicy policy{kFetchAttempts, kRetryPauseMs, [](const ServiceAnswer& answer) {
                                 return answer.Answered() && answer.status == 200 &&
                                        LooksLikePicture(answer.body.Bytes());
                             }};
    ServiceAnswer answer = FetchSignedIn(app, run, request, policy);
    body = answer.accepted ? answer.body.TakeBytes() : ByteBuffer();
    return answer.accepted;
}

Text PausedStatus(const SYSTEMTIME& resumeAt, int downloaded, int listed) {
    char clock[16];
    snprintf(clock, sizeof clock, "%02u:%02u:%02u", resumeAt.wHour, resumeAt.wMinute,
             resumeAt.wSecond);
    return JoinTexts(kStatusPaused, clock, kPausedResume, std::to_string(downloaded), "/",
                     std::to_string(listed));
}

// One box per kind of failure in a run: when the album folder is unusable every photo fails
// the same way, and a box for each would hold every worker and the final status.
void ShowWriteError(AppState& app, const std::shared_ptr<DownloadRun>& run, DWORD err,
                    const Text& fileName) {
    if (!run->FirstOfError(err) || !app.Runs().IsCurrent(*run)) return;
    app.PostBox([&app, run] { return app.Runs().IsCurrent(*run); }, ErrorTextForCode(err), fileName,
                MB_ICONERROR);
}

// Fetches and writes one claimed photo; true when its file was written.
bool DownloadPhoto(AppState& app, const std::shared_ptr<DownloadRun>& run, int position,
                   const ListedPhoto& listed) {
    const PhotoRecord& photo = listed.photo;
    const AlbumContext& album = *listed.album;
    const Text& albumFolder = album.albumFolder;
    const Text url = PictureUrl(photo.picHost, Text(VariantOf(album.size).segment), photo.picName);
    const Text fileName = PictureFileName(photo.timestamp, photo.caption, photo.picName);
    const Text finalPath = albumFolder + fileName;
    // Unique across processes: two windows downloading the same owner share its part folder.
    const Text tempName =
        JoinTexts("~", std::to_string(GetCurrentProcessId()), "-", std::to_string(run->Id()), "-",
                  std::to_string(position), ".part");
    if (!IsInsideFolder(albumFolder, finalPath)) return false;

    ByteBuffer body;
    if (!FetchPicture(app, run, url, body)) return false;
    DWORD err = ERROR_CANCELLED;
    // Count ourselves as a writer before the last look at the stop flag, so shutdown either
    // sees us and waits, or we see its stop and write nothing. The record is part of the write:
    // a picture that is in its folder when the program ends is recorded there too.
    {
        const Downloads::WriteTurn writing(app.Downloading());
        // The folder of pictures under way is shared with other runs and other processes that
        // download the same owner; the one that ends removes it if it is empty at that moment.
        // Made again, by this job or another that met the same, and the write tried again; a
        // folder removed while the file was being made reads as a missing file, not a path.
        for (int again = 0; !run->StopRequested(); ++again) {
            err = WritePictureFile(album.PathInPart(tempName), album.PathInAlbum(fileName), body,
                                   run->Token(), photo.timestamp);
            const bool folderGone = err == ERROR_PATH_NOT_FOUND || err == ERROR_FILE_NOT_FOUND;
            if (!folderGone || again == 2 || album.partFolder == albumFolder ||
                run->StopRequested())
                break;
            if (!CreateDirectoryW(WinStr(album.partForm), nullptr) &&
                GetLastError() != ERROR_ALREADY_EXISTS)
                break;
        }
        // Only once the file is there under its name: a record never promises a picture that
        // is not in the folder.
        if (err == 0) album.Record(photo.picName, fileName, body.size());
    }
    if (err == ERROR_CANCELLED) return false;
    if (err != 0) {
        app.Log().AddLine(
            JoinTexts("could not write ", finalPath, ": error ", std::to_string(err)));
        ShowWriteError(app, run, err, fileName);
    }
    return err == 0;
}

// On the window thread, with the counts as they are now.
void ShowProgressHere(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    run->ProgressShown(GetTickCount64());
    if (!app.Runs().IsCurrent(*run) || run->Finished()) return;
    // While the run waits for a new sign-in the status line asks for the scan.
    if (app.Login().Expired()) return;
    const RunTally tally = run->Tally();
    const int done = tally.downloaded;
    const int failed = tally.failed;
    const int listed = tally.listed;
    if (run->Backoff().Paused()) {
        app.View().SetStatus(PausedStatus(run->Backoff().ResumeAtLocal(), done, listed));
        app.View().ShowTaskbarProgress(AppView::Progress::kPaused, done + failed, listed);
        return;
    }
    app.View().SetStatus(ProgressStatus(done, listed) + run->Place());
    app.View().ShowTaskbarProgress(
        failed > 0 ? AppView::Progress::kError : AppView::Progress::kNormal, done + failed,
        std::max(listed, run->Planned()));
}

}  // namespace

// The counts are read when the update runs on the window thread, not when it was asked for,
// so a later status never shows less than an earlier one; and a worker never waits for the
// window to show it. At most one update per run is on its way at a time.
void ShowRunProgress(AppState& app, const std::shared_ptr<DownloadRun>& run, ProgressPace pace) {
    // Under Wine each status change costs the window thread a repaint; a hundred a second would
    // keep it from the user's input for nothing anyone can read.
    if (pace == ProgressPace::kPaced &&
        GetTickCount64() - run->LastProgressTick() < kProgressEveryMs) {
        run->MarkProgressDue();
        return;
    }
    if (!run->TakeProgressTurn()) return;
    app.View().PostToWindowThread([&app, run] { ShowProgressHere(app, run); });
}

void ShowDueProgressAndWait(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    if (run->TakeProgressDue()) app.View().RunOnWindowThread([&] { ShowProgressHere(app, run); });
}

Text ProgressStatus(int downloaded, int listed) {
    return JoinTexts(kStatusProgress, std::to_string(downloaded), "/", std::to_string(listed));
}

bool QueueDownloadJob(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    return app.Downloading().Queue([&app, run] { RunDownloadJob(app, run); });
}

void RunDownloadJob(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    struct Settle {
        DownloadRun& run;
        ~Settle() { run.Settle(); }
    } settle{*run};
    if (run->StopRequested()) return;  // a job of a run that is over claims nothing

    const int position = run->ClaimNext();
    ListedPhoto photo;
    if (!run->TakePhoto(position, photo) || !photo.album) return;
    AlbumTally& album = *photo.album->tally;
    run->NotePlace(*photo.album);
    if (!DownloadPhoto(app, run, position, photo)) {
        if (run->StopRequested()) return;
        // A failure shows too, so the taskbar turns to its error state when it happens.
        run->CountFailed(album);
        ShowRunProgress(app, run);
        return;
    }
    run->CountWritten(album);
    ShowRunProgress(app, run);
}
