// The shipped sound files come from tools/MakeNoiseFiles, which runs espeak-ng: regenerating
// them must give the committed bytes.

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace sonari {
namespace {

TEST(ShippedSoundFiles, RegenerateToTheSameBytes) {
    ASSERT_TRUE(test::HaveProgram("espeak-ng")) << "espeak-ng is needed";
    test::TTempDir dir("sonari-noise");
    const std::string tool = (test::BinaryDir() / "bin" / "MakeNoiseFiles").string();
    std::string output;
    ASSERT_EQ(test::RunCommand(
                  test::ShellQuote(tool) + " " + test::ShellQuote(dir.Path()) + " 2>&1", &output),
              0)
        << output;
    for (const char* name : {"Qrn.wav", "Qrm.wav", "DemoVoice.wav"}) {
        const auto shipped = test::SourceDir() / "data" / "Wav" / name;
        EXPECT_TRUE(test::ReadFileBytes(dir / name) == test::ReadFileBytes(shipped))
            << name << " differs from the committed file: a new espeak-ng speaks differently? "
            << "Regenerate and commit the files.";
    }
}

} // namespace
} // namespace sonari
