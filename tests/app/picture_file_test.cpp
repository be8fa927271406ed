// Writing a picture through its temporary file.
#include <gtest/gtest.h>

#include "app/download/picture_file.h"
#include "app_test_support.h"
#include "threads/handle.h"

namespace {

TEST(PictureFile, AStopBetweenTheWriteAndTheRenameLeavesNoFileBehind) {
    apptest::ScratchFolder scratch;
    const Text& at = scratch.Path();
    FlowToken running;
    EXPECT_EQ(WritePictureFile(at + "~1.part", at + "a.jpg", "picture a", running), 0u);
    // The token is looked at only once the bytes are written, so this write takes place and
    // meets the stop between it and the rename.
    FlowToken stopped;
    stopped.RequestStop();
    EXPECT_EQ(WritePictureFile(at + "~2.part", at + "b.jpg", "picture b", stopped),
              static_cast<DWORD>(ERROR_CANCELLED));
    const auto files = apptest::FilesIn(at);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.at("a.jpg"), "picture a");
}

TEST(PictureFile, TakesThePhotosTimeAsItsModificationTimeAndKeepsItsBytes) {
    apptest::ScratchFolder scratch;
    const Text path = scratch.Path() + "a.jpg";
    ASSERT_EQ(WritePictureFile(scratch.Path() + "~1.part", path, "picture a", FlowToken()), 0u);
    struct Case {
        std::int32_t timestamp;
        SYSTEMTIME utc;  // year, month, weekday, day, hour, minute, second, ms
    };
    const Case cases[] = {
        {1503392040, {2017, 8, 0, 22, 8, 54, 0, 0}},
        {0, {1970, 1, 0, 1, 0, 0, 0, 0}},
        {-2147483647 - 1, {1901, 12, 0, 13, 20, 45, 52, 0}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(SetFileTimeToPhoto(FileSystemPath(path), c.timestamp));
        FILETIME expected{}, written{};
        ASSERT_TRUE(SystemTimeToFileTime(&c.utc, &expected));
        UniqueHandle file(CreateFileW(WinStr(FileSystemPath(path)), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(GetFileTime(file.Get(), nullptr, nullptr, &written));
        EXPECT_EQ(CompareFileTime(&written, &expected), 0) << c.timestamp;
    }
    EXPECT_EQ(apptest::FilesIn(scratch.Path()).at("a.jpg"), "picture a");
    EXPECT_FALSE(SetFileTimeToPhoto(FileSystemPath(scratch.Path() + "missing.jpg"), 0));
}

}  // namespace
