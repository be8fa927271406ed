// The folder chooser's answer, the folders on disk and the texts the user reads.
#include <gtest/gtest.h>

#include "app/download/album_folder.h"
#include "app/download/run_progress.h"
#include "app/folder_commands.h"
#include "app/kept_settings.h"
#include "app/download/long_path.h"
#include "app/commands.h"
#include "fake_view.h"
#include "app/service/run_log.h"
#include "app/signin/qr_login.h"
#include "app/texts.h"
#include "app/window_view.h"
#include "app_test_support.h"
#include "text/text_helpers.h"
#include "threads/handle.h"

namespace {

TEST(ChosenFolder, DriveRootsKeepOneBackslashAndCancellingGivesNothing) {
    EXPECT_EQ(ChosenFolderResult("C:", Text("C:\\")), "C:\\");
    EXPECT_EQ(ChosenFolderResult("Pictures", Text("C:\\Users\\me\\Pictures")),
              "C:\\Users\\me\\Pictures");
    EXPECT_EQ(ChosenFolderResult("   ", std::nullopt), "");
    EXPECT_EQ(ChosenFolderResult("Network", Text("")), "");  // an item with no file-system path
}

TEST(ChosenFolder, ANameTheCodePageCannotHoldIsRefused) {
    // The display name or the converted path come back with "?" where a character was lost.
    EXPECT_EQ(ChosenFolderResult(" ?photos", Text("D:\\photos")), "");
    EXPECT_EQ(ChosenFolderResult("  photos ", Text("D:\\ph?tos")), "");
    EXPECT_EQ(ChosenFolderResult("  photos  ", Text("D:\\photos")), "D:\\photos");
}

// "打开目录" finds a folder past 248 characters; at start the folders of pictures under way an
// ended process left empty go, and one still holding a file stays.
TEST(Folders, LongOnesAreFoundAndEmptyPartFoldersLeftBehindGo) {
    const apptest::ScratchFolder scratch;
    Text deep = scratch.Path();
    for (int level = 0; level < 5; ++level) {
        deep += Text(50, static_cast<char>('a' + level)) + "\\";
        ASSERT_TRUE(apptest::MakeFolder(deep));
    }
    EXPECT_TRUE(IsExistingFolder(deep));
    EXPECT_FALSE(IsExistingFolder(deep + "missing\\"));
    EXPECT_FALSE(IsExistingFolder(""));
    for (const char* owner : {"A\\", "B\\"}) {
        ASSERT_TRUE(apptest::MakeFolder(deep + owner));
        ASSERT_TRUE(apptest::MakeFolder(deep + owner + "~pictalon-parts\\"));
    }
    const UniqueHandle part(
        CreateFileW(WinStr(FileSystemPath(deep + "B\\~pictalon-parts\\~1.part")), GENERIC_WRITE, 0,
                    nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(part);
    AlbumFolder::RemoveEmptyPartFolders(deep);
    EXPECT_FALSE(apptest::FolderExists(deep + "A\\~pictalon-parts\\"));
    EXPECT_TRUE(apptest::FolderExists(deep + "A\\"));
    EXPECT_TRUE(apptest::FolderExists(deep + "B\\~pictalon-parts\\"));
}

TEST(RunLog, CutsSecretsOutOfAddressesAndKeepsOneOlderFile) {
    const struct {
        const char* url;
        const char* logged;
    } cases[] = {
        {"https://login.sina.com.cn/sso/qrcode/check?entry=weibo&qrid=Q42&callback=STK_1",
         "https://login.sina.com.cn/sso/qrcode/check?entry=weibo&qrid=&callback=STK_1"},
        {"https://x.cn/sso/login.php?entry=weibo&alt=ALT9&savestate=30",
         "https://x.cn/sso/login.php?entry=weibo&alt=&savestate=30"},
        {"https://x.cn/crossdomain?Ticket=T1&SSO_Token=S2&cookie_x=C3&sessionid=D4#frag",
         "https://x.cn/crossdomain?Ticket=&SSO_Token=&cookie_x=&sessionid="},
        {"https://v2.qr.weibo.cn/inf/gen?api_key=k&data=https%3A%2F%2Fqr%3Fqr%3DTOKEN",
         "https://v2.qr.weibo.cn/inf/gen?api_key=k&data="},
        {"https://photo.weibo.com/photos/get_all?uid=1&album_id=2&page=3",
         "https://photo.weibo.com/photos/get_all?uid=1&album_id=2&page=3"},
        {"http://wx1.sinaimg.cn/mw1024/a.jpg", "http://wx1.sinaimg.cn/mw1024/a.jpg"},
    };
    for (const auto& c : cases) EXPECT_EQ(RedactedUrl(c.url), c.logged) << c.url;
    // By value, whatever the shape; by name anywhere in a line; control characters escaped.
    RunLog known(AnsiToWide(apptest::ScratchFolder().Path()));
    known.LearnCookies("SUB=_2Asub-VAL; ALF=1; SUBP=0033p+v/");
    known.AddSecret("QRID0042");
    known.LearnSecretsIn("https://p.cn/x?url=https%3A%2F%2Fa.cn%2Fl%3Fticket%3DST-77x%26r%3D1");
    const struct {
        const char* line;
        const char* logged;
    } lines[] = {
        {"GET https://l.cn/sso/qrcode/QRID0042.png -> status 404",
         "GET https://l.cn/sso/qrcode/***.png -> status 404"},
        {"GET https://l.cn/b?r=https%3A%2F%2Fa.cn%3Fticket%3DST-77x%26alt%3DA1%26r%3D1",
         "GET https://l.cn/b?r=https%3A%2F%2Fa.cn%3Fticket%3D%26alt%3D%26r%3D1"},
        {"GET https://a.cn/l#Ticket=ST-9&x=1 -> JSON: {\"token\":\"t0k\",\"n\":1}",
         "GET https://a.cn/l#Ticket=&x=1 -> JSON: {\"token\":\"\",\"n\":1}"},
        {"cookies _2Asub-VAL and 0033p%2Bv%2F, ALF=1", "cookies *** and ***, ALF=1"},
        {"album \xB9\xFE\r\nrun 9 ends\t\x01", "album \xB9\xFE\\r\\nrun 9 ends\\t\\x01"},
    };
    for (const auto& c : lines) EXPECT_EQ(LoggableLine(c.line, known.Secrets()), c.logged);
    EXPECT_EQ(HighestRunNumber("run 7 begins\nrun 12, album 1/2\nrerun 99\nrun 3 ends"), 12u);

    const apptest::ScratchFolder scratch;
    const Text folder = scratch.Path() + "logs\\";
    RunLog log(AnsiToWide(folder), 300);
    for (int i = 0; i < 12; ++i) log.AddLine(JoinTexts("line ", std::to_string(i), " \xB9\xFE"));
    const auto files = apptest::FilesIn(folder);
    ASSERT_EQ(files.size(), 2u);
    const ByteBuffer& current = files.at("pictalon.log");
    const ByteBuffer& older = files.at("pictalon.log.1");
    EXPECT_LE(current.size(), 300u);
    EXPECT_NE(current.find("line 11 \xE5\x93\x88\r\n"), ByteBuffer::npos);  // UTF-8 "哈"
    EXPECT_EQ(older.find("line 11"), ByteBuffer::npos);
    EXPECT_NE(older.find("line "), ByteBuffer::npos);
}

// Kept and restored; a folder that went gives way to the program's own; a huge file costs only
// its first kilobytes, and its cut last line does not count.
TEST(SavedSettings, ComeBackAtTheNextStartAsFarAsTheyStillHold) {
    const apptest::ScratchFolder scratch;
    FakeView view;
    AppState app(view, AnsiToWide(scratch.Path()));
    app.UseSettingsStore(SavedSettings(AnsiToWide(scratch.Path())));
    for (const Text& folder : {scratch.Path() + "gone\\", scratch.Path()}) {
        app.Settings().SetSaveFolder(folder);
        app.Settings().SetSize(PictureSize::kSmall);
        app.Settings().SetHomePage("http://weibo.com/u/42");
        KeepSettings(app);
        app.Settings().SetSaveFolder("C:\\program\\");
        RestoreSettings(app);
        EXPECT_EQ(app.Settings().SaveFolder(),
                  folder == scratch.Path() ? folder : Text("C:\\program\\"));
        EXPECT_EQ(app.Settings().HomePage(), "http://weibo.com/u/42");
        EXPECT_EQ(app.Settings().Size(), PictureSize::kSmall);
    }
    const Text huge = "size=large\r\n" + Text(SavedSettings::kMaxBytes, 'x') + "\nhome=h\n";
    {
        const UniqueHandle file(CreateFileW(WinStr(AnsiToWide(scratch.Path() + "settings.txt")),
                                            GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD wrote = 0;
        ASSERT_TRUE(
            WriteFile(file.Get(), huge.data(), static_cast<DWORD>(huge.size()), &wrote, nullptr));
    }
    const KeptSettings kept = app.SettingsStore().Load();
    EXPECT_EQ(kept.size, PictureSize::kOriginal);
    EXPECT_EQ(kept.homePage, "");
}

TEST(StatusTexts, CountTheRunAsTheUserReadsIt) {
    EXPECT_EQ(AnsiToUtf8(ProgressStatus(3, 40)),
              "  状态:正在下载中,请耐心等待,可能需要一阵子时间;当前下载进度 3/40");
    EXPECT_EQ(AnsiToUtf8(FinishedStatus(9, 11)),
              "  状态:全部下载完成,当前已下载 9张 共 11张 请单击鼠标右键打开目录;");
    EXPECT_EQ(
        AnsiToUtf8(ProgressStatus(3, 40, AlbumPlace(2, 5, "A{done}"))),
        "  状态:正在下载中,请耐心等待,可能需要一阵子时间;当前下载进度 3/40 第 2/5 个相册 A{done}");
    EXPECT_EQ(AnsiToUtf8(QrLogin::RetryStatus(2000)), "  状态:获取二维码失败,2秒后重新获取;");
}

TEST(AboutText, HasFiveBlocksNewestFirstAndNoTrailingLineBreak) {
    const Text about = WindowView::AboutText();
    EXPECT_EQ(about.rfind("What's new:\r\n2017.10.26\r\n" + std::string(32, '=') + "\r\n1.", 0),
              0u);
    int blocks = 0;
    for (size_t at = about.find("What's new:"); at != Text::npos;
         at = about.find("What's new:", at + 1))
        ++blocks;
    EXPECT_EQ(blocks, 5);
    EXPECT_EQ(about.find("\r\n\r\nWhat's new:\r\n2016.11.11"), about.rfind("\r\n\r\n"));
    EXPECT_NE(about.back(), '\n');
    EXPECT_EQ(AnsiToUtf8(about.substr(about.rfind("\r\n") + 2)),
              "2.将程序图标升级为64*64大小,更加适合Win7以上用户；");
}

}  // namespace
