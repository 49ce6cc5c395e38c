#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "filefacts/TestFolder.h"
#include "iteminfo/Md5.h"
#include "support/TestSupport.h"

using kivtest::DigestOf;

namespace {

// Bytes that differ from position to position, so a misplaced block shows.
std::string Pattern(std::size_t size, unsigned factor, std::size_t period, unsigned offset) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * factor + i / period + offset) & 0xFF);
    return bytes;
}

}  // namespace

TEST(Md5, MatchesTheReferenceSuite) {
    EXPECT_EQ(L"d41d8cd98f00b204e9800998ecf8427e", DigestOf(""));
    EXPECT_EQ(L"0cc175b9c0f1b6a831c399e269772661", DigestOf("a"));
    EXPECT_EQ(L"900150983cd24fb0d6963f7d28e17f72", DigestOf("abc"));
    EXPECT_EQ(L"f96b697d7cb7938d525a2f31aaf161d0", DigestOf("message digest"));
    EXPECT_EQ(L"c3fcd3d76192e4007dfb496cca67e13b", DigestOf("abcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ(L"d174ab98d277d9f5a5611c2c9f419d9f",
              DigestOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"));
    EXPECT_EQ(L"57edf4a22be3c955ac49da2e2107b67a",
              DigestOf("12345678901234567890123456789012345678901234567890123456789012345678901234567890"));
}

// Messages whose length puts the padding and the length field at the edges of a block.
TEST(Md5, PadsMessagesAroundBlockEdges) {
    const std::pair<std::size_t, const wchar_t*> cases[] = {
        {55, L"52c0e574e1198de5fe3f8f11440dcb1b"},  {56, L"46c9907fc908ee68b1e7b8e71286a518"},
        {63, L"a62f6d59e837867693f042f5b8f5a236"},  {64, L"7160b8fb5e9e4023d549c3971fbaeead"},
        {65, L"70bd662e7aefbda85a0f7244167b7897"},  {119, L"e84905d4214f4d1ca56c2cdcc152b143"},
        {120, L"e3eb5a6c8669ea01a8c185b8abc8a5dc"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.second, DigestOf(Pattern(c.first, 7, 1u << 30, 3))) << c.first << " bytes";
}

TEST(Md5, GivesTheSameDigestHoweverTheBytesArriveAndStartsOverAfterFinal) {
    const std::string bytes = Pattern(200, 7, 1u << 30, 3);
    const std::wstring whole = DigestOf(bytes);
    CMd5 md5;
    for (std::size_t piece : {1u, 3u, 63u, 64u, 65u, 127u}) {
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            md5.Update(bytes.data() + at, bytes.size() - at < piece ? bytes.size() - at : piece);
        unsigned char digest[16];
        md5.Final(digest);  // the same object serves the next round
        EXPECT_EQ(whole, kiv::Md5Text(digest)) << "pieces of " << piece;
    }
}

class FileMd5Test : public ::testing::Test {
protected:
    kivtest::TestFolder folder{L"md5_test", L"files"};
};

TEST_F(FileMd5Test, HashesEmptyAndLargeFilesByTheirBytes) {
    ASSERT_TRUE(kivtest::WriteBytes(folder / L"empty.bin", ""));
    EXPECT_EQ(L"d41d8cd98f00b204e9800998ecf8427e", kiv::FileMd5((folder / L"empty.bin").c_str()));

    // Larger than the stream buffer and not a whole number of reads.
    const std::string large = Pattern(0x100000 + 4097, 31, 251, 0);
    ASSERT_TRUE(kivtest::WriteBytes(folder / L"large.bin", large));
    EXPECT_EQ(L"b1bc2344ccc06d7c81965039911f3105", kiv::FileMd5((folder / L"large.bin").c_str()));

    // Untranslated bytes: line ends and the old end-of-file mark count as data.
    const std::string text = "one\r\ntwo\x1A three\n";
    ASSERT_TRUE(kivtest::WriteBytes(folder / L"text.txt", text));
    EXPECT_EQ(DigestOf(text), kiv::FileMd5((folder / L"text.txt").c_str()));
}

TEST_F(FileMd5Test, GivesNothingForShortPathsAndUnopenableFilesWithoutALogLine) {
    ASSERT_TRUE(kivtest::WriteBytes(folder / L"abc", "abc"));
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.Path().c_str()));
    LogCapture log;
    const std::wstring viaShortPath = kiv::FileMd5(L"abc");
    const std::wstring viaLongerPath = kiv::FileMd5(L".\\abc");
    const std::wstring missing = kiv::FileMd5((folder / L"missing.exe").c_str());
    SetCurrentDirectoryW(previous);

    EXPECT_EQ(L"", viaShortPath);  // the same file, named by three characters
    EXPECT_EQ(L"900150983cd24fb0d6963f7d28e17f72", viaLongerPath);
    EXPECT_EQ(L"", missing);
    EXPECT_EQ(L"", kiv::FileMd5(nullptr));
    EXPECT_TRUE(log.Calls().empty());  // the opening failure is logged at a level that is dropped
}

TEST_F(FileMd5Test, ReadsFilesOthersHoldOpenUnlessTheyLockThem) {
    const std::wstring path = folder / L"busy.dll";
    ASSERT_TRUE(kivtest::WriteBytes(path, "abc"));
    {
        kiv::UniqueFile writer(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(writer.Valid());
        EXPECT_EQ(L"900150983cd24fb0d6963f7d28e17f72", kiv::FileMd5(path.c_str()));
    }
    kiv::UniqueFile locker(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(locker.Valid());
    EXPECT_EQ(L"", kiv::FileMd5(path.c_str()));
}
