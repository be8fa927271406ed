#include "app/download/file_naming.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// GBK bytes of a few characters used below.
const Text kZhong = "\xD6\xD0";    // 中
const Text kTrail5C = "\x81\x5C";  // a character whose trail byte is the backslash
const Text kTrail7C = "\x81\x7C";  // ... and one whose trail byte is "|"

TEST(TimeText, ShowsTheMomentInChinaStandardTime) {
    EXPECT_EQ(TimeText(0), "[1970.01.01-08.00]");
    EXPECT_EQ(TimeText(1504068705), "[2017.08.30-12.51]");
    EXPECT_EQ(TimeText(-28800), "[1970.01.01-00.00]");
    EXPECT_EQ(TimeText(-28801), "[1969.12.31-23.59]");
    EXPECT_EQ(TimeText(951782400 - 8 * 3600), "[2000.02.29-00.00]");  // leap day
    EXPECT_EQ(TimeText(951868800 - 8 * 3600), "[2000.03.01-00.00]");  // a 400-year era begins
    EXPECT_EQ(TimeText(2147483647), "[2038.01.19-11.14]");
    EXPECT_EQ(TimeText(-2147483647 - 1), "[1901.12.14-04.45]");
}

TEST(CleanCaption, RemovesEveryCharacterFileNamesCannotHold) {
    EXPECT_EQ(CleanCaption("a/b\\c:d*e<f>g|h?i\"j\nk\rl m"), "abcdefghijklm");
    EXPECT_EQ(CleanCaption("tab\there\x01\x1F"), "tabhere");
    EXPECT_EQ(CleanCaption("/\\:*<>|?\" \r\n"), "");
    EXPECT_EQ(CleanCaption(""), "");
}

TEST(CleanCaption, NeverTakesATrailByteForARemovedCharacter) {
    EXPECT_EQ(CleanCaption(kTrail5C + "/" + kTrail7C), kTrail5C + kTrail7C);
    EXPECT_EQ(CleanCaption(kZhong + " " + kZhong), kZhong + kZhong);
}

TEST(CleanCaption, KeepsAtMostTheFirst200BytesAndNeverHalfACharacter) {
    EXPECT_EQ(CleanCaption(std::string(250, 'x')), std::string(200, 'x'));
    // Spaces inside the first 200 bytes are removed after the cut, so fewer remain.
    EXPECT_EQ(CleanCaption(std::string(100, ' ') + std::string(150, 'y')), std::string(100, 'y'));
    // 199 ASCII bytes then a double-byte character straddling the limit: the character goes.
    EXPECT_EQ(CleanCaption(std::string(199, 'z') + kZhong + "tail"), std::string(199, 'z'));
    Text chinese;
    for (int i = 0; i < 120; ++i) chinese += kZhong;
    EXPECT_EQ(CleanCaption(chinese).size(), 200u);
}

TEST(SafeName, KeepsNamesInsideTheirFolder) {
    EXPECT_EQ(SafeName(".."), "_");
    EXPECT_EQ(SafeName("."), "_");
    EXPECT_EQ(SafeName(""), "_");
    EXPECT_EQ(SafeName("..\\..\\Windows"), "Windows");
    EXPECT_EQ(SafeName("../../x"), "x");
    EXPECT_EQ(SafeName("C:\\evil"), "Cevil");
    EXPECT_EQ(SafeName("  trip. "), "trip");
    EXPECT_EQ(SafeName("a\tb"), "ab");
    EXPECT_EQ(SafeName(kZhong + kTrail5C), kZhong + kTrail5C);
}

TEST(SafeName, AvoidsReservedDeviceNames) {
    EXPECT_EQ(SafeName("CON"), "_CON");
    EXPECT_EQ(SafeName("con.jpg"), "_con.jpg");
    EXPECT_EQ(SafeName("LPT1"), "_LPT1");
    EXPECT_EQ(SafeName("com9.txt"), "_com9.txt");
    EXPECT_EQ(SafeName("CONSOLE"), "CONSOLE");
    EXPECT_EQ(SafeName("LPT"), "LPT");
}

TEST(SafeName, ReservesDeviceNamesWhateverExtensionsFollow) {
    struct Case {
        const char* name;
        const char* safe;
    };
    const Case cases[] = {
        {"con.tar.gz", "_con.tar.gz"},
        {"LPT1.a.b", "_LPT1.a.b"},
        {"nul.txt", "_nul.txt"},
        {"COM1", "_COM1"},
        {"com0", "_com0"},
        {"com1.a", "_com1.a"},
        {"Com1.a.b.c", "_Com1.a.b.c"},
        {"aux .x.y", "_aux .x.y"},
        {"prn.", "_prn"},
        {"console.tar.gz", "console.tar.gz"},
        {"a.con.gz", "a.con.gz"},
        {"lpt1x.a.b", "lpt1x.a.b"},
        {"comX.a", "comX.a"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.safe, SafeName(c.name)) << c.name;
}

TEST(FileNames, StepByWholeCharactersOfCodePage936) {
    // 好運 ends in DF 5C, 誠 is D5 5C, 錦 E5 5C: their last byte is that of "\". 0x80 is the euro
    // sign, one byte, so the byte after it is a character of its own. 0x81 before "/" or 0x7F is
    // a lead byte without its trail byte: it goes, so the name stays well-formed.
    const Text unlucky[] = {"\xBA\xC3\xDF\x5C", "\xD5\x5C", "\xE5\x5C"};
    struct Case {
        Text raw;
        Text clean;
    };
    const Text price = "\xBC\xDB\xB8\xF1", discount = "\xD5\xDB\xBF\xDB";  // 价格, 折扣
    const Case cases[] = {
        {unlucky[0], unlucky[0]}, {unlucky[1], unlucky[1]},
        {unlucky[2], unlucky[2]}, {price + "\x80/" + discount, price + "\x80" + discount},
        {"\x80\\x", "\x80x"},     {"\x80?", "\x80"},
        {"\x80*", "\x80"},        {"\xFF/x", "\xFFx"},
        {"a\x81/b", "ab"},        {"a\x81\x7F", "a"},
    };
    const Text save = "C:\\save\\";
    for (const Case& c : cases) {
        EXPECT_EQ(c.clean, CleanCaption(c.raw)) << c.raw;
        EXPECT_EQ(c.clean, SafeName(c.raw)) << c.raw;
        const Text album = save + SafeName(c.raw) + "\\";
        EXPECT_TRUE(IsInsideFolder(album, album + PictureFileName(0, c.raw, c.raw))) << c.raw;
    }
    for (const Text& name : unlucky) {
        // Without its separator the folder runs into the next name ("好運" + "相册").
        EXPECT_FALSE(IsInsideFolder(save + name, save + name + "\xCF\xE0\\a.jpg")) << name;
        EXPECT_TRUE(IsInsideFolder(save + name + "\\", save + name + "\\a.jpg")) << name;
    }
    // The euro sign never hides a separator that climbs out.
    EXPECT_FALSE(IsInsideFolder(save, save + "\x80\\..\\..\\a.jpg"));
    EXPECT_EQ(PictureFileName(0, "", "a\x80.exe"), "[1970.01.01-08.00]-a\x80.exe.jpg");
}

TEST(PictureFileName, FollowsTheExtensionRule) {
    const Text t = "[1970.01.01-08.00]";
    EXPECT_EQ(PictureFileName(0, "trip", "abc.jpg"), t + "trip-abc.jpg");
    EXPECT_EQ(PictureFileName(0, "trip", "abc.gif"), t + "trip-abc.gif");
    EXPECT_EQ(PictureFileName(0, "", "abcdef"), t + "-abcdef.jpg");
    EXPECT_EQ(PictureFileName(0, "", "abc.jpeg"), t + "-abc.jpeg.jpg");
    EXPECT_EQ(PictureFileName(0, "", "abc.PNG"), t + "-abc.PNG");
}

TEST(PictureFileName, NeverWritesAProgramOrEscapesItsFolder) {
    const Text t = "[1970.01.01-08.00]";
    EXPECT_EQ(PictureFileName(0, "", "run.bat"), t + "-run.bat.jpg");
    EXPECT_EQ(PictureFileName(0, "", "x.exe"), t + "-x.exe.jpg");
    EXPECT_EQ(PictureFileName(0, "..\\..", "..\\..\\boot.ini"), t + "....-....boot.ini.jpg");
    const Text folder = "C:\\save\\nick\\album\\";
    EXPECT_TRUE(IsInsideFolder(folder, folder + PictureFileName(0, "../..", "../../x.jpg")));
}

TEST(IsInsideFolder, RejectsPathsThatClimbOut) {
    const Text f = "C:\\save\\album\\";
    EXPECT_TRUE(IsInsideFolder(f, f + "a.jpg"));
    EXPECT_TRUE(IsInsideFolder(f, f + kTrail5C + ".jpg"));
    EXPECT_FALSE(IsInsideFolder(f, f));
    EXPECT_FALSE(IsInsideFolder(f, f + "..\\a.jpg"));
    EXPECT_FALSE(IsInsideFolder(f, f + "sub\\..\\..\\a.jpg"));
    EXPECT_FALSE(IsInsideFolder(f, f + "a\\"));
    EXPECT_FALSE(IsInsideFolder(f, f + "x:y"));
    EXPECT_FALSE(IsInsideFolder(f, "C:\\save\\other\\a.jpg"));
    EXPECT_FALSE(IsInsideFolder("C:\\save\\album", "C:\\save\\albumX"));
}

}  // namespace
