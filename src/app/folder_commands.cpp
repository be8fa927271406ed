#include "app/folder_commands.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "app/kept_settings.h"
#include "app/download/long_path.h"
#include "app/texts.h"
#include "text/text_helpers.h"
#include "threads/handle.h"
#include "threads/message_pump.h"

namespace {

Text TrimTrailingBlanks(Text path) {
    for (;;) {
        if (!path.empty() && path.back() == ' ') {
            path.pop_back();
        } else if (path.size() >= 2 && path.compare(path.size() - 2, 2, kFullWidthSpace) == 0) {
            path.resize(path.size() - 2);
        } else {
            return path;
        }
    }
}

}  // namespace

Text FolderToOpen(const RunBoard& runs) {
    const std::shared_ptr<DownloadRun> run = runs.Latest();
    const std::shared_ptr<const AlbumFolder> album = run ? run->LatestAlbum() : nullptr;
    return album ? TrimTrailingBlanks(album->Path()) : Text();
}

void OpenAlbumFolder(AppState& app) {
    const Text folder = FolderToOpen(app.Runs());
    const WideText wide = FileSystemPath(folder);
    if (!IsExistingFolder(folder)) return;
    const ItemIdList item(ILCreateFromPathW(WinStr(wide)));
    PumpPendingMessages();
    if (!item) return;
    SHOpenFolderAndSelectItems(item.Get(), 0, nullptr, 0);
}

Text ChosenFolderResult(const Text& displayName, const std::optional<Text>& itemPath) {
    if (FindText(TrimSpaces(displayName), "?", std::nullopt, true) > 0) return Text();
    if (!itemPath) return Text();
    Text path = *itemPath;
    // A name the code page cannot hold comes back with "?" in it and would not name the folder.
    if (path.find('?') != Text::npos) return Text();
    if (path.size() == 3) path.resize(2);
    if (path.size() == 2) path += "\\";
    return path;
}

Text BrowseForFolder(const Text& title, const Text& startFolder, void* owner) {
    const WideText wideTitle = AnsiToWide(title.empty() ? Text(kChooseFolder) : title);
    ItemIdList root;
    if (!startFolder.empty()) {
        root.Reset(ILCreateFromPathW(WinStr(FileSystemPath(startFolder))));
    } else {
        SHGetFolderLocation(nullptr, CSIDL_DESKTOP, nullptr, 0, root.Receive());
    }
    wchar_t displayName[MAX_PATH];
    for (auto& c : displayName) c = L' ';
    displayName[MAX_PATH - 1] = 0;
    BROWSEINFOW info{};
    info.hwndOwner = static_cast<HWND>(owner);
    info.pidlRoot = root.Get();
    info.pszDisplayName = displayName;
    info.lpszTitle = WinStr(wideTitle);
    info.ulFlags = 0x77;
    const ItemIdList chosen(SHBrowseForFolderW(&info));
    const Text display = WideToAnsi(reinterpret_cast<const char16_t*>(displayName));
    std::optional<Text> path;
    if (chosen) {
        wchar_t buffer[MAX_PATH] = {};
        path = SHGetPathFromIDListW(chosen.Get(), buffer)
                   ? WideToAnsi(reinterpret_cast<const char16_t*>(buffer))
                   : Text();
    }
    const Text result = ChosenFolderResult(display, path);
    return result;
}

void OpenLog(AppState& app) {
    const WideText path = app.Log().Path();
    if (path.empty()) return;
    // Before the first event there is no file yet; an empty log still says where it is.
    if (!PathFileExistsW(WinStr(path))) app.Log().AddLine("log opened");
    ShellExecuteW(nullptr, L"open", WinStr(path), nullptr, nullptr, SW_SHOWNORMAL);
}

void ChooseSaveFolder(AppState& app) {
    const Text chosen = BrowseForFolder(kChooseSaveFolder);
    if (chosen.empty()) return;
    const Text folder = EnsureTrailingBackslash(chosen);
    app.Settings().SetSaveFolder(folder);
    app.View().ShowSaveFolder(folder);
    KeepSettings(app);
}
