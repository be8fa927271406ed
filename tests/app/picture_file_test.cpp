// Writing a picture through its temporary file.
#include <gtest/gtest.h>

#include "app/picture_file.h"
#include "app_test_support.h"

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

}  // namespace
