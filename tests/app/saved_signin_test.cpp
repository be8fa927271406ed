// The sign-in kept between runs, sealed for the Windows user.
#include <gtest/gtest.h>

#include "app/signin/saved_signin.h"
#include "app_test_support.h"
#include "threads/handle.h"

namespace {

TEST(SavedSignIn, KeepsTheCookiesSealedAndGivesNothingBackForADamagedOrMissingFile) {
    apptest::ScratchFolder scratch;
    const SavedSignIn signIn(AnsiToWide(scratch.Path() + "Pictalon"));
    const Text cookies = "SUB=_2A25secret-sub-value; SUBP=0033WrSXqPxfM725";
    EXPECT_EQ(signIn.Load(), std::nullopt);
    EXPECT_FALSE(signIn.Save(""));
    ASSERT_TRUE(signIn.Save("SUB=older"));
    ASSERT_TRUE(signIn.Save(cookies));
    EXPECT_EQ(signIn.Load(), cookies);

    const auto files = apptest::FilesIn(scratch.Path() + "Pictalon\\");
    ASSERT_EQ(files.size(), 1u);  // no temporary file left
    const ByteBuffer& sealed = files.at("signin.dat");
    EXPECT_EQ(sealed.find("secret-sub-value"), Text::npos);
    EXPECT_EQ(sealed.find("SUBP"), Text::npos);

    // Damaged: one byte changed in the middle, then cut short.
    ByteBuffer damaged = sealed;
    damaged[damaged.size() / 2] ^= 0x5A;
    for (const ByteBuffer& bytes : {damaged, sealed.substr(0, sealed.size() / 2)}) {
        UniqueHandle file(CreateFileW(WinStr(signIn.FilePath()), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, 0, nullptr));
        DWORD wrote = 0;
        ASSERT_TRUE(
            WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr));
        file.Reset();
        EXPECT_EQ(signIn.Load(), std::nullopt);
    }
    EXPECT_TRUE(signIn.Delete());
    EXPECT_EQ(GetFileAttributesW(WinStr(signIn.FilePath())), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(signIn.Delete());  // nothing left to remove
    EXPECT_FALSE(SavedSignIn().FilePath().empty());
}

}  // namespace
