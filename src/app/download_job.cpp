#include "app/download_job.h"

#include <cstdio>

#include "app/error_texts.h"
#include "app/fetch_gate.h"
#include "app/file_naming.h"
#include "app/picture_file.h"
#include "app/pool_tasks.h"
#include "app/run_fetch.h"
#include "app/texts.h"
#include "text/text_helpers.h"
#include "web/endpoints.h"

namespace {

// The picture, or nothing: only a complete 200 answer with a body counts. Failed answers are
// asked for again twice after a short pause; while the service says to slow down the job waits
// with the others, and those answers use up none of the tries.
bool FetchPicture(AppState& app, const std::shared_ptr<DownloadRun>& run, const Text& url,
                  ByteBuffer& body) {
    const FetchLimits limits = PictureLimits();
    for (int attempt = 0; attempt < kFetchAttempts; ++attempt) {
        if (attempt > 0 && !PauseUnlessStopped(run->Token(), kRetryPauseMs)) break;
        RunAnswer answer;
        {
            // Held for the request only: the pause before a retry and the write that follows
            // leave the network to another worker.
            const GateTurn turn(app.pictureGate, run->Token());
            if (!turn.Held()) break;
            answer =
                FetchUnderBackoff(run->backoff, run->Token(), url, std::nullopt, limits,
                                  [&app, &run] { ShowRunProgress(app, run, ProgressPace::kNow); });
        }
        if (answer.answered && answer.status == 200 && !answer.body.empty()) {
            body = std::move(answer.body);
            return true;
        }
    }
    body.clear();
    return false;
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
void ShowWriteError(AppState& app, DownloadRun& run, DWORD err, const Text& fileName) {
    if (!run.FirstOfError(err)) return;
    const Text message = ErrorTextForCode(err);
    MutexLock held(app.lock);
    if (held && app.runs.IsCurrent(run)) app.view.ShowMessageBox(message, fileName, MB_ICONERROR);
}

// Fetches and writes one claimed photo; true when its file was written.
bool DownloadPhoto(AppState& app, const std::shared_ptr<DownloadRun>& run, int position,
                   const PhotoRecord& photo) {
    const Text albumFolder = run->AlbumFolder();
    const Text url = PictureUrl(photo.picHost, run->SizeSegment(), photo.picName);
    const Text fileName = PictureFileName(photo.timestamp, photo.caption, photo.picName);
    const Text finalPath = albumFolder + fileName;
    const Text tempPath = JoinTexts(run->PartFolder(), "~", std::to_string(run->Id()), "-",
                                    std::to_string(position), ".part");
    if (!IsInsideFolder(albumFolder, finalPath)) return false;

    ByteBuffer body;
    if (!FetchPicture(app, run, url, body)) return false;
    DWORD err = ERROR_CANCELLED;
    // Count ourselves as a writer before the last look at the stop flag, so shutdown either
    // sees us and waits, or we see its stop and write nothing.
    ++app.writers;
    if (!run->StopRequested()) err = WritePictureFile(tempPath, finalPath, body, run->Token());
    --app.writers;
    if (err == ERROR_CANCELLED) return false;
    if (err != 0) ShowWriteError(app, *run, err, fileName);
    return err == 0;
}

// On the window thread, with the counts as they are now.
void ShowProgressHere(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    run->ProgressShown(GetTickCount64());
    if (!app.runs.IsCurrent(*run) || run->Finished()) return;
    const int done = run->downloadedCount.load();
    const int failed = run->failedCount.load();
    const int listed = run->listedCount.load();
    if (run->backoff.Paused()) {
        app.view.SetStatus(PausedStatus(run->backoff.ResumeAtLocal(), done, listed));
        app.view.ShowTaskbarProgress(AppView::Progress::kPaused, done + failed, listed);
        return;
    }
    app.view.SetStatus(ProgressStatus(done, listed));
    app.view.ShowTaskbarProgress(
        failed > 0 ? AppView::Progress::kError : AppView::Progress::kNormal, done + failed, listed);
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
    app.view.PostToWindowThread([&app, run] { ShowProgressHere(app, run); });
}

void ShowDueProgressAndWait(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    if (run->TakeProgressDue()) app.view.RunOnWindowThread([&] { ShowProgressHere(app, run); });
}

Text ProgressStatus(int downloaded, int listed) {
    return JoinTexts(kStatusProgress, std::to_string(downloaded), "/", std::to_string(listed));
}

bool QueueDownloadJob(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    return PostTask(app.pool, [&app, run] { RunDownloadJob(app, run); });
}

void RunDownloadJob(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    struct Settle {
        DownloadRun& run;
        ~Settle() { run.Settle(); }
    } settle{*run};
    if (run->StopRequested()) return;  // a job of a run that is over claims nothing

    const int position = ++run->claimedCount;
    PhotoRecord photo;
    if (!run->TakePhoto(position, photo)) return;
    if (!DownloadPhoto(app, run, position, photo)) {
        if (run->StopRequested()) return;
        // A failure shows too, so the taskbar turns to its error state when it happens.
        ++run->failedCount;
        ShowRunProgress(app, run);
        return;
    }
    ++run->downloadedCount;
    ShowRunProgress(app, run);
}
