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
    const int32_t rms = RoundHalfEven(figures.RmsDbfs), peak = RoundHalfEven(figures.PeakDbfs),
                  factor = RoundHalfEven(peakFactor);
    char line[160];
    if (Json)
        std::snprintf(line, sizeof line,
                      "{\"window_end_s\": %.1f, \"rms_dbfs\": %d, \"peak_dbfs\": %d, "
                      "\"peak_factor_db\": %d}\n",
                      endS, rms, peak, factor);
    else
        std::snprintf(line, sizeof line,
                      "%8.1f s  V r.m.s. = %d dBFS  V peak = %d dBFS  Peak Factor = %d dB\n", endS,
                      rms, peak, factor);
    out_ << line << std::flush;
}

void TConsoleView::Error(const std::string& message) { err_ << message << "\n"; }

} // namespace sonari::cli
