#include "app/Autostart.h"

#include "tests/app/AppEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace sonari {
namespace {

namespace fs = std::filesystem;
using test::QPath;

// The desktop's own tools read our entry: the validator accepts it and the launcher runs the
// program from a folder whose name needs every kind of quoting.
TEST(AutostartDesktopTools, EntryForATrickyPathIsValidAndLaunchesThatProgram) {
    ASSERT_TRUE(test::HaveProgram("desktop-file-validate")) << "install desktop-file-utils";
    ASSERT_TRUE(test::HaveProgram("gio")) << "install libglib2.0-bin";
    test::TTempDir dir("sonari-autostart-e2e");
    test::TScopedEnv env;
    env.Set("XDG_CONFIG_HOME", (dir / "config").string());

    // No '%' here: the launcher looks for the program before it turns "%%" back into '%'.
    const fs::path folder = dir / "My Apps" / "$HAM `x` \"q\" (1)";
    fs::create_directories(folder);
    const fs::path program = folder / "sonari";
    const fs::path marker = dir / "launched.txt";
    std::ofstream(program) << "#!/bin/sh\nprintf '%s' \"$0\" > "
                           << test::ShellQuote(marker.string()) << "\n";
    fs::permissions(program, fs::perms::owner_all);

    SetAutoStartFor(QPath(program), true);
    const std::string entry = AutostartEntryPath(QPath(program)).toStdString();
    std::string complaints;
    EXPECT_EQ(
        test::RunCommand("desktop-file-validate " + test::ShellQuote(entry) + " 2>&1", &complaints),
        0);
    EXPECT_EQ(complaints, "");

    std::string launchOutput;
    ASSERT_EQ(test::RunCommand("gio launch " + test::ShellQuote(entry) + " 2>&1", &launchOutput), 0)
        << launchOutput << test::ReadFileBytes(entry);
    for (int i = 0; i < 100 && !fs::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(fs::exists(marker));
    EXPECT_EQ(test::ReadFileBytes(marker), program.string());
}

} // namespace
} // namespace sonari
