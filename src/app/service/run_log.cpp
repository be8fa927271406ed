#include "app/service/run_log.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/saved_settings.h"
#include "text/text_helpers.h"
#include "threads/handle.h"
#include "web/http_text.h"

namespace {

constexpr char16_t kLogName[] = u"pictalon.log";
constexpr char16_t kOldLogName[] = u"pictalon.log.1";
constexpr char kProgramVersion[] = "6.0.0.0";
// Shorter values (a cookie's "1", a flag) would cut ordinary words and numbers out of lines.
constexpr size_t kShortestSecret = 6;
// Secrets a long session learns (each renewed sign-in brings new ones) stay bounded.
constexpr size_t kKeptSecrets = 256;
// How much of each log file the next start reads for its last run number.
constexpr size_t kTailBytes = size_t{256} << 10;

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

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

Text PercentDecoded(std::string_view text) {
    Text out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i] == '+' ? ' ' : text[i];
        }
    }
    return out;
}

Text PercentEncoded(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    Text out;
    for (const char c : text) {
        if (IsNameChar(c) || c == '.' || c == '~') {
            out += c;
        } else {
            const auto b = static_cast<unsigned char>(c);
            out += {'%', kHex[b >> 4], kHex[b & 15]};
        }
    }
    return out;
}

void ReplaceAll(Text& line, const Text& what, const char* with) {
    for (size_t at = line.find(what); at != Text::npos; at = line.find(what, at)) {
        line.replace(at, what.size(), with);
        at += strlen(with);
    }
}

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view prefix) {
    if (text.size() - at < prefix.size()) return false;
    return LowerAscii(Text(text.substr(at, prefix.size()))) == prefix;
}

// Where the value after a field's name ends: at the next field, fragment, quote or blank; an
// encoded value at the next encoded '&' or '#' too.
size_t ValueEnd(const Text& line, size_t at, bool encoded, char quote) {
    for (size_t i = at; i < line.size(); ++i) {
        const char c = line[i];
        if (quote != 0) {
            if (c == quote) return i;
            continue;
        }
        if (c == '&' || c == '#' || c == '"' || c == '\'' || c == ';' || c == ',' || c == '<' ||
            c == '>' || static_cast<unsigned char>(c) <= ' ')
            return i;
        if (encoded && (StartsWithNoCase(line, i, "%26") || StartsWithNoCase(line, i, "%23")))
            return i;
    }
    return line.size();
}

// Empties the value of every field whose name says it is secret, however the line holds it.
Text WithoutSecretFields(const Text& line) {
    Text out;
    size_t i = 0;
    while (i < line.size()) {
        if (!IsNameChar(line[i]) || (i > 0 && IsNameChar(line[i - 1]))) {
            out += line[i++];
            continue;
        }
        const size_t start = i;
        size_t end = i;
        while (end < line.size() && IsNameChar(line[end])) ++end;
        out.append(line, i, end - i);
        // After an encoded separator ("%26alt%3D"), the name starts past the escape's digits.
        const size_t name = start > 0 && line[start - 1] == '%' && end - start > 2 &&
                                    HexValue(line[start]) >= 0 && HexValue(line[start + 1]) >= 0
                                ? start + 2
                                : start;
        const bool secret = IsSecretField(std::string_view(line).substr(name, end - name));
        i = end;
        if (!secret) continue;
        size_t value = Text::npos;
        bool encoded = false;
        char quote = 0;
        if (i < line.size() && line[i] == '=') {
            value = i + 1;
        } else if (StartsWithNoCase(line, i, "%3d")) {
            value = i + 3;
            encoded = true;
        } else if (start > 0 && line[start - 1] == '"' && line.compare(i, 3, "\":\"") == 0) {
            value = i + 3;
            quote = '"';
        }
        if (value == Text::npos) continue;
        out.append(line, i, value - i);
        i = ValueEnd(line, value, encoded, quote);
    }
    return out;
}

Text EscapedControls(const Text& line) {
    Text out;
    for (const char c : line) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7F) {
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        }
    }
    return out;
}

// The last kTailBytes of a file; empty when it cannot be read.
Text FileTail(const WideText& path) {
    const UniqueHandle file(CreateFileW(WinStr(path), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0) return Text();
    const auto total = static_cast<unsigned long long>(size.QuadPart);
    const size_t want = static_cast<size_t>(std::min<unsigned long long>(total, kTailBytes));
    LARGE_INTEGER from{};
    from.QuadPart = static_cast<LONGLONG>(total - want);
    Text bytes(want, '\0');
    DWORD got = 0;
    if (!SetFilePointerEx(file.Get(), from, nullptr, FILE_BEGIN) ||
        !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(want), &got, nullptr))
        return Text();
    bytes.resize(got);
    return bytes;
}

}  // namespace

RunLog::RunLog(WideText folder, size_t rollBytes) : rollBytes_(rollBytes) {
    folder_ = WithSeparator(folder.empty() ? UserDataFolder() : std::move(folder));
    if (!folder_.empty()) path_ = folder_ + kLogName;
}

void RunLog::AddLine(const Text& line) {
    if (path_.empty()) return;
    std::lock_guard<std::mutex> guard(mutex_);
    const ByteBuffer bytes = AnsiToUtf8(LocalTimeStamp() + LoggableLine(line, secrets_) + "\r\n");
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

void RunLog::AddSecret(const Text& value) {
    if (value.size() < kShortestSecret) return;
    std::lock_guard<std::mutex> guard(mutex_);
    for (const Text& form : {value, PercentEncoded(value)}) {
        if (std::find(secrets_.begin(), secrets_.end(), form) != secrets_.end()) continue;
        if (secrets_.size() >= kKeptSecrets) secrets_.erase(secrets_.begin());
        secrets_.push_back(form);
    }
}

void RunLog::LearnSecretsIn(const Text& url) {
    // An address inside an address inside an address is as deep as the login goes.
    Text address = url;
    for (int depth = 0; depth < 3 && !address.empty(); ++depth) {
        Text carried;
        size_t at = 0;
        while (at < address.size()) {
            const size_t end = std::min(address.find_first_of("?#&", at), address.size());
            const std::string_view field(address.data() + at, end - at);
            const size_t eq = field.find('=');
            if (eq != std::string_view::npos) {
                const std::string_view value = field.substr(eq + 1);
                if (IsSecretField(field.substr(0, eq))) {
                    AddSecret(Text(value));
                    AddSecret(PercentDecoded(value));
                }
                if (value.find('%') != std::string_view::npos)
                    carried += PercentDecoded(value) + '&';
            }
            at = end + 1;
        }
        address = std::move(carried);
    }
}

void RunLog::LearnCookies(const Text& cookies) {
    size_t at = 0;
    while (at < cookies.size()) {
        const size_t end = std::min(cookies.find(';', at), cookies.size());
        const size_t eq = cookies.find('=', at);
        if (eq != Text::npos && eq < end) AddSecret(cookies.substr(eq + 1, end - eq - 1));
        at = end + 1;
    }
}

std::vector<Text> RunLog::Secrets() {
    std::lock_guard<std::mutex> guard(mutex_);
    return secrets_;
}

void RunLog::NoteStart() {
    AddLine(JoinTexts("Pictalon ", kProgramVersion, " starts, process ",
                      std::to_string(GetCurrentProcessId())));
}

unsigned RunLog::LastRunNumber() const {
    if (path_.empty()) return 0;
    return std::max(HighestRunNumber(FileTail(path_)),
                    HighestRunNumber(FileTail(folder_ + kOldLogName)));
}

Text LoggableLine(const Text& line, const std::vector<Text>& secrets) {
    Text out = line;
    for (const Text& secret : secrets) ReplaceAll(out, secret, "***");
    return EscapedControls(WithoutSecretFields(out));
}

unsigned HighestRunNumber(std::string_view logText) {
    unsigned highest = 0;
    for (size_t at = logText.find("run "); at != std::string_view::npos;
         at = logText.find("run ", at + 4)) {
        if (at > 0 && IsNameChar(logText[at - 1])) continue;
        unsigned long number = 0;
        size_t i = at + 4;
        for (; i < logText.size() && logText[i] >= '0' && logText[i] <= '9' && number < 1000000000;
             ++i)
            number = number * 10 + static_cast<unsigned>(logText[i] - '0');
        if (i > at + 4) highest = std::max(highest, static_cast<unsigned>(number));
    }
    return highest;
}
