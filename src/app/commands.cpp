#include "app/commands.h"

#include <windows.h>

#include "app/album_catalogue.h"
#include "app/download_run.h"
#include "text/text_helpers.h"

void RunCommand(AppState& app, int id) {
    switch (id) {
        case kCmdAnalyze:
            StartAnalysis(app);
            break;
        case kCmdBrowse:
            ChooseSaveFolder(app);
            break;
        case kCmdDownloadSelected:
            StartDownload(app);
            break;
        case kCmdOpenFolder:
            OpenAlbumFolder(app);
            break;
        case kCmdSizeLarge:
        case kCmdSizeHigh:
        case kCmdSizeStandard:
        case kCmdSizeSmall:
            ChooseSize(app, id);
            break;
        default:
            break;
    }
}

bool ChooseSize(AppState& app, int command) {
    const auto variant = SizeVariantForCommand(command);
    if (!variant || !app.pool.IsIdle()) return false;
    {
        std::lock_guard<std::mutex> guard(app.fieldsMutex);
        app.sizeSegment = Text(variant->segment);
    }
    app.view.MarkSize(variant->radioPosition);
    return true;
}

Text ProgramFolder() {
    std::u16string buffer(32768, u'\0');
    const DWORD n = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(buffer.data()),
                                       static_cast<DWORD>(buffer.size()));
    buffer.resize(n);
    const size_t slash = buffer.find_last_of(u"\\/");
    if (slash != std::u16string::npos) buffer.resize(slash);
    return EnsureTrailingBackslash(WideToAnsi(buffer));
}
