// One album's folder on disk: pictures written through the folder of pictures under way, the
// record of what was written, and what that record says is already there.
#include <gtest/gtest.h>

#include "app/download/album_folder.h"
#include "app/download/album_record.h"
#include "app/download/long_path.h"
#include "app_test_support.h"
#include "threads/handle.h"

namespace {

void WriteBytes(const Text& path, const ByteBuffer& bytes, bool append = false) {
    UniqueHandle file(CreateFileW(WinStr(FileSystemPath(path)), FILE_APPEND_DATA | GENERIC_READ, 0,
                                  nullptr, append ? OPEN_EXISTING : CREATE_ALWAYS, 0, nullptr));
    DWORD wrote = 0;
    ASSERT_TRUE(file && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                  &wrote, nullptr));
}

DWORD Put(const AlbumFolder& folder, const PhotoRecord& photo, const ByteBuffer& body,
          const FlowToken& token = FlowToken()) {
    return folder.Write(photo, folder.FileNameOf(photo), body, "~1.part", token);
}

TEST(AlbumFolder, WritesThroughThePartFolderUnderThePhotosNameAndNothingOnceStopped) {
    apptest::ScratchFolder scratch;
    const Text album = scratch.Path() + "album\\";
    const Text part = scratch.Path() + "part\\";
    ASSERT_TRUE(apptest::MakeFolder(album) && apptest::MakeFolder(part));
    const AlbumFolder folder(album, part, PictureSize::kHigh);
    const PhotoRecord sea{"sea", "h", "0069a.jpg", 1503392040};
    ASSERT_EQ(Put(folder, sea, "picture a"), 0u);
    FlowToken stopped;
    stopped.RequestStop();
    EXPECT_EQ(Put(folder, PhotoRecord{"sky", "h", "0069b.jpg", 1}, "picture b", stopped),
              static_cast<DWORD>(ERROR_CANCELLED));
    const auto files = apptest::FilesIn(album);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.at("[2017.08.22-16.54]sea-0069a.jpg"), "picture a");
    EXPECT_TRUE(apptest::FilesIn(part).empty());
}

TEST(AlbumFolder, SkipsAPictureOnlyWhileItsRecordedFileIsThereWithItsLength) {
    apptest::ScratchFolder scratch;
    const Text& album = scratch.Path();
    const PhotoRecord a{"a", "h", "0069a.jpg", 1};
    const PhotoRecord b{"\xBA\xC3\xDF\x5C", "h", "0069b.jpg", 1};  // 好運: a trail byte 0x5C
    AlbumFolder first(album, Text(), PictureSize::kOriginal, "u1", "a1");
    EXPECT_EQ(first.ReadWhatIsThere(), 0u);  // no record yet
    ASSERT_EQ(Put(first, a, "12345"), 0u);
    const Text record = album + kAlbumRecordFileName;
    const DWORD attributes = GetFileAttributesW(WinStr(FileSystemPath(record)));
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    // A window closed in the middle of a write leaves a torn line; the next append goes on.
    WriteBytes(record, "p\tu1\ta1\t0069x", true);
    ASSERT_EQ(Put(first, b, "123"), 0u);
    ASSERT_EQ(Put(AlbumFolder(album, Text(), PictureSize::kOriginal, "u1", "a2"),
                  PhotoRecord{"c", "h", "0069c.jpg", 1}, "123"),
              0u);
    const auto there = [&](PictureSize size, const Text& picName) {
        AlbumFolder folder(album, Text(), size, "u1", "a1");
        folder.ReadWhatIsThere();
        return folder.AlreadyThere(picName);
    };
    EXPECT_TRUE(there(PictureSize::kOriginal, "0069a.jpg"));
    EXPECT_TRUE(there(PictureSize::kOriginal, "0069b.jpg"));
    EXPECT_FALSE(there(PictureSize::kHigh, "0069a.jpg"));      // another size
    EXPECT_FALSE(there(PictureSize::kOriginal, "0069c.jpg"));  // another album's
    WriteBytes(album + first.FileNameOf(a), "1234");           // another length
    EXPECT_FALSE(there(PictureSize::kOriginal, "0069a.jpg"));
    ASSERT_EQ(Put(first, a, "1234"), 0u);  // recorded again: the latest line counts
    EXPECT_TRUE(there(PictureSize::kOriginal, "0069a.jpg"));
    DeleteFileW(WinStr(FileSystemPath(album + first.FileNameOf(b))));  // gone
    EXPECT_FALSE(there(PictureSize::kOriginal, "0069b.jpg"));

    // A record this version cannot read is started over by the next write.
    SetFileAttributesW(WinStr(FileSystemPath(record)), FILE_ATTRIBUTE_NORMAL);
    WriteBytes(record, "pictalon-album 9\nwhatever\n");
    EXPECT_FALSE(there(PictureSize::kOriginal, "0069a.jpg"));
    ASSERT_EQ(Put(first, a, "1234"), 0u);
    EXPECT_TRUE(there(PictureSize::kOriginal, "0069a.jpg"));
}

}  // namespace
