// Random bytes as nick, album caption and picture name through the naming of folders and files.
// The input is split at its first two NUL bytes (nick, caption, picture name); the first four
// bytes also give the picture's time, and the lowest bit of the size picks a save folder deep
// enough that every path takes the long form. Whatever the names, the picture's path stays
// inside its album folder, every name is one well-formed code-page-936 name with no separator,
// wildcard or control character, and the path the file system gets is never refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "app/download/file_naming.h"
#include "app/download/long_path.h"
#include "text/text_helpers.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool IsDevice(std::string_view name) {
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    Text upper(base);
    for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    for (const char* d : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (upper == d) return true;
    }
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
           upper[3] >= '0' && upper[3] <= '9';
}

// One name: non-empty, well-formed, only characters a file name may hold, no dots or spaces at
// its ends, never "." or "..", never a device.
void CheckName(const Text& name) {
    Check(!name.empty() && IsWellFormed936(name));
    for (size_t i = 0; i < name.size(); i += CharBytes936(name, i)) {
        if (CharBytes936(name, i) == 2) continue;
        const auto c = static_cast<unsigned char>(name[i]);
        Check(c >= 32 && c != 127 && std::strchr("/\\:*?\"<>|", c) == nullptr);
    }
    Check(name.front() != '.' && name.front() != ' ' && name.back() != '.' && name.back() != ' ');
    Check(!IsDevice(name));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t a = input.find('\0');
    const size_t b = a == std::string_view::npos ? a : input.find('\0', a + 1);
    const Text nick(input.substr(0, a));
    const Text caption =
        a == std::string_view::npos ? Text() : Text(input.substr(a + 1, b - a - 1));
    const Text picName = b == std::string_view::npos ? Text() : Text(input.substr(b + 1));
    std::int32_t timestamp = 0;
    if (size >= 4) std::memcpy(&timestamp, data, 4);

    const Text cleaned = CleanCaption(caption);
    Check(cleaned.size() <= 200 && IsWellFormed936(cleaned));
    Check(cleaned.find(' ') == Text::npos);
    const Text nickName = SafeName(nick), albumName = SafeName(caption);
    Check(IsSafeName(nick) == (nickName == nick) && IsSafeName(nickName));
    const Text fileName = PictureFileName(timestamp, caption, picName);
    CheckName(nickName);
    CheckName(albumName);
    CheckName(fileName);
    static constexpr std::string_view kPictures[] = {".jpg", ".jpeg", ".png",
                                                     ".gif", ".webp", ".bmp"};
    bool picture = false;
    for (std::string_view ext : kPictures) {
        const std::string_view tail = std::string_view(fileName).substr(
            fileName.size() >= ext.size() ? fileName.size() - ext.size() : 0);
        Text lower(tail);
        for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        picture = picture || lower == ext;
    }
    Check(picture);

    const Text save = (size & 1) ? "C:\\" + Text(250, 'd') + "\\" : Text("C:\\save\\");
    const Text nickFolder = EnsureTrailingBackslash(save + nickName);
    const Text album = EnsureTrailingBackslash(nickFolder + albumName);
    Check(nickFolder == save + nickName + "\\" && album == nickFolder + albumName + "\\");
    const Text path = album + fileName;
    Check(IsInsideFolder(album, path) && IsInsideFolder(nickFolder, path) &&
          IsInsideFolder(save, path));
    Check(IsWellFormed936(path));

    const WideText wide = FileSystemPath(path);
    Check(!wide.empty());
    if (wide.size() >= 4 && wide.compare(0, 4, u"\\\\?\\") == 0) {
        Check(wide.find(u'/') == WideText::npos && wide.find(u"\\..\\") == WideText::npos &&
              wide.find(u"\\.\\") == WideText::npos && wide.find(u"\\\\", 4) == WideText::npos);
    } else {
        Check(wide == AnsiToWide(path) && wide.size() < kLongPathUnits);
    }
    return 0;
}
