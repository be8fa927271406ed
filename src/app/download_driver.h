#pragma once
// The driver of a download run: make the folders, list the chosen album page by page, queue one
// job per photo, and show the end of the run once every job has settled.
#include <cstdint>
#include <memory>

#include "app/app_state.h"

// Command 10000, on the window thread: starts a run for the selected album (nothing when no
// album item is selected). The run takes the size chosen now.
void StartDownload(AppState& app);

// The driver of a run for album number albumNumber (1-based), on its own thread.
void RunDownloadDriver(AppState& app, const std::shared_ptr<DownloadRun>& run, int albumNumber);

// Pages of 32 for a photo total.
int PageCount(std::int32_t total);

// The final status text of a complete run.
Text FinishedStatus(int downloaded, int listed);

// As FinishedStatus when nothing is missing; otherwise it counts against the album's total
// when that is larger than the listing, and says how many were not listed and how many failed.
Text FinalStatus(const RunTally& tally);
