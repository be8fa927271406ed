#pragma once
// The job of one photo: claim the run's next photo, fetch its picture at the run's size, write
// it into the run's album folder, and show the progress.
#include <memory>

#include "app/app_state.h"

// Queues one job of the run on the pool; false when the pool refused it.
[[nodiscard]] bool QueueDownloadJob(AppState& app, const std::shared_ptr<DownloadRun>& run);

// The body of one job, on a pool worker.
void RunDownloadJob(AppState& app, const std::shared_ptr<DownloadRun>& run);

// Shows where the run stands (progress, or the pause the service asked for) on the window
// thread, with the counts as they are when it is shown.
// A paced update comes at most every kProgressEveryMs; one that comes sooner is left due for
// the driver, which shows it within a slice of its wait. Unpaced: now (a pause begins or ends).
constexpr unsigned kProgressEveryMs = 50;
enum class ProgressPace { kPaced, kNow };
void ShowRunProgress(AppState& app, const std::shared_ptr<DownloadRun>& run,
                     ProgressPace pace = ProgressPace::kPaced);
// The driver, once the last job settled: the count left due is shown before the final status.
void ShowDueProgressAndWait(AppState& app, const std::shared_ptr<DownloadRun>& run);

// The progress status text.
Text ProgressStatus(int downloaded, int listed);
