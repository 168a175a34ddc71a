#include "engine/RecordingFile.h"
#include "engine/SpscRing.h"
#include "engine/TxRecorder.h"

#include "tests/SND/WavTestFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace sonari {
namespace {

using test::TTempDir;

// Alone, a ring holds its capacity, refuses more and empties on Clear. Then one thread pushes a
// counter as fast as it can while another takes, many times round the slots: every value taken
// is larger than the last, none is torn, and what was refused is exactly what is missing.
TEST(SpscRing, AProducerAndAConsumerNeverWaitForEachOther) {
    constexpr int64_t kValues = 200000;
    TSpscRing<std::vector<int64_t>> ring(8, std::vector<int64_t>(4));
    int64_t held = 0;
    while (ring.TryPush({held, held, held, held}))
        ++held;
    EXPECT_EQ(held, 8);
    ring.Clear();
    EXPECT_EQ(ring.Front(), nullptr);
    int64_t refused = 0;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int64_t v = 0; v < kValues; ++v)
            if (!ring.TryPush({v, v, v, v}))
                ++refused;
        done = true;
    });
    int64_t taken = 0, last = -1;
    bool ordered = true, whole = true;
    for (;;) {
        const bool finished = done.load();
        const std::vector<int64_t>* value = ring.Front();
        if (!value) {
            if (finished)
                break; // everything pushed before `done` is visible by now
            continue;
        }
        ordered = ordered && (*value)[0] > last;
        whole = whole && (*value)[0] == (*value)[3];
        last = (*value)[0];
        ring.Pop();
        ++taken;
    }
    producer.join();
    EXPECT_TRUE(ordered);
    EXPECT_TRUE(whole);
    EXPECT_EQ(taken + refused, kValues);
    EXPECT_GT(taken, 0);
}

// The device starts before the file is opened: what the stream appends meanwhile waits in the
// queue and is written first; beyond the queue's room blocks are lost and counted.
TEST(RecordingFile, KeepsWhatCameBeforeTheFileOpenedAndCountsWhatHadNoRoom) {
    TTempDir dir;
    const std::string name = (dir / "Voice.wav").string();
    TRecordingFile file;
    file.Arm();
    const size_t blocks = TRecordingFile::kQueuedBlocks + 6;
    for (size_t b = 0; b < blocks; ++b) {
        const TRecordingFile::TProgress progress =
            file.Append(TSingleArray(TRecordingFile::kBlockSize, 1e6f * static_cast<float>(b + 1)));
        EXPECT_FLOAT_EQ(progress.Fraction, (b + 1) * 1024.0f / TRecordingFile::kLimit);
        EXPECT_EQ(progress.Complete, b * 1024 >= 60000) << b; // from block 59 on
    }
    EXPECT_EQ(file.LostBlocks(), 6u);
    file.Open(name, 4);
    file.Close();
    EXPECT_TRUE(file.WriteError().empty());
    const TSingleArray x = test::ReadWav(name).Channels[0];
    ASSERT_EQ(x.size(), TRecordingFile::kQueuedBlocks * 1024);
    // the first block fades in and the one at 5 s out, on raised cosines that sum to one
    EXPECT_EQ(x[0], 0.0f);
    EXPECT_NEAR(x[256], 1e6f * 0.1464466f, 2.0f);
    EXPECT_NEAR(x[59 * 1024 + 256], 60e6f * 0.8535534f, 8.0f);
    EXPECT_FLOAT_EQ(x[1024 + 512], 2e6f); // the others follow in order
    EXPECT_FLOAT_EQ(x[58 * 1024 + 512], 59e6f);
    EXPECT_NEAR(x.back(), 0.0f, 64e6f * 1e-5f); // past 5 s, up to the queue's room: faded out
}

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

TEST(TxRecorder, WritesEveryBlockInOrderAndCompletesTheFileWhenDestroyedOrReportsItCannot) {
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
    EXPECT_TRUE(file.Channels == Numbered(0, 20 * 256)); // the 20 blocks as one

    // A file that cannot be written is reported, and nothing else happens.
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
