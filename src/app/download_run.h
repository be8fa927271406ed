#pragma once
// A download run: list the chosen album page by page, queue one job per photo on the pool, and
// report progress and the end of the run. The folder commands live here too.
#include <memory>

#include "app/app_state.h"

// Command 10000, on the window thread: starts a run for the selected album (nothing when no
// album item is selected).
void StartDownload(AppState& app);

// The driver of a run for album number albumNumber (1-based), on its own thread.
void RunDownloadDriver(AppState& app, const std::shared_ptr<FlowToken>& token, int albumNumber);

// The pool task of one photo: argument1 is the run's id, argument2 the AppState.
void DownloadJobTask(INT_PTR runId, INT_PTR appState);

// Pages of 32 for a photo total.
int PageCount(std::int32_t total);

// The progress and final status texts.
Text ProgressStatus(int downloaded, int listed);
Text FinishedStatus(int downloaded, int listed);

// Command 10001: open the album folder in the shell, with the folder selected.
void OpenAlbumFolder(AppState& app);
// Button 20002: let the user choose the save folder.
void ChooseSaveFolder(AppState& app);

// The folder chooser: the chosen folder, or empty when cancelled. title defaults to
// "请选择文件夹路径".
Text BrowseForFolder(const Text& title = Text(), const Text& startFolder = Text(),
                     void* owner = nullptr);
// What the chooser makes of the dialog's answer: the display name (trimmed) and the item's
// file-system path (nullopt when the dialog returned no item).
Text ChosenFolderResult(const Text& displayName, const std::optional<Text>& itemPath);
