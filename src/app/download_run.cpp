#include "app/download_run.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <mutex>

#include "app/error_texts.h"
#include "app/file_naming.h"
#include "app/service_answers.h"
#include "app/service_fetch.h"
#include "app/texts.h"
#include "text/json_document.h"
#include "text/text_helpers.h"
#include "threads/message_pump.h"
#include "web/endpoints.h"
#include "web/web_session.h"

namespace {

constexpr int kPhotosPerPage = 32;
constexpr int kFetchAttempts = 3;
constexpr DWORD kRetryPauseMs = 300;

bool IsFolder(const Text& path) {
    const WideText w = AnsiToWide(path);
    return !w.empty() && PathIsDirectoryW(WinStr(w));
}

void MakeFolder(const Text& path) {
    if (!IsFolder(path)) CreateDirectoryW(WinStr(AnsiToWide(path)), nullptr);
}

Text PhotoPath(int index, const char* column) {
    return JoinTexts("data.photo_list.[", std::to_string(index), column);
}

// Sleeps in short slices so a stop request is seen quickly. False when asked to stop.
bool PauseUnlessStopped(const FlowToken& token, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 15) {
        if (token.StopRequested()) return false;
        Sleep(15);
    }
    return !token.StopRequested();
}

// The picture, or nothing: only a complete 200 answer with a body counts. Failed answers are
// asked for again twice after a short pause.
bool FetchPicture(const Text& url, const FlowToken& token, ByteBuffer& body) {
    for (int attempt = 0; attempt < kFetchAttempts; ++attempt) {
        if (attempt > 0 && !PauseUnlessStopped(token, kRetryPauseMs)) return false;
        WebSession web;
        if (!web.Open("GET", url) || !web.Send()) continue;
        if (web.GetStatusCode() != 200) continue;
        body = web.GetBody();
        if (!body.empty() && web.BodyComplete()) return true;
    }
    body.clear();
    return false;
}

// Writes under a temporary name in the same folder, then renames over the final name, so an
// interrupted run never leaves a truncated file under a real name. 0 on success, else the
// system error code of the step that failed.
DWORD WriteWhole(const Text& tempPath, const Text& finalPath, const ByteBuffer& body,
                 const FlowToken& token) {
    const WideText wideTemp = AnsiToWide(tempPath);
    const WideText wideFinal = AnsiToWide(finalPath);
    if (wideTemp.empty() || wideFinal.empty()) return ERROR_INVALID_NAME;
    {
        UniqueHandle file(CreateFileW(WinStr(wideTemp), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_ARCHIVE, nullptr));
        if (!file) return GetLastError();
        size_t done = 0;
        while (done < body.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(body.size() - done, 1u << 30));
            DWORD wrote = 0;
            if (!WriteFile(file.Get(), body.data() + done, chunk, &wrote, nullptr) || wrote == 0) {
                const DWORD err = GetLastError();
                file.Reset();
                DeleteFileW(WinStr(wideTemp));
                return err ? err : ERROR_WRITE_FAULT;
            }
            done += wrote;
        }
    }
    if (token.StopRequested()) {
        DeleteFileW(WinStr(wideTemp));
        return ERROR_CANCELLED;
    }
    // Two photos may share a final name; replacing a file that another job is replacing at the
    // same moment fails, so renames take turns (they are quick).
    static std::mutex renameTurns;
    std::unique_lock<std::mutex> turn(renameTurns);
    if (!MoveFileExW(WinStr(wideTemp), WinStr(wideFinal), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD err = GetLastError();
        DeleteFileW(WinStr(wideTemp));
        return err;
    }
    return 0;
}

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

int PageCount(std::int32_t total) {
    if (total <= 0) return 0;
    return total / kPhotosPerPage + (total % kPhotosPerPage != 0 ? 1 : 0);
}

Text ProgressStatus(int downloaded, int listed) {
    return JoinTexts(kStatusProgress, std::to_string(downloaded), "/", std::to_string(listed));
}

Text FinishedStatus(int downloaded, int listed) {
    return JoinTexts(kStatusFinished, std::to_string(downloaded), kFinishedOf,
                     std::to_string(listed), kFinishedTail);
}

void StartDownload(AppState& app) {
    const std::optional<int> selected = app.view.SelectedAlbumItem();
    if (!selected) return;
    app.view.EnableButtons(false);
    app.downloadThread.Stop();
    const int albumNumber = *selected + 1;
    app.downloadThread.Start(
        [&app, albumNumber](const std::shared_ptr<FlowToken>& token) {
            RunDownloadDriver(app, token, albumNumber);
        },
        L"download driver");
}

void RunDownloadDriver(AppState& app, const std::shared_ptr<FlowToken>& token, int albumNumber) {
    auto run = app.BeginRun(token);
    const auto current = [&app, &token] { return app.downloadThread.IsCurrent(token); };

    AlbumRecord album;
    Text saveFolder, ownerNick, ownerId, cookies;
    bool inRange = false;
    {
        std::lock_guard<std::mutex> guard(app.fieldsMutex);
        inRange = albumNumber >= 1 && albumNumber <= static_cast<int>(app.albums.size());
        if (inRange) album = app.albums[albumNumber - 1];
        saveFolder = app.saveFolder;
        ownerNick = app.ownerNick;
        ownerId = app.ownerId;
        cookies = app.cookieText;
    }
    if (!inRange) {
        app.view.ShowMessageBox(kOutOfRange, kInfoTitle, MB_ICONERROR);
        // Leaving the buttons disabled would lock the user out of every further analysis.
        app.OnWindowIf(current, [&] { app.view.EnableButtons(true); });
        return;
    }

    // Names from the service become safe folder names, so they cannot climb out of the save
    // folder or hold characters a folder name cannot.
    const Text userFolder = EnsureTrailingBackslash(saveFolder + SafeName(ownerNick));
    MakeFolder(userFolder);
    const Text albumFolder = EnsureTrailingBackslash(userFolder + SafeName(album.caption));
    MakeFolder(albumFolder);
    {
        std::lock_guard<std::mutex> guard(app.fieldsMutex);
        app.albumFolder = albumFolder;
        run->albumFolder = albumFolder;
    }

    const auto fetchPage = [&](int page, JsonDocument& doc) {
        doc = JsonDocument();
        doc.Parse(GetWithLoginCookies(PhotoListUrl(ownerId, album.albumId, page), cookies, false),
                  true);
    };

    JsonDocument doc;
    fetchPage(1, doc);
    const auto total = static_cast<std::int32_t>(doc.GetInteger("data.total"));
    const int pages = PageCount(total);
    for (int page = 1; page <= pages && !token->StopRequested(); ++page) {
        fetchPage(page, doc);
        const int n = doc.CountOf("data.photo_list");
        for (int i = 0; i < n && !token->StopRequested(); ++i) {
            PhotoRecord photo;
            photo.caption = doc.GetText(PhotoPath(i, "].caption_render"));
            photo.picHost = doc.GetText(PhotoPath(i, "].pic_host"));
            photo.picName = doc.GetText(PhotoPath(i, "].pic_name"));
            photo.timestamp =
                static_cast<std::int32_t>(doc.GetInteger(PhotoPath(i, "].timestamp")));
            run->AppendPhoto(photo);
            ++run->listedCount;
            if (!app.pool.Post(DownloadJobTask, static_cast<INT_PTR>(run->id),
                               reinterpret_cast<INT_PTR>(&app))) {
                ++run->failedCount;
                ++run->settledCount;
            }
        }
    }

    // The run's own jobs must all have settled; jobs of other runs do not hold this one up.
    while (run->settledCount.load() < run->listedCount.load()) {
        if (token->StopRequested()) return;
        PumpedWait500(token.get());
    }
    if (!app.lock.Lock()) return;
    app.OnWindowIf(current, [&] {
        app.view.EnableButtons(true);
        app.view.SetStatus(FinishedStatus(run->downloadedCount.load(), run->listedCount.load()));
    });
    app.lock.Unlock();
}

void DownloadJobTask(INT_PTR runId, INT_PTR appState) {
    auto& app = *reinterpret_cast<AppState*>(appState);
    auto run = app.RunById(static_cast<unsigned>(runId));
    if (!run) return;  // a job of a run that is over: it claims nothing
    struct Settle {
        DownloadRun& run;
        ~Settle() { ++run.settledCount; }
    } settle{*run};
    const FlowToken& token = *run->token;
    if (token.StopRequested()) return;

    const int position = ++run->claimedCount;
    PhotoRecord photo;
    if (!run->PhotoAt(position, photo)) return;
    const Text sizeSegment = app.Field(&AppState::sizeSegment);
    const Text url = PictureUrl(photo.picHost, sizeSegment, photo.picName);
    const Text fileName = PictureFileName(photo.timestamp, photo.caption, photo.picName);
    const Text finalPath = run->albumFolder + fileName;
    const Text tempPath = JoinTexts(run->albumFolder, "~", std::to_string(run->id), "-",
                                    std::to_string(position), ".part");
    if (!IsInsideFolder(run->albumFolder, finalPath)) {
        ++run->failedCount;
        return;
    }

    ByteBuffer body;
    if (!FetchPicture(url, token, body)) {
        ++run->failedCount;
        return;
    }
    DWORD err = ERROR_CANCELLED;
    {
        // Count ourselves as a writer before the last look at the stop flag, so shutdown either
        // sees us and waits, or we see its stop and write nothing.
        ++app.writers;
        if (!token.StopRequested()) err = WriteWhole(tempPath, finalPath, body, token);
        --app.writers;
    }
    if (err == ERROR_CANCELLED) return;
    const auto current = [&app, &run] {
        return app.RunById(run->id) != nullptr && !run->token->StopRequested();
    };
    if (err != 0) {
        ++run->failedCount;
        const Text message = ErrorTextForCode(err);
        if (app.lock.Lock()) {
            if (current()) app.view.ShowMessageBox(message, fileName, MB_ICONERROR);
            app.lock.Unlock();
        }
        return;
    }
    const int downloaded = ++run->downloadedCount;
    app.StatusIf(current, ProgressStatus(downloaded, run->listedCount.load()));
}

void OpenAlbumFolder(AppState& app) {
    const Text folder = TrimTrailingBlanks(app.Field(&AppState::albumFolder));
    const WideText wide = AnsiToWide(folder);
    if (folder.empty() || wide.empty()) return;
    if (!PathFileExistsW(WinStr(wide)) && !PathIsDirectoryW(WinStr(wide))) return;
    PIDLIST_ABSOLUTE item = ILCreateFromPathW(WinStr(wide));
    PumpPendingMessages();
    if (!item) return;
    SHOpenFolderAndSelectItems(item, 0, nullptr, 0);
    ILFree(item);
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
    PIDLIST_ABSOLUTE root = nullptr;
    if (!startFolder.empty()) {
        root = ILCreateFromPathW(WinStr(AnsiToWide(startFolder)));
    } else {
        SHGetFolderLocation(nullptr, CSIDL_DESKTOP, nullptr, 0, &root);
    }
    wchar_t displayName[MAX_PATH];
    for (auto& c : displayName) c = L' ';
    displayName[MAX_PATH - 1] = 0;
    BROWSEINFOW info{};
    info.hwndOwner = static_cast<HWND>(owner);
    info.pidlRoot = root;
    info.pszDisplayName = displayName;
    info.lpszTitle = WinStr(wideTitle);
    info.ulFlags = 0x77;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    const Text display = WideToAnsi(reinterpret_cast<const char16_t*>(displayName));
    std::optional<Text> path;
    if (chosen) {
        wchar_t buffer[MAX_PATH] = {};
        path = SHGetPathFromIDListW(chosen, buffer)
                   ? WideToAnsi(reinterpret_cast<const char16_t*>(buffer))
                   : Text();
        CoTaskMemFree(chosen);
    }
    if (root) CoTaskMemFree(root);
    const Text result = ChosenFolderResult(display, path);
    return result;
}

void ChooseSaveFolder(AppState& app) {
    const Text chosen = BrowseForFolder(kChooseSaveFolder);
    if (chosen.empty()) return;
    const Text folder = EnsureTrailingBackslash(chosen);
    {
        std::lock_guard<std::mutex> guard(app.fieldsMutex);
        app.saveFolder = folder;
    }
    app.view.ShowSaveFolder(folder);
}
