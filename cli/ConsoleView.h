#pragma once

#include "engine/DspView.h"

#include <cstdint>
#include <iosfwd>
#include <string>

namespace sonari::cli {

// The engine's reports on a console: the statistics as text lines, errors on the error stream,
// the reason a stream ended kept for the exit.
class TConsoleView : public TSilentDspView {
public:
    TConsoleView(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    // The statistics windows as JSON lines instead of text.
    bool Json = false;

    // Why the stream ended by itself; "" while it did not.
    const std::string& EndReason() const { return endReason_; }

    void OutputFiguresChanged(const TOutputFigures& figures) override;
    void Error(const std::string& message) override;
    void StreamEnded(const std::string& reason) override { endReason_ = reason; }

private:
    std::ostream& out_;
    std::ostream& err_;
    int64_t windows_ = 0;
    std::string endReason_;
};

} // namespace sonari::cli
