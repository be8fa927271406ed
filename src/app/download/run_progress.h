#pragma once
// The only part of a download run that talks to the window: the progress and its pacing, the
// status line, the taskbar button, the buttons and the boxes. One per run; the driver, its jobs
// and a renewal of the sign-in show through it.
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "app/app_state.h"
#include "app/download/download_run.h"

class RunProgress : public std::enable_shared_from_this<RunProgress> {
  public:
    // A paced update comes at most every kEveryMs; one that comes sooner is left due for the
    // driver, which shows it within a slice of its wait. Unpaced: now (a pause begins or ends).
    static constexpr unsigned kEveryMs = 50;
    enum class Pace { kPaced, kNow };

    RunProgress(AppState& app, std::shared_ptr<DownloadRun> run);
    DownloadRun& Run() const { return *run_; }

    // Window thread, as the run begins: the buttons rest until its final status.
    void Begin();
    // Window thread: the run's thread never started, so the buttons come back at once.
    void EndUnstarted();
    // A run over several albums: the photos the catalogue counts in them all, so the taskbar
    // shows the whole run from its start rather than what is listed so far.
    void NotePlanned(int photos) { planned_.store(photos); }

    // Shows where the run stands (progress, or the pause the service asked for) on the window
    // thread, with the counts as they are when it is shown; a worker never waits for it.
    void Show(Pace pace = Pace::kPaced);
    // The driver while it waits for the jobs: a count left due is shown now.
    void ShowDue();
    // The driver, once the last job settled: the count left due is shown before the final
    // status, and this returns when it has been.
    void ShowDueAndWait();
    // A picture that could not be written: one box per kind of failure in a run, not one per
    // photo when the album folder is unusable (a box for each would hold every worker).
    void ShowWriteError(DWORD err, const Text& fileName);
    // Window thread: the run waits for a new sign-in, and the taskbar says so (the login page
    // and the status line are the renewal's).
    void ShowSignInWait();
    // The run's final status, if the run is still current; the buttons come back.
    void ShowFinished(const Text& status);
    // The album chosen is not in the list: a box, and the buttons come back.
    void RefuseAlbumNumber();

  private:
    void ShowHere();

    AppState& app_;
    const std::shared_ptr<DownloadRun> run_;
    std::atomic<int> planned_{0};
    std::atomic<bool> pending_{false};  // one update on its way to the window at a time
    std::atomic<bool> due_{false};      // a count that changed too soon after the last shown
    std::atomic<unsigned long long> lastShownTick_{0};
    std::mutex errorsMutex_;
    std::set<unsigned long> errorsSeen_;
};

// The status texts of a run (templates.txt).
// The progress; place names the album in hand in a run over several albums.
Text ProgressStatus(int downloaded, int listed, const Text& place = Text());
// How the progress names album number (from 1) of albums.
Text AlbumPlace(int number, int albums, const Text& caption);
// The final status text of a complete run; already counts the pictures of downloaded that were
// found in the folder as recorded (the text is the plain one when there were none).
Text FinishedStatus(int downloaded, int listed, int already = 0);
// As FinishedStatus when nothing is missing; otherwise it counts against the album's total
// when that is larger than the listing, and says how many were not listed and how many failed.
Text FinalStatus(const RunTally& tally);
// The final status of a run over every album, from each album's counts: albums, pictures
// written, pictures already there, and what is missing in how many albums; when the service's
// limit ended the run, it says so and that downloading again continues.
Text AccountStatus(const std::vector<RunTally>& albums, bool limitEnded = false);
