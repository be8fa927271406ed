#pragma once
// The driver of a download run: make the folders, list the chosen album page by page, queue one
// job per photo, and show the end of the run once every job has settled.
#include <cstdint>
#include <memory>
#include <vector>

#include "app/app_state.h"

// How far a run lists an album the record knows: only what changed, or every page (the user
// asked for a full check).
enum class Listing { kChanges, kFullCheck };

// Command 10000, on the window thread: starts a run for the selected album (nothing when no
// album item is selected). The run takes the size chosen now.
void StartDownload(AppState& app, Listing listing = Listing::kChanges);

// The driver of a run for album number albumNumber (1-based), on its own thread.
void RunDownloadDriver(AppState& app, const std::shared_ptr<DownloadRun>& run, int albumNumber);

// Command 10006, on the window thread: starts a run over every listed album of the analysed
// owner, in list order; false (nothing happens) while a run is under way or no album is listed.
bool StartAccountDownload(AppState& app, Listing listing = Listing::kChanges);

// The driver of a run over every album, on its own thread: the albums are listed one after
// another into the one run, so its workers go from one album's pictures to the next's.
void RunAccountDriver(AppState& app, const std::shared_ptr<DownloadRun>& run);

// The final status text of a complete run; already counts the pictures of downloaded that were
// found in the folder as recorded (the text is the plain one when there were none).
Text FinishedStatus(int downloaded, int listed, int already = 0);

// As FinishedStatus when nothing is missing; otherwise it counts against the album's total
// when that is larger than the listing, and says how many were not listed and how many failed.
Text FinalStatus(const RunTally& tally);

// The final status of a run over every album, from each album's counts: albums, pictures
// written, pictures already there, and what is missing in how many albums.
Text AccountStatus(const std::vector<RunTally>& albums);
