#include "engine/TxRecorder.h"

#include "tests/SND/WavTestFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace sonari {
namespace {

using test::TTempDir;

// Two channels of `frames`, sample f of block k holding (k * frames + f) * 65536 and its
// negation: exact in a 32-bit file.
TDataBufferF Numbered(int block, size_t frames) {
    TDataBufferF data(2, TSingleArray(frames));
    for (size_t f = 0; f < frames; ++f) {
        data[0][f] = static_cast<float>((block * frames + f) * 65536);
        data[1][f] = -data[0][f];
    }
    return data;
}

TEST(TxRecorder, WritesEveryBlockInOrderAndCompletesTheFileWhenDestroyed) {
    TTempDir dir;
    const std::string name = dir / "tx.wav";
    {
        TTxRecorder recorder(name);
        std::thread streaming([&] {
            for (int k = 0; k < 20; ++k)
                recorder.Add(12000, Numbered(k, 256));
        });
        streaming.join();
    }
    const test::TWavContents file = test::ReadWav(name);
    EXPECT_EQ(file.Rate, 12000u);
    EXPECT_EQ(file.BytesPerSample, 4u);
    ASSERT_EQ(file.Channels.size(), 2u);
    ASSERT_EQ(file.Channels[0].size(), 20u * 256);
    for (size_t i = 0; i < file.Channels[0].size(); ++i) {
        ASSERT_EQ(file.Channels[0][i], static_cast<float>(i * 65536)) << i;
        ASSERT_EQ(file.Channels[1][i], -static_cast<float>(i * 65536)) << i;
    }
}

TEST(TxRecorder, AFileThatCannotBeWrittenIsReportedAndNothingElseHappens) {
    TTempDir dir;
    TTxRecorder recorder((dir / "no" / "such" / "tx.wav").string());
    recorder.Add(12000, Numbered(0, 64));
    while (recorder.Error().empty())
        std::this_thread::yield();
    EXPECT_NE(recorder.Error().find("tx.wav"), std::string::npos) << recorder.Error();
    recorder.Add(12000, Numbered(1, 64));
    EXPECT_EQ(recorder.DroppedBlocks(), 1u);
}

} // namespace
} // namespace sonari
