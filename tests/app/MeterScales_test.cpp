#include "app/MeterScales.h"

#include <gtest/gtest.h>

namespace sonari {
namespace {

TEST(MeterScales, InputBarMapsTheExcursionOntoTheFrameAndTurnsRedBeyond80Percent) {
    struct TCase {
        float MinFs, MaxFs;
        int32_t Frame, Left, Width;
        bool Red;
    };
    const TCase cases[] = {
        {-1.0f, 1.0f, 200, 0, 202, true},    // full scale: the whole frame plus 2
        {0.0f, 0.0f, 201, 100, 2, false},    // silence: 2 pixels in the middle
        {-0.8f, 0.8f, 100, 10, 82, false},   // 80 % is still green
        {-0.875f, 0.0f, 100, 6, 46, true},   // -43.75 -> -44, 43.75 -> 44
        {-0.25f, 0.25f, 100, 38, 27, false}, // -12.5 -> -12, 25
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.MinFs << " " << c.MaxFs);
        const TInputBar bar = InputBarGeometry({c.MinFs, c.MaxFs}, c.Frame);
        EXPECT_EQ(bar.Left, c.Left);
        EXPECT_EQ(bar.Width, c.Width);
        EXPECT_EQ(bar.Red, c.Red);
    }
}

TEST(MeterScales, OutputBarUsesTwoPixelsPerDbRoundedHalfToEven) {
    struct TCase {
        float Rms, Peak;
        int32_t Width, MarkLeft;
        bool Clip;
    };
    const TCase cases[] = {
        {-10.0f, -3.0f, 111, 123, false},
        {-0.75f, 0.0f, 129, 129, true}, // 2 * -0.75 = -1.5 rounds to -2
        {3.0f, 3.0f, 131, 135, true},   // beyond full scale the bar ends at its frame
        {-999.0f, -999.0f, 0, 131 - 1998 - 2, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Rms);
        const TOutputBar bar = OutputBarGeometry(c.Rms, c.Peak, 131);
        EXPECT_EQ(bar.Width, c.Width);
        EXPECT_EQ(bar.MarkLeft, c.MarkLeft);
        EXPECT_EQ(bar.Clip, c.Clip);
    }
}

TEST(MeterScales, CaptionsAndHintsRoundToWholeDecibels) {
    EXPECT_EQ(DbfsCaption(-2.5f), "-2 dBFS");
    EXPECT_EQ(DbCaption(3.5L), "4 dB");
    EXPECT_EQ(PlaybackVolumeHint(0.0f), "0 dB");
    EXPECT_EQ(PlaybackVolumeHint(0.4f), "+0 dB");
    EXPECT_EQ(PlaybackVolumeHint(-20.0f), "-20 dB");
    EXPECT_EQ(ProgressPosition(0.125f, 100), 12); // 12.5 -> 12
    EXPECT_EQ(ProgressPosition(1.04f, 100), 100);
}

} // namespace
} // namespace sonari
