#include "app/download_job.h"

#include "app/error_texts.h"
#include "app/file_naming.h"
#include "app/picture_file.h"
#include "app/pool_tasks.h"
#include "app/texts.h"
#include "text/text_helpers.h"
#include "web/endpoints.h"
#include "web/web_session.h"

namespace {

constexpr int kFetchAttempts = 3;
constexpr DWORD kRetryPauseMs = 300;

// Sleeps in short slices so a stop request is seen quickly. False when asked to stop.
bool PauseUnlessStopped(const FlowToken& token, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 15) {
        if (token.StopRequested()) return false;
        Sleep(15);
    }
    return !token.StopRequested();
}

// The picture, or nothing: only a complete 200 answer with a body counts. Failed answers are
// asked for again twice after a short pause.
bool FetchPicture(const Text& url, const FlowToken& token, ByteBuffer& body) {
    for (int attempt = 0; attempt < kFetchAttempts; ++attempt) {
        if (attempt > 0 && !PauseUnlessStopped(token, kRetryPauseMs)) return false;
        WebSession web;
        if (!web.Open("GET", url) || !web.Send()) continue;
        if (web.GetStatusCode() != 200) continue;
        body = web.GetBody();
        if (!body.empty() && web.BodyComplete()) return true;
    }
    body.clear();
    return false;
}

// The counts are read when the update runs on the window thread, not when it was asked for,
// so a later status never shows less than an earlier one; and a worker never waits for the
// window to show it. At most one update per run is on its way at a time.
void ShowProgress(AppState& app, const std::shared_ptr<DownloadRun>& run) {
    if (!run->TakeProgressTurn()) return;
    app.view.PostToWindowThread([&app, run] {
        run->ProgressShown();
        if (!app.runs.IsCurrent(*run) || run->Finished()) return;
        const int done = run->downloadedCount.load();
        const int listed = run->listedCount.load();
        app.view.SetStatus(ProgressStatus(done, listed));
        app.view.ShowTaskbarProgress(
            run->failedCount.load() > 0 ? AppView::Progress::kError : AppView::Progress::kNormal,
            done + run->failedCount.load(), listed);
    });
}

void ShowWriteError(AppState& app, const DownloadRun& run, DWORD err, const Text& fileName) {
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
    const Text tempPath = JoinTexts(albumFolder, "~", std::to_string(run->Id()), "-",
                                    std::to_string(position), ".part");
    if (!IsInsideFolder(albumFolder, finalPath)) return false;

    ByteBuffer body;
    if (!FetchPicture(url, run->Token(), body)) return false;
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

}  // namespace

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
    if (!run->PhotoAt(position, photo)) return;
    if (!DownloadPhoto(app, run, position, photo)) {
        if (!run->StopRequested()) ++run->failedCount;
        return;
    }
    ++run->downloadedCount;
    ShowProgress(app, run);
}
