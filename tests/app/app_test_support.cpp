#include "app_test_support.h"

#include "app/download/album_record.h"
#include "common/window_thread_check.h"
#include "threads/handle.h"

namespace apptest {

namespace {

void RemoveTree(const WideText& folder) {
    WIN32_FIND_DATAW data;
    const WideText pattern = folder + u"*";
    HANDLE find = FindFirstFileW(WinStr(pattern), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const WideText name(reinterpret_cast<const char16_t*>(data.cFileName));
            if (name == u"." || name == u"..") continue;
            const WideText full = folder + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full + u"\\");
            } else {
                SetFileAttributesW(WinStr(full), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(WinStr(full));
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(WinStr(folder));
}

}  // namespace

ScratchFolder::ScratchFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static LONG counter = 0;
    const Text base = WideToAnsi(reinterpret_cast<const char16_t*>(temp));
    path_ =
        JoinTexts(EnsureTrailingBackslash(base), "pictalon-", std::to_string(GetCurrentProcessId()),
                  "-", std::to_string(InterlockedIncrement(&counter)), "\\");
    MakeFolder(path_);
}

ScratchFolder::~ScratchFolder() {
    RemoveTree(AnsiToWide(path_));
}

std::map<Text, ByteBuffer> FilesIn(const Text& folder) {
    std::map<Text, ByteBuffer> files;
    WIN32_FIND_DATAW data;
    const WideText wideFolder = AnsiToWide(folder);
    HANDLE find = FindFirstFileW(WinStr(wideFolder + u"*"), &data);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const WideText name(reinterpret_cast<const char16_t*>(data.cFileName));
        if (WideToAnsi(name) == kAlbumRecordFileName) continue;
        ByteBuffer content;
        UniqueHandle file(CreateFileW(WinStr(wideFolder + name), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
        if (file) {
            char buffer[65536];
            DWORD got = 0;
            while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
                content.append(buffer, got);
        }
        files[WideToAnsi(name)] = content;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return files;
}

bool FolderExists(const Text& path) {
    const DWORD attributes = GetFileAttributesW(WinStr(AnsiToWide(path)));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeFolder(const Text& path) {
    return CreateDirectoryW(WinStr(AnsiToWide(path)), nullptr);
}

int CountInLog(const std::string& logText, const std::string& needle) {
    int count = 0;
    for (size_t at = logText.find(needle); at != std::string::npos;
         at = logText.find(needle, at + needle.size()))
        ++count;
    return count;
}

}  // namespace apptest
