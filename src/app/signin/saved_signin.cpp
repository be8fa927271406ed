#include "app/signin/saved_signin.h"

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <utility>

#include "app/saved_settings.h"
#include "threads/handle.h"

namespace {

// The sealed sign-in is a few kilobytes; anything much larger is not one.
constexpr DWORD kMaxFileBytes = 1u << 20;

WideText WithoutTrailingSeparator(WideText folder) {
    while (!folder.empty() && (folder.back() == u'\\' || folder.back() == u'/')) {
        folder.pop_back();
    }
    return folder;
}

bool WriteNewFile(const WideText& path, const DATA_BLOB& blob) {
    UniqueHandle file(CreateFileW(WinStr(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD wrote = 0;
    return file && WriteFile(file.Get(), blob.pbData, blob.cbData, &wrote, nullptr) &&
           wrote == blob.cbData && FlushFileBuffers(file.Get());
}

ByteBuffer ReadSmallFile(const WideText& path) {
    UniqueHandle file(CreateFileW(WinStr(path), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 ||
        size.QuadPart > kMaxFileBytes) {
        return ByteBuffer();
    }
    ByteBuffer bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
        got != bytes.size()) {
        return ByteBuffer();
    }
    return bytes;
}

}  // namespace

SavedSignIn::SavedSignIn() : SavedSignIn(UserDataFolder()) {}

SavedSignIn::SavedSignIn(WideText folder) : folder_(WithoutTrailingSeparator(std::move(folder))) {
    if (!folder_.empty()) path_ = folder_ + u"\\signin.dat";
}

bool SavedSignIn::Save(const Text& cookies) const {
    if (path_.empty() || cookies.empty()) return false;
    DATA_BLOB plain{static_cast<DWORD>(cookies.size()),
                    reinterpret_cast<BYTE*>(const_cast<char*>(cookies.data()))};
    DATA_BLOB sealed{};
    if (!CryptProtectData(&plain, L"Pictalon sign-in", nullptr, nullptr, nullptr,
                          CRYPTPROTECT_UI_FORBIDDEN, &sealed)) {
        return false;
    }
    const LocalMemory<BYTE> sealedOwner(sealed.pbData);
    if (!CreateDirectoryW(WinStr(folder_), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
    }
    // A name of this process's own, so two programs saving at once never write one file.
    const std::string pid = std::to_string(GetCurrentProcessId());
    const WideText temp = path_ + u"." + WideText(pid.begin(), pid.end()) + u".new";
    if (!WriteNewFile(temp, sealed) ||
        !MoveFileExW(WinStr(temp), WinStr(path_),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(WinStr(temp));
        return false;
    }
    return true;
}

std::optional<Text> SavedSignIn::Load() const {
    if (path_.empty()) return std::nullopt;
    ByteBuffer sealedBytes = ReadSmallFile(path_);
    if (sealedBytes.empty()) return std::nullopt;
    DATA_BLOB sealed{static_cast<DWORD>(sealedBytes.size()),
                     reinterpret_cast<BYTE*>(sealedBytes.data())};
    DATA_BLOB plain{};
    if (!CryptUnprotectData(&sealed, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &plain)) {
        return std::nullopt;
    }
    const LocalMemory<BYTE> plainOwner(plain.pbData);
    Text cookies(reinterpret_cast<const char*>(plain.pbData), plain.cbData);
    // The cookies are the sign-in itself: no copy of them stays behind in freed memory.
    SecureZeroMemory(plain.pbData, plain.cbData);
    if (cookies.empty()) return std::nullopt;
    return cookies;
}

bool SavedSignIn::Delete() const {
    if (path_.empty()) return false;
    return DeleteFileW(WinStr(path_)) || GetLastError() == ERROR_FILE_NOT_FOUND ||
           GetLastError() == ERROR_PATH_NOT_FOUND;
}
