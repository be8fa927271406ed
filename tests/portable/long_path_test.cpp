// The form in which paths reach the file system.
#include "app/download/long_path.h"

#include <gtest/gtest.h>

#include <string>

#include "text/text_helpers.h"

namespace {

Text Repeat(const Text& part, size_t times) {
    Text out;
    for (size_t i = 0; i < times; ++i) out += part;
    return out;
}

TEST(FileSystemPath, GivesLongPathsTheExtendedFormAndNormalisesThem) {
    const Text deep = Repeat("folder-xyz\\", 30);  // 330 bytes
    const Text yun = "\xBA\xC3\xDF\x5C";           // 好運: its trail byte is no separator
    struct Case {
        Text path;
        Text expected;  // code page 936; empty means refused
    };
    const Case cases[] = {
        {"C:\\save\\a.jpg", "C:\\save\\a.jpg"},  // short: as it is
        {"C:/a/../b", "C:/a/../b"},
        {Text("C:\\") + Repeat("x", 243), Text("C:\\") + Repeat("x", 243)},  // 246 units: short
        {Text("C:\\") + Repeat("x", 245), Text("\\\\?\\C:\\") + Repeat("x", 245)},  // 248
        {"C:\\" + deep, "\\\\?\\C:\\" + deep},
        {"a:/x/../" + Repeat("folder-xyz/", 30) + "a.jpg", "\\\\?\\a:\\" + deep + "a.jpg"},
        {"C:\\" + deep + ".\\x\\..\\\\a.jpg", "\\\\?\\C:\\" + deep + "a.jpg"},
        {"C:\\" + deep + "..\\a.jpg", "\\\\?\\C:\\" + Repeat("folder-xyz\\", 29) + "a.jpg"},
        {"C:\\..\\" + deep, ""},  // climbs above the drive
        {"\\\\server\\share\\x\\..\\" + deep, "\\\\?\\UNC\\server\\share\\" + deep},
        {"\\\\server\\share\\..\\" + deep, ""},                            // climbs above the share
        {"\\\\?\\C:\\" + deep + "..\\x", "\\\\?\\C:\\" + deep + "..\\x"},  // already extended
        {"\\\\?\\UNC\\s\\h\\" + deep, "\\\\?\\UNC\\s\\h\\" + deep},
        {deep, ""},         // relative
        {"C:" + deep, ""},  // drive-relative
        {"\\" + deep, ""},  // rooted without a drive
        {"C:\\" + Repeat(yun, 130) + "\\a.jpg", "\\\\?\\C:\\" + Repeat(yun, 130) + "\\a.jpg"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AnsiToWide(c.expected), FileSystemPath(c.path)) << c.path;
        // A file's path made from its folder's form is the same path.
        const size_t cut = c.path.find_last_of("\\/");
        const Text name = cut == Text::npos ? Text() : c.path.substr(cut + 1);
        if (cut != Text::npos && name != "..")
            EXPECT_EQ(FileSystemPath(c.path),
                      FileSystemPathIn(FileSystemPath(c.path.substr(0, cut + 1)), name))
                << c.path;
    }
}

}  // namespace
