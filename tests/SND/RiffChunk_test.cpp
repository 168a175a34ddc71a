#include "SND/RiffChunk.h"

#include "tests/SND/WavTestFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace sonari {
namespace {

using test::Chunk;
using test::Le32;
using test::Riff;
using namespace std::string_literals;

class RiffFileTest : public ::testing::Test {
protected:
    std::string Make(const std::string& bytes) {
        test::WriteFileBytes(dir_ / "f.riff", bytes);
        return (dir_ / "f.riff").string();
    }

    test::TTempDir dir_{"sonari-riff"};
    TRiffFile file_;
};

TEST_F(RiffFileTest, NestedChunksGetTheirSizesAndPadBytesOnAscend) {
    ASSERT_EQ(file_.OpenWrite((dir_ / "w.riff").string()), rrOk);
    TRiffChunk riff{.Type = FourCC("TEST")}, list{.Type = FourCC("INFO")},
        odd{.Id = FourCC("abcd")};
    TRiffChunk even{.Id = FourCC("efgh"), .Size = 99}; // a wrong size given in advance
    ASSERT_EQ(file_.CreateChunk(riff, ckRiff), rrOk);
    ASSERT_EQ(file_.CreateChunk(list, ckList), rrOk);
    ASSERT_EQ(file_.CreateChunk(odd, ckChunk), rrOk);
    ASSERT_EQ(file_.Write("xyz", 3), 3);
    ASSERT_EQ(file_.Ascend(odd), rrOk);
    ASSERT_EQ(file_.Ascend(list), rrOk);
    ASSERT_EQ(file_.CreateChunk(even, ckChunk), rrOk);
    ASSERT_EQ(file_.Write("12", 2), 2);
    ASSERT_EQ(file_.Ascend(even), rrOk);
    ASSERT_EQ(file_.Ascend(riff), rrOk);
    ASSERT_EQ(file_.Close(), rrOk);
    EXPECT_EQ(test::ReadFileBytes(dir_ / "w.riff"),
              Riff("TEST", Chunk("LIST", "INFO" + Chunk("abcd", "xyz")) + Chunk("efgh", "12")));
    EXPECT_EQ(odd.Size, 3u);
    EXPECT_EQ(riff.Size, 4u + 24u + 10u);
}

TEST_F(RiffFileTest, DescendSearchesForwardWithinTheParentOnly) {
    const std::string inner = Chunk("odd1", "x") + Chunk("LIST", "adtlabc") +
                              Chunk("LIST", "INFO" + Chunk("ICMT", "hi")) + Chunk("data", "12");
    ASSERT_EQ(file_.OpenRead(Make(Riff("WAVE", inner) + Chunk("late", "zz"))), rrOk);
    TRiffChunk riff{.Type = FourCC("WAVE")};
    ASSERT_EQ(file_.Descend(riff, nullptr, ckRiff), rrOk);
    EXPECT_EQ(riff.DataOffset, 8u);
    EXPECT_EQ(file_.Position(), 12u);

    TRiffChunk info{.Type = FourCC("INFO")};
    ASSERT_EQ(file_.Descend(info, &riff, ckList), rrOk);
    EXPECT_EQ(info.Size, 14u);
    TRiffChunk item;
    ASSERT_EQ(file_.Descend(item, &info, ckAny), rrOk);
    EXPECT_EQ(item.Id, FourCC("ICMT"));
    ASSERT_EQ(file_.Ascend(info), rrOk);

    TRiffChunk late{.Id = FourCC("late")};
    EXPECT_EQ(file_.Descend(late, &riff, ckChunk), rrNotFound); // after the end of the parent
    ASSERT_EQ(file_.Seek(12), rrOk);
    TRiffChunk data{.Id = FourCC("data")};
    ASSERT_EQ(file_.Descend(data, &riff, ckChunk), rrOk);
    char bytes[2];
    EXPECT_EQ(file_.Read(bytes, 2), 2);
    EXPECT_EQ(std::string(bytes, 2), "12");
}

TEST_F(RiffFileTest, SizesBeyondTheFileAreClippedAndNeverFollowed) {
    const std::string bytes =
        "RIFF" + Le32(0xFFFFFFFF) + "WAVE" + "skip" + Le32(0x7FFFFFFF) + "data" + Le32(4) + "abcd";
    ASSERT_EQ(file_.OpenRead(Make(bytes)), rrOk);
    TRiffChunk riff{.Type = FourCC("WAVE")};
    ASSERT_EQ(file_.Descend(riff, nullptr, ckRiff), rrOk);
    EXPECT_EQ(riff.Size, bytes.size() - 8);
    TRiffChunk skip{.Id = FourCC("skip")};
    ASSERT_EQ(file_.Descend(skip, &riff, ckChunk), rrOk);
    EXPECT_EQ(skip.Size, 12u);
    ASSERT_EQ(file_.Ascend(skip), rrOk);
    TRiffChunk data{.Id = FourCC("data")};
    EXPECT_EQ(file_.Descend(data, &riff, ckChunk), rrNotFound);
}

TEST_F(RiffFileTest, ChunksOver4GiBAndWrongDirectionsAreRefused) {
    ASSERT_EQ(file_.OpenWrite((dir_ / "big.riff").string()), rrOk);
    TRiffChunk chunk{.Id = FourCC("data")};
    ASSERT_EQ(file_.CreateChunk(chunk, ckChunk), rrOk);
    char byte = 0;
    EXPECT_EQ(file_.Read(&byte, 1), -1);
    ASSERT_EQ(file_.Seek(chunk.DataOffset + (uint64_t(1) << 32)), rrOk); // no bytes written
    EXPECT_EQ(file_.Ascend(chunk), rrTooLarge);
    EXPECT_EQ(file_.Close(), rrOk);

    EXPECT_EQ(file_.OpenRead(dir_.Path().string()), rrCannotOpen);
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(file_.OpenRead((dir_ / "fifo").string()), rrCannotOpen);
    EXPECT_FALSE(file_.IsOpen());
}

} // namespace
} // namespace sonari
