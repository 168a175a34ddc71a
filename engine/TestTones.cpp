#include "engine/TestTones.h"

#include <cmath>
#include <numbers>

namespace sonari {

namespace {

constexpr long double kTwoPi = 2.0L * std::numbers::pi_v<long double>;
constexpr long double kSingleAmplitude = 1072668081.6765L; // 0.999 (2^31 - 1) / 2
constexpr long double kPairAmplitude = 536334040.83825L;   // 0.999 (2^31 - 1) / 4

long double Phase(int32_t periods, int32_t i) {
    return kTwoPi * periods * i / TTestTones::kBlockSize;
}

} // namespace

TTestTones::TTestTones() : single_(kBlockSize), twoTone_(kBlockSize) {
    for (int32_t i = 0; i < kBlockSize; ++i) {
        single_[i] = static_cast<float>(std::cos(Phase(17, i)) * kSingleAmplitude);
        twoTone_[i] =
            static_cast<float>((std::sin(Phase(15, i)) + std::sin(Phase(19, i))) * kPairAmplitude);
    }
}

const TSingleArray* TTestTones::Block(int32_t toneMode) const {
    switch (toneMode) {
    case 1:
        return &single_;
    case 2:
        return &twoTone_;
    default:
        return nullptr;
    }
}

} // namespace sonari
