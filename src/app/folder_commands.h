#pragma once
// The commands around folders: open the album folder in the shell, choose the save folder.
#include <optional>

#include "app/app_state.h"

// Command 10001: open the latest run's album folder in the shell, with the folder selected.
void OpenAlbumFolder(AppState& app);
// The folder that command opens: the latest run's album folder without trailing blanks (ASCII
// and full-width spaces); empty before any run.
Text FolderToOpen(const RunBoard& runs);
// Command 10007: open the program's log with the program the shell opens text files with.
void OpenLog(AppState& app);
// Button 20002: let the user choose the save folder.
void ChooseSaveFolder(AppState& app);

// The folder chooser: the chosen folder, or empty when cancelled. title defaults to
// "请选择文件夹路径".
Text BrowseForFolder(const Text& title = Text(), const Text& startFolder = Text(),
                     void* owner = nullptr);
// What the chooser makes of the dialog's answer: the display name (trimmed) and the item's
// file-system path (nullopt when the dialog returned no item).
Text ChosenFolderResult(const Text& displayName, const std::optional<Text>& itemPath);
