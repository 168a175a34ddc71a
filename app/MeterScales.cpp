#include "app/MeterScales.h"

#include "SND/Rounding.h"

#include <algorithm>

namespace sonari {

TInputBar InputBarGeometry(const TInputLevels& levels, int32_t clientWidth) {
    const int32_t half = clientWidth / 2;
    TInputBar bar;
    bar.Left = half + RoundHalfEven(static_cast<long double>(half) * levels.Min);
    bar.Width = RoundHalfEven((static_cast<long double>(levels.Max) - levels.Min) * half) + 2;
    bar.Red = levels.Min < -0.8f || levels.Max > 0.8f;
    return bar;
}

TOutputBar OutputBarGeometry(float rmsDb, float peakDb, int32_t frameWidth) {
    TOutputBar bar;
    bar.Width = std::clamp(frameWidth + RoundHalfEven(2.0L * rmsDb), 0, frameWidth);
    bar.MarkLeft = frameWidth + RoundHalfEven(2.0L * peakDb) - 2;
    bar.Clip = peakDb >= 0;
    return bar;
}

int32_t ProgressPosition(float fraction, int32_t maximum) {
    return std::clamp(RoundHalfEven(static_cast<long double>(maximum) * fraction), 0, maximum);
}

QString DbfsCaption(float db) { return QString::number(RoundHalfEven(db)) + " dBFS"; }

QString DbCaption(long double db) { return QString::number(RoundHalfEven(db)) + " dB"; }

QString PlaybackVolumeHint(float db) {
    return QString::asprintf(db > 0 ? "+%.0f dB" : "%.0f dB", double(db));
}

QString OutputGainHint(float db) {
    return db == 0 ? QString("0 dB") : QString::asprintf("%.0f dB", double(db));
}

} // namespace sonari
