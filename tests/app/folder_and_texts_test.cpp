// The folder chooser's answer, the page arithmetic and the texts the user reads.
#include <gtest/gtest.h>

#include "app/download_driver.h"
#include "app/download_job.h"
#include "app/folder_commands.h"
#include "app/main_window.h"
#include "app/texts.h"
#include "text/text_helpers.h"

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
    EXPECT_EQ(ChosenFolderResult("photos?", Text("D:\\photos?")), "");
    EXPECT_EQ(ChosenFolderResult("  photos ", Text("D:\\ph?tos")), "");
    EXPECT_EQ(ChosenFolderResult("  photos  ", Text("D:\\photos")), "D:\\photos");
}

TEST(PhotoPages, AreThirtyTwoPhotosEach) {
    EXPECT_EQ(PageCount(0), 0);
    EXPECT_EQ(PageCount(-5), 0);
    EXPECT_EQ(PageCount(1), 1);
    EXPECT_EQ(PageCount(32), 1);
    EXPECT_EQ(PageCount(33), 2);
    EXPECT_EQ(PageCount(64), 2);
    EXPECT_EQ(PageCount(65), 3);
}

TEST(StatusTexts, CountTheRunAsTheUserReadsIt) {
    EXPECT_EQ(AnsiToUtf8(ProgressStatus(3, 40)),
              "  状态:正在下载中,请耐心等待,可能需要一阵子时间;当前下载进度 3/40");
    EXPECT_EQ(AnsiToUtf8(FinishedStatus(9, 11)),
              "  状态:全部下载完成,当前已下载 9张 共 11张 请单击鼠标右键打开目录;");
}

TEST(AboutText, HasFiveBlocksNewestFirstAndNoTrailingLineBreak) {
    const Text about = MainWindow::AboutText();
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
