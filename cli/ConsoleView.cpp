#include "cli/ConsoleView.h"

#include "engine/Dsp.h"

#include <cstdio>
#include <ostream>

namespace sonari::cli {

void TConsoleView::ShowOutputFigures(const TOutputFigures& figures) {
    if (!ShowStatistics)
        return;
    ++windows_;
    // Each window closes after 25 blocks of 1024 samples at 12000 samples/s.
    const double endS = static_cast<double>(windows_) * TOutputStats::kWindowBlocks *
                        TDsp::kBlockSize / TDsp::kProcessingRate;
    char line[128];
    std::snprintf(line, sizeof line, "%8.1f s  V r.m.s. = %s  V peak = %s  Peak Factor = %s\n",
                  endS, DbfsCaption(figures.Rms).c_str(), DbfsCaption(figures.Peak).c_str(),
                  DbCaption(figures.PeakFactor).c_str());
    out_ << line << std::flush;
}

void TConsoleView::ShowError(const std::string& message) { err_ << message << "\n"; }

} // namespace sonari::cli
