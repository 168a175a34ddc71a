#pragma once

#include "engine/DspView.h"

#include <string>
#include <vector>

namespace sonari::test {

// Whoever shows the engine's reports, recording them.
class TFakeDspView : public IDspView {
public:
    std::vector<TInputLevels> Levels;
    std::vector<TOutputFigures> Figures;
    std::vector<bool> Overloads;
    int SpectrumReports = 0;
    int HistogramReports = 0;
    std::vector<float> Progress;
    std::vector<std::string> Errors;
    int Completions = 0;
    std::vector<std::string> EndReasons;

    void InputLevelsChanged(const TInputLevels& levels) override { Levels.push_back(levels); }
    void OutputFiguresChanged(const TOutputFigures& f) override { Figures.push_back(f); }
    void OverloadChanged(bool overloaded) override { Overloads.push_back(overloaded); }
    void SpectraChanged() override { ++SpectrumReports; }
    void HistogramsChanged() override { ++HistogramReports; }
    void RecordingProgress(float fraction) override { Progress.push_back(fraction); }
    void RecordingComplete() override { ++Completions; }
    void Error(const std::string& message) override { Errors.push_back(message); }
    void StreamEnded(const std::string& reason) override { EndReasons.push_back(reason); }
};

} // namespace sonari::test
