#include "app/kept_settings.h"

#include <windows.h>

#include "app/download/long_path.h"
#include "text/text_helpers.h"

bool IsExistingFolder(const Text& folder) {
    // The shell's path tests take no "\\?\" form; the file system's own attributes do.
    const WideText wide = FileSystemPath(folder);
    if (folder.empty() || wide.empty()) return false;
    const DWORD attributes = GetFileAttributesW(WinStr(wide));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void KeepSettings(AppState& app) {
    const UserSettings& settings = app.Settings();
    app.SettingsStore().Save(
        KeptSettings{settings.SaveFolder(), settings.Size(), settings.HomePage()});
}

void RestoreSettings(AppState& app) {
    const KeptSettings kept = app.SettingsStore().Load();
    // A folder that has gone since (a removed drive, a deleted folder) leaves the program's own.
    if (IsExistingFolder(kept.saveFolder))
        app.Settings().SetSaveFolder(EnsureTrailingBackslash(kept.saveFolder));
    if (kept.size) app.Settings().SetSize(*kept.size);
    app.Settings().SetHomePage(kept.homePage);
}
