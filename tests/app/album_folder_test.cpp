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

TEST(AlbumFolder, SkipsAPictureOnlyWhileItsRecordedFileIsThereWithItsLengthAndLooksLikeOne) {
    apptest::ScratchFolder scratch;
    const Text& album = scratch.Path();
    const Text jpeg = "\xFF\xD8\xFF";  // how every JPEG begins
    const PhotoRecord a{"a", "h", "0069a.jpg", 1};
    const PhotoRecord b{"\xBA\xC3\xDF\x5C", "h", "0069b.jpg", 1};  // 好運: a trail byte 0x5C
    AlbumFolder first(album, Text(), PictureSize::kHigh, "u1", "a1");
    EXPECT_TRUE(first.ReadRecord().empty());  // no record yet
    EXPECT_EQ(first.ReadWhatIsThere(), 0u);
    ASSERT_EQ(Put(first, a, jpeg + "45"), 0u);
    const Text record = album + kAlbumRecordFileName;
    const DWORD attributes = GetFileAttributesW(WinStr(FileSystemPath(record)));
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    // A window closed in the middle of a write leaves a torn line; the next append goes on.
    WriteBytes(record, "p\tu1\ta1\t0069x", true);
    ASSERT_EQ(Put(first, b, jpeg), 0u);
    // Another window appending to the same record holds it open for writing meanwhile.
    {
        const UniqueHandle other(CreateFileW(WinStr(FileSystemPath(record)), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(other);
        ASSERT_EQ(Put(AlbumFolder(album, Text(), PictureSize::kHigh, "u1", "a2"),
                      PhotoRecord{"c", "h", "0069c.jpg", 1}, jpeg),
                  0u);
    }
    const auto there = [&](PictureSize size, const PhotoRecord& photo) {
        AlbumFolder folder(album, Text(), size, "u1", "a1");
        folder.ReadRecord();
        folder.ReadWhatIsThere();
        return folder.AlreadyThere(photo.picName, folder.FileNameOf(photo));
    };
    EXPECT_TRUE(there(PictureSize::kHigh, a));
    EXPECT_TRUE(there(PictureSize::kHigh, b));
    // A smaller size never replaces a larger one; a larger one is fetched.
    EXPECT_TRUE(there(PictureSize::kSmall, a));
    EXPECT_FALSE(there(PictureSize::kOriginal, a));
    EXPECT_FALSE(there(PictureSize::kHigh, PhotoRecord{"c", "h", "0069c.jpg", 1}));  // album a2's
    // Only under the name the photo's own naming gives.
    EXPECT_FALSE(there(PictureSize::kHigh, PhotoRecord{"b", "h", "0069a.jpg", 1}));
    WriteBytes(album + first.FileNameOf(a), jpeg + "4");  // another length
    EXPECT_FALSE(there(PictureSize::kHigh, a));
    WriteBytes(album + first.FileNameOf(a), Text(5, '\0'));  // zeros a power cut left
    EXPECT_FALSE(there(PictureSize::kHigh, a));
    ASSERT_EQ(Put(first, a, jpeg + "4"), 0u);  // recorded again: the latest line counts
    EXPECT_TRUE(there(PictureSize::kHigh, a));
    DeleteFileW(WinStr(FileSystemPath(album + first.FileNameOf(b))));  // gone
    EXPECT_FALSE(there(PictureSize::kHigh, b));

    // A record this version cannot read is started over by the next write.
    SetFileAttributesW(WinStr(FileSystemPath(record)), FILE_ATTRIBUTE_NORMAL);
    WriteBytes(record, "pictalon-album 9\nwhatever\n");
    EXPECT_FALSE(there(PictureSize::kHigh, a));
    ASSERT_EQ(Put(first, a, jpeg + "4"), 0u);
    EXPECT_TRUE(there(PictureSize::kHigh, a));
}

}  // namespace
