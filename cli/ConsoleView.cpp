#include "cli/ConsoleView.h"

#include "SND/Rounding.h"
#include "engine/Dsp.h"

#include <cstdio>
#include <ostream>

namespace sonari::cli {

void TConsoleView::OutputFiguresChanged(const TOutputFigures& figures) {
    ++windows_;
    // Each window closes after 25 blocks of 1024 samples at 12000 samples/s.
    const double endS = static_cast<double>(windows_) * TOutputStats::kWindowBlocks *
                        TDsp::kBlockSize / TDsp::kProcessingRate;
    const long double peakFactor = static_cast<long double>(figures.PeakDbfs) - figures.RmsDbfs;
    char line[128];
    std::snprintf(line, sizeof line,
                  "%8.1f s  V r.m.s. = %d dBFS  V peak = %d dBFS  Peak Factor = %d dB\n", endS,
                  RoundHalfEven(figures.RmsDbfs), RoundHalfEven(figures.PeakDbfs),
                  RoundHalfEven(peakFactor));
    out_ << line << std::flush;
}

void TConsoleView::Error(const std::string& message) { err_ << message << "\n"; }

} // namespace sonari::cli
