#include "app/commands.h"

#include <windows.h>

#include "app/album_catalogue.h"
#include "app/download/download_driver.h"
#include "app/download/download_run.h"
#include "app/folder_commands.h"
#include "app/kept_settings.h"
#include "app/signin/qr_login.h"
#include "text/text_helpers.h"

namespace {

// Shift held while a download is chosen asks for every page to be listed again.
Listing ListingAsked() {
    return GetKeyState(VK_SHIFT) < 0 ? Listing::kFullCheck : Listing::kChanges;
}

}  // namespace

void RunCommand(AppState& app, int id) {
    switch (id) {
        case kCmdAnalyze:
            StartAnalysis(app);
            break;
        case kCmdBrowse:
            ChooseSaveFolder(app);
            break;
        case kCmdDownloadSelected:
            DownloadDriver::StartAlbum(app, ListingAsked());
            break;
        case kCmdDownloadChecked:
            DownloadDriver::StartAlbum(app, Listing::kFullCheck);
            break;
        case kCmdDownloadAll:
            DownloadDriver::StartAccount(app, ListingAsked());
            break;
        case kCmdOpenFolder:
            OpenAlbumFolder(app);
            break;
        case kCmdOpenLog:
            OpenLog(app);
            break;
        case kCmdSignOut:
            SignOut(app);
            break;
        case kCmdSizeLarge:
        case kCmdSizeHigh:
        case kCmdSizeStandard:
        case kCmdSizeSmall:
            if (ChooseSize(app, id)) KeepSettings(app);
            break;
        default:
            break;
    }
}

bool ChooseSize(AppState& app, int command) {
    const std::optional<PictureSize> size = SizeForCommand(command);
    // A run keeps the size it started with, so one album never mixes two sizes.
    if (!size || app.Runs().UnderWay()) return false;
    app.Settings().SetSize(*size);
    app.View().MarkSize(VariantOf(*size).RadioPosition());
    return true;
}

void ApplyStartSettings(AppState& app) {
    app.Log().NoteStart();
    // Run numbers go on from the log's last, so a user's log reads in order across starts.
    app.Downloading().NumberRunsFrom(app.Log().LastRunNumber() + 1);
    RestoreSettings(app);
    wchar_t value[16] = {};
    const DWORD n = GetEnvironmentVariableW(L"PICTALON_LIMIT_BOUND_MS", value, 16);
    if (n > 0 && n < 16) {
        const unsigned long ms = wcstoul(value, nullptr, 10);
        if (ms > 0 && ms <= RateBackoff::kLimitBoundMs)
            app.Downloading().SetLimitBoundMs(static_cast<unsigned>(ms));
    }
    AlbumFolder::RemoveEmptyPartFolders(app.Settings().SaveFolder());
}

Text ProgramFolder() {
    std::u16string buffer(32768, u'\0');
    const DWORD n = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(buffer.data()),
                                       static_cast<DWORD>(buffer.size()));
    buffer.resize(n);
    return FolderOfProgramPath(buffer);
}

Text FolderOfProgramPath(const WideText& programPath) {
    // Cut in UTF-16, separator included: the code-page form may end in a character whose second
    // byte is the backslash's, and a drive root must stay "C:\", never "C:".
    const size_t slash = programPath.find_last_of(u"\\/");
    if (slash == WideText::npos) return Text();
    WideText folder = programPath.substr(0, slash + 1);
    folder.back() = u'\\';
    return WideToAnsi(folder);
}
