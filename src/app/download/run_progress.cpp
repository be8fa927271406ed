#include "app/download/run_progress.h"

#include <algorithm>
#include <cstdio>

#include "app/error_texts.h"
#include "app/templates.h"
#include "app/texts.h"
#include "text/text_template.h"

namespace {

Text PausedStatus(const SYSTEMTIME& resumeAt, int downloaded, int listed) {
    char clock[16];
    snprintf(clock, sizeof clock, "%02u:%02u:%02u", resumeAt.wHour, resumeAt.wMinute,
             resumeAt.wSecond);
    return FillText(kPaused, {{"clock", Text(clock)}, {"done", downloaded}, {"listed", listed}});
}

// What was there already and what the service removed, beside the counts.
Text AlreadyPart(int already, int removed = 0) {
    return (already == 0 ? Text() : FillText(kAlreadyThere, {{"already", already}})) +
           (removed == 0 ? Text() : FillText(kRemovedPart, {{"removed", removed}}));
}

}  // namespace

RunProgress::RunProgress(AppState& app, std::shared_ptr<DownloadRun> run)
    : app_(app), run_(std::move(run)) {}

void RunProgress::Begin() {
    app_.View().EnableButtons(false);
}

void RunProgress::EndUnstarted() {
    run_->MarkFinished();
    app_.View().EnableButtons(true);
}

// The counts are read when the update runs on the window thread, not when it was asked for, so
// a later status never shows less than an earlier one.
void RunProgress::Show(Pace pace) {
    // Under Wine each status change costs the window thread a repaint; a hundred a second would
    // keep it from the user's input for nothing anyone can read.
    if (pace == Pace::kPaced && GetTickCount64() - lastShownTick_.load() < kEveryMs) {
        due_.store(true);
        return;
    }
    if (pending_.exchange(true)) return;
    app_.View().PostToWindowThread([self = shared_from_this()] { self->ShowHere(); });
}

void RunProgress::ShowDue() {
    if (due_.exchange(false)) Show(Pace::kNow);
}

void RunProgress::ShowDueAndWait() {
    if (due_.exchange(false)) app_.View().RunOnWindowThread([this] { ShowHere(); });
}

void RunProgress::ShowWriteError(DWORD err, const Text& fileName) {
    {
        std::lock_guard<std::mutex> guard(errorsMutex_);
        if (!errorsSeen_.insert(err).second) return;
    }
    if (!app_.Runs().IsCurrent(*run_)) return;
    app_.PostBox([&app = app_, run = run_] { return app.Runs().IsCurrent(*run); },
                 ErrorTextForCode(err), fileName, MB_ICONERROR);
}

void RunProgress::ShowSignInWait() {
    if (!app_.Runs().IsCurrent(*run_)) return;
    const RunTally tally = run_->Tally();
    app_.View().ShowTaskbarProgress(AppView::Progress::kPaused, tally.downloaded + tally.failed,
                                    tally.listed);
}

void RunProgress::ShowFinished(const Text& status) {
    app_.ShowIf([this] { return app_.Runs().IsCurrent(*run_); },
                [&] {
                    run_->MarkFinished();
                    app_.View().EnableButtons(true);
                    app_.View().SetStatus(status);
                    app_.View().ShowTaskbarProgress(AppView::Progress::kNone, 0, 0);
                });
}

void RunProgress::RefuseAlbumNumber() {
    app_.View().ShowMessageBox(kOutOfRange, kInfoTitle, MB_ICONERROR);
    // Leaving the buttons disabled would lock the user out of every further analysis.
    app_.OnWindowIf([this] { return app_.Runs().IsCurrent(*run_); },
                    [this] {
                        run_->MarkFinished();
                        app_.View().EnableButtons(true);
                    });
}

// On the window thread, with the counts as they are now.
void RunProgress::ShowHere() {
    lastShownTick_.store(GetTickCount64());
    pending_.store(false);
    if (!app_.Runs().IsCurrent(*run_) || run_->Finished()) return;
    // While the run waits for a new sign-in the status line asks for the scan.
    if (app_.Login().Expired()) return;
    const RunTally tally = run_->Tally();
    const int done = tally.downloaded;
    const int failed = tally.failed;
    const int listed = tally.listed;
    if (const RateBackoff* pause = run_->HoldingPause()) {
        app_.View().SetStatus(PausedStatus(pause->ResumeAtLocal(), done, listed));
        app_.View().ShowTaskbarProgress(AppView::Progress::kPaused, done + failed, listed);
        return;
    }
    app_.View().SetStatus(ProgressStatus(done, listed, run_->Place()));
    app_.View().ShowTaskbarProgress(
        failed > 0 ? AppView::Progress::kError : AppView::Progress::kNormal, done + failed,
        std::max(listed, planned_.load()));
}

Text ProgressStatus(int downloaded, int listed, const Text& place) {
    return FillText(kProgress, {{"done", downloaded}, {"listed", listed}, {"place", place}});
}

Text AlbumPlace(int number, int albums, const Text& caption) {
    return FillText(kAlbumPlace, {{"number", number}, {"albums", albums}, {"caption", caption}});
}

Text FinishedStatus(int downloaded, int listed, int already) {
    return FillText(kFinished,
                    {{"done", downloaded}, {"total", listed}, {"already", AlreadyPart(already)}});
}

Text FinalStatus(const RunTally& tally) {
    const long long total = std::max<long long>(tally.albumTotal, tally.listed);
    if (tally.limitOutlasted) {
        return FillText(kLimitEnded, {{"done", tally.downloaded},
                                      {"total", total},
                                      {"left", total - tally.downloaded - tally.removed}});
    }
    const long long unlisted = total - tally.listed;
    // A photo the service removed can never be written; it is named, and lacks nothing.
    if (unlisted == 0 && !tally.listingFailed && tally.failed == 0) {
        return FillText(kFinished, {{"done", tally.downloaded},
                                    {"total", tally.listed},
                                    {"already", AlreadyPart(tally.already, tally.removed)}});
    }
    // Some photos were not listed, but how many is unknown (the total itself never came).
    const Text missing = unlisted == 0 && tally.listingFailed
                             ? Text(kUnlistedUnknown)
                             : FillText(kUnlisted, {{"unlisted", unlisted}});
    return FillText(kIncomplete, {{"done", tally.downloaded},
                                  {"total", total},
                                  {"already", AlreadyPart(tally.already, tally.removed)},
                                  {"unlisted", missing},
                                  {"failed", tally.failed}});
}

Text AccountStatus(const std::vector<RunTally>& albums, bool limitEnded) {
    long long written = 0;
    long long already = 0;
    int removed = 0;
    long long missing = 0;
    int albumsMissing = 0;   // albums that lack a known number of photos
    int albumsUnlisted = 0;  // albums whose listing failed with no number known to be missing
    for (const RunTally& album : albums) {
        written += album.downloaded - album.already;
        already += album.already;
        removed += album.removed;
        const long long lacking =
            std::max<long long>(album.albumTotal, album.listed) - album.downloaded - album.removed;
        if (lacking > 0) {
            ++albumsMissing;
            missing += lacking;
        } else if (album.listingFailed) {
            ++albumsUnlisted;
        }
    }
    Text lacks;
    if (albumsMissing > 0)
        lacks += FillText(kAlbumsMissing, {{"albums", albumsMissing}, {"photos", missing}});
    if (albumsUnlisted > 0) lacks += FillText(kAlbumsUnlisted, {{"albums", albumsUnlisted}});
    const auto counts = {
        TextField{"albums", static_cast<long long>(albums.size())},
        TextField{"written", written},
        TextField{"already", already},
        TextField{"removed", AlreadyPart(0, removed)},
        TextField{"missing", lacks},
    };
    if (limitEnded) return FillText(kAccountLimitEnded, counts);
    return FillText(lacks.empty() ? kAccountDone : kAccountIncomplete, counts);
}
