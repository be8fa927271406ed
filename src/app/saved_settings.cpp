#include "app/saved_settings.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <string>

#include "text/text_helpers.h"
#include "threads/handle.h"

namespace {

constexpr char kFolderField[] = "folder=";
constexpr char kSizeField[] = "size=";
constexpr char kHomeField[] = "home=";

bool OneLine(const Text& value) {
    return value.find_first_of("\r\n") == Text::npos;
}

// A size by its address segment without the slashes ("mw1024").
std::string_view SizeName(PictureSize size) {
    const std::string_view segment = VariantOf(size).segment;
    return segment.substr(1, segment.size() - 2);
}

}  // namespace

WideText UserDataFolder() {
    WideText folder(32768, u'\0');
    const DWORD n =
        GetEnvironmentVariableW(L"PICTALON_LOCALAPPDATA", reinterpret_cast<wchar_t*>(folder.data()),
                                static_cast<DWORD>(folder.size()));
    folder.resize(n < folder.size() ? n : 0);
    // The long-path form later made of it takes no forward slashes.
    std::replace(folder.begin(), folder.end(), u'/', u'\\');
    // A folder of the tests' own need not exist yet; the user's always does.
    if (!folder.empty()) CreateDirectoryW(WinStr(folder), nullptr);
    if (folder.empty()) {
        TaskMemory<wchar_t> found;
        if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr,
                                           found.Receive())) &&
            found)
            folder = reinterpret_cast<const char16_t*>(found.Get());
    }
    return folder.empty() ? folder : folder + u"\\Pictalon";
}

Text SettingsText(const KeptSettings& settings) {
    Text out;
    if (!settings.saveFolder.empty() && OneLine(settings.saveFolder))
        out += JoinTexts(kFolderField, settings.saveFolder, "\r\n");
    if (settings.size) out += JoinTexts(kSizeField, SizeName(*settings.size), "\r\n");
    if (!settings.homePage.empty() && OneLine(settings.homePage))
        out += JoinTexts(kHomeField, settings.homePage, "\r\n");
    return out;
}

KeptSettings ReadSettingsText(std::string_view text) {
    KeptSettings kept;
    while (!text.empty()) {
        const size_t end = std::min(text.find_first_of("\r\n"), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        const auto value = [&line](std::string_view field) {
            return line.substr(0, field.size()) == field
                       ? std::optional<Text>(line.substr(field.size()))
                       : std::nullopt;
        };
        if (const auto folder = value(kFolderField)) kept.saveFolder = *folder;
        if (const auto home = value(kHomeField)) kept.homePage = *home;
        if (const auto size = value(kSizeField)) {
            for (const SizeVariant& v : kSizeVariants)
                if (*size == SizeName(v.size)) kept.size = v.size;
        }
    }
    return kept;
}

SavedSettings::SavedSettings() : SavedSettings(UserDataFolder()) {}

SavedSettings::SavedSettings(WideText folder) : folder_(std::move(folder)) {
    while (!folder_.empty() && (folder_.back() == u'\\' || folder_.back() == u'/'))
        folder_.pop_back();
    if (!folder_.empty()) path_ = folder_ + u"\\settings.txt";
}

bool SavedSettings::Save(const KeptSettings& settings) const {
    if (path_.empty()) return false;
    CreateDirectoryW(WinStr(folder_), nullptr);
    const ByteBuffer bytes = AnsiToUtf8(SettingsText(settings));
    const std::string pid = std::to_string(GetCurrentProcessId());
    const WideText temp = path_ + u"." + WideText(pid.begin(), pid.end()) + u".new";
    bool written = false;
    {
        const UniqueHandle file(CreateFileW(WinStr(temp), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD wrote = 0;
        written = file &&
                  WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote,
                            nullptr) &&
                  wrote == bytes.size();
    }
    if (written && MoveFileExW(WinStr(temp), WinStr(path_), MOVEFILE_REPLACE_EXISTING)) return true;
    DeleteFileW(WinStr(temp));
    return false;
}

KeptSettings SavedSettings::Load() const {
    if (path_.empty()) return KeptSettings();
    const UniqueHandle file(CreateFileW(WinStr(path_), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return KeptSettings();
    Text bytes(kMaxBytes, '\0');
    DWORD got = 0;
    if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
        return KeptSettings();
    bytes.resize(got);
    // A file longer than we read: its last line may be cut, so it does not count.
    if (got == kMaxBytes) bytes.resize(bytes.find_last_of('\n') + 1);
    return ReadSettingsText(Utf8ToAnsi(bytes));
}
