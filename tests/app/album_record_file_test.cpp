// The album folder's record on disk, against the files that are really there.
#include <gtest/gtest.h>

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

TEST(AlbumRecordFile, SkipsAPictureOnlyWhileItsRecordedFileIsThereWithItsLength) {
    apptest::ScratchFolder scratch;
    const Text& album = scratch.Path();
    const Text chinese = "\xBA\xC3\xDF\x5C-0069b.jpg";  // 好運-: a trail byte 0x5C in the name
    EXPECT_TRUE(LoadAlbumRecord(album, "u1", "a1").pictures.empty());  // no record yet
    ASSERT_TRUE(AppendToAlbumRecord(album, "u1", "a1", {"0069a.jpg", "/large/", "a.jpg", 5}));
    const Text record = album + kAlbumRecordFileName;
    const DWORD attributes = GetFileAttributesW(WinStr(FileSystemPath(record)));
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    // A window closed in the middle of a write leaves a torn line; the next append goes on.
    WriteBytes(record, "p\tu1\ta1\t0069x", true);
    ASSERT_TRUE(AppendToAlbumRecord(album, "u1", "a1", {"0069b.jpg", "/large/", chinese, 3}));
    ASSERT_TRUE(AppendToAlbumRecord(album, "u1", "a2", {"0069c.jpg", "/large/", "c.jpg", 3}));
    WriteBytes(album + "a.jpg", "12345");
    WriteBytes(album + chinese, "123");
    WriteBytes(album + "c.jpg", "123");

    const AlbumFolderRecord loaded = LoadAlbumRecord(album, "u1", "a1");
    ASSERT_EQ(loaded.pictures.size(), 2u);
    EXPECT_TRUE(AlreadyThere(loaded, "0069a.jpg", "/large/", album));
    EXPECT_TRUE(AlreadyThere(loaded, "0069b.jpg", "/large/", album.substr(0, album.size() - 1)));
    EXPECT_FALSE(AlreadyThere(loaded, "0069a.jpg", "/mw1024/", album));  // another size
    EXPECT_FALSE(AlreadyThere(loaded, "0069c.jpg", "/large/", album));   // another album's
    WriteBytes(album + "a.jpg", "1234");                                 // another length
    EXPECT_FALSE(AlreadyThere(loaded, "0069a.jpg", "/large/", album));
    DeleteFileW(WinStr(FileSystemPath(album + chinese)));  // gone
    EXPECT_FALSE(AlreadyThere(loaded, "0069b.jpg", "/large/", album));

    // Another window appending to the same record holds it open for writing meanwhile.
    {
        const UniqueHandle other(CreateFileW(WinStr(FileSystemPath(record)), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(other);
        EXPECT_TRUE(AppendToAlbumRecord(album, "u1", "a1", {"0069d.jpg", "/large/", "d.jpg", 3}));
    }
    EXPECT_EQ(LoadAlbumRecord(album, "u1", "a1").pictures.size(), 3u);

    // A record this version cannot read is started over by the next append.
    SetFileAttributesW(WinStr(FileSystemPath(record)), FILE_ATTRIBUTE_NORMAL);
    WriteBytes(record, "pictalon-album 9\nwhatever\n");
    EXPECT_TRUE(LoadAlbumRecord(album, "u1", "a1").pictures.empty());
    ASSERT_TRUE(AppendToAlbumRecord(album, "u1", "a1", {"0069a.jpg", "/large/", "a.jpg", 4}));
    EXPECT_TRUE(AlreadyThere(LoadAlbumRecord(album, "u1", "a1"), "0069a.jpg", "/large/", album));
    EXPECT_TRUE(LoadAlbumRecord(album + "missing\\", "u1", "a1").pictures.empty());
}

}  // namespace
