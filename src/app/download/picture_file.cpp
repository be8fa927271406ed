#include "app/download/picture_file.h"

#include <algorithm>
#include <mutex>

#include "app/service/picture_bytes.h"
#include "text/text_helpers.h"
#include "threads/handle.h"

namespace {

DWORD WriteAll(HANDLE file, const ByteBuffer& body) {
    size_t done = 0;
    while (done < body.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(body.size() - done, 1u << 30));
        DWORD wrote = 0;
        if (!WriteFile(file, body.data() + done, chunk, &wrote, nullptr) || wrote == 0) {
            const DWORD err = GetLastError();
            return err ? err : ERROR_WRITE_FAULT;
        }
        done += wrote;
    }
    return 0;
}

bool SetPhotoTime(HANDLE file, std::int32_t timestamp) {
    // FILETIME counts 100 ns steps from 1601-01-01; every 32-bit timestamp lies after that.
    constexpr std::int64_t kUnixEpochInFileTimeSeconds = 11644473600;
    const auto ticks =
        static_cast<std::uint64_t>((timestamp + kUnixEpochInFileTimeSeconds) * 10000000);
    FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    return SetFileTime(file, nullptr, nullptr, &written) != FALSE;
}

}  // namespace

DWORD WritePictureFile(const Text& tempPath, const Text& finalPath, const ByteBuffer& body,
                       const FlowToken& token) {
    return WritePictureFile(FileSystemPath(tempPath), FileSystemPath(finalPath), body, token);
}

DWORD WritePictureFile(const WideText& wideTemp, const WideText& wideFinal, const ByteBuffer& body,
                       const FlowToken& token, std::int32_t photoTime) {
    if (wideTemp.empty() || wideFinal.empty()) return ERROR_INVALID_NAME;
    {
        UniqueHandle file(CreateFileW(WinStr(wideTemp), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_ARCHIVE, nullptr));
        if (!file) return GetLastError();
        if (const DWORD err = WriteAll(file.Get(), body)) {
            file.Reset();
            DeleteFileW(WinStr(wideTemp));
            return err;
        }
        // On the temporary file, whose handle is ours alone: a handle opened on the final name
        // afterwards could meet another photo of the same name being renamed over it. The rename
        // keeps the time.
        if (photoTime > 0) SetPhotoTime(file.Get(), photoTime);
        // The rename may reach the disk before the bytes do: after a power cut the final name
        // would stand over zeros of the right length, which the record takes for the picture.
        if (!FlushFileBuffers(file.Get())) {
            const DWORD err = GetLastError();
            file.Reset();
            DeleteFileW(WinStr(wideTemp));
            return err ? err : ERROR_WRITE_FAULT;
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
    if (!MoveFileExW(WinStr(wideTemp), WinStr(wideFinal),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD err = GetLastError();
        DeleteFileW(WinStr(wideTemp));
        return err;
    }
    return 0;
}

bool SetFileTimeToPhoto(const WideText& fileSystemPath, std::int32_t timestamp) {
    if (fileSystemPath.empty()) return false;
    UniqueHandle file(CreateFileW(WinStr(fileSystemPath), FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    return SetPhotoTime(file.Get(), timestamp);
}

bool BeginsLikePicture(const WideText& fileSystemPath) {
    if (fileSystemPath.empty()) return false;
    UniqueHandle file(CreateFileW(WinStr(fileSystemPath), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    ByteBuffer head(32, '\0');
    DWORD got = 0;
    if (!ReadFile(file.Get(), head.data(), static_cast<DWORD>(head.size()), &got, nullptr)) {
        return false;
    }
    head.resize(got);
    return LooksLikePicture(head);
}
