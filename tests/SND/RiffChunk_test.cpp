#include "SND/RiffChunk.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace sonari {
namespace {

// Chunk layout, pad bytes and sizes beyond the file are proven through the WAV component; what
// it never meets is tested here.
TEST(RiffFile, ChunksOver4GiBWrongDirectionsAndFilesThatAreNoneAreRefused) {
    test::TTempDir dir{"sonari-riff"};
    TRiffFile file;
    ASSERT_EQ(file.OpenWrite((dir / "big.riff").string()), rrOk);
    TRiffChunk chunk{.Id = FourCC("data")};
    ASSERT_EQ(file.CreateChunk(chunk, ckChunk), rrOk);
    char byte = 0;
    EXPECT_EQ(file.Read(&byte, 1), -1);
    ASSERT_EQ(file.Seek(chunk.DataOffset + (uint64_t(1) << 32)), rrOk); // no bytes written
    EXPECT_EQ(file.Ascend(chunk), rrTooLarge);
    EXPECT_EQ(file.Close(), rrOk);

    EXPECT_EQ(file.OpenRead(dir.Path().string()), rrCannotOpen);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(file.OpenRead((dir / "fifo").string()), rrCannotOpen);
    EXPECT_FALSE(file.IsOpen());
}

} // namespace
} // namespace sonari
