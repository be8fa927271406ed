#include "app/service/run_log.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdio>

#include "text/text_helpers.h"
#include "threads/handle.h"
#include "web/http_text.h"

namespace {

constexpr char16_t kLogName[] = u"pictalon.log";
constexpr char16_t kOldLogName[] = u"pictalon.log.1";

WideText LocalAppDataFolder() {
    TaskMemory<wchar_t> found;
    WideText out;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, found.Receive())) &&
        found)
        out = reinterpret_cast<const char16_t*>(found.Get());
    if (!out.empty()) out += u"\\Pictalon";
    return out;
}

WideText WithSeparator(WideText folder) {
    if (!folder.empty() && folder.back() != u'\\' && folder.back() != u'/') folder += u'\\';
    return folder;
}

Text LocalTimeStamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth,
             now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return stamp;
}

bool IsSecretField(std::string_view name) {
    const Text lower = LowerAscii(Text(name));
    for (const char* part : {"cookie", "token", "ticket", "qrid", "sess"})
        if (lower.find(part) != Text::npos) return true;
    return lower == "alt" || lower == "data" || lower == "sub" || lower == "subp";
}

}  // namespace

RunLog::RunLog(WideText folder, size_t rollBytes) : rollBytes_(rollBytes) {
    folder_ = WithSeparator(folder.empty() ? LocalAppDataFolder() : std::move(folder));
    if (!folder_.empty()) path_ = folder_ + kLogName;
}

void RunLog::AddLine(const Text& line) {
    if (path_.empty()) return;
    const ByteBuffer bytes = AnsiToUtf8(LocalTimeStamp() + line + "\r\n");
    std::lock_guard<std::mutex> guard(mutex_);
    CreateDirectoryW(WinStr(folder_), nullptr);
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (GetFileAttributesExW(WinStr(path_), GetFileExInfoStandard, &info) &&
        (static_cast<unsigned long long>(info.nFileSizeHigh) << 32 | info.nFileSizeLow) +
                bytes.size() >
            rollBytes_) {
        MoveFileExW(WinStr(path_), WinStr(folder_ + kOldLogName), MOVEFILE_REPLACE_EXISTING);
    }
    const UniqueHandle file(CreateFileW(WinStr(path_), FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD wrote = 0;
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr);
}

Text RedactedUrl(const Text& url) {
    const size_t query = url.find('?');
    if (query == Text::npos) return url;
    const size_t fragment = url.find('#', query);
    const size_t end = fragment == Text::npos ? url.size() : fragment;
    Text out = url.substr(0, query + 1);
    size_t at = query + 1;
    while (at <= end && at < url.size()) {
        size_t amp = url.find('&', at);
        if (amp == Text::npos || amp > end) amp = end;
        const std::string_view field(url.data() + at, amp - at);
        const size_t eq = field.find('=');
        if (eq != std::string_view::npos && IsSecretField(field.substr(0, eq))) {
            out.append(field.substr(0, eq + 1));
        } else {
            out.append(field);
        }
        if (amp < end) out += '&';
        at = amp + 1;
    }
    return out;
}
