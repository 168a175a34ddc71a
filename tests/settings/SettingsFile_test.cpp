#include "settings/SettingsFile.h"

#include "SND/Exceptions.h"
#include "settings/IniFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace sonari {
namespace {

using test::TScopedEnv;
using test::TTempDir;

// The folder is created with every missing level; one that cannot be is ignored until the write.
TEST(SettingsFolder, LiesBelowTheConfigFolderUnderTheProgramsNameAndIsCreatedWhole) {
    EXPECT_EQ(ProgramBaseName(), "test_settings");
    EXPECT_EQ(BaseNameOfProgram("/usr/bin/sonari"), "sonari");
    EXPECT_EQ(BaseNameOfProgram("/opt/Sonari 1.0/sonari.bin"), "sonari");
    // Replaced by a package upgrade while running: still the same settings.
    EXPECT_EQ(BaseNameOfProgram("/usr/bin/sonari (deleted)"), "sonari");

    TTempDir dir;
    TScopedEnv env("HOME", dir.Path().string());
    SetProgramBaseName("sonari");
    // Unset, empty or relative (invalid by the XDG rules): ~/.config.
    for (const std::optional<std::string>& config :
         std::initializer_list<std::optional<std::string>>{std::nullopt, "", "relative/cfg"}) {
        env.Set("XDG_CONFIG_HOME", config);
        EXPECT_EQ(SettingsFileName(), (dir / ".config/Brisko/Products/sonari/sonari.ini").string());
    }
    env.Set("XDG_CONFIG_HOME", (dir / "cfg").string());
    EXPECT_EQ(SettingsFolder(), (dir / "cfg/Brisko/Products/sonari/").string());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "cfg/Brisko/Products/sonari"));
    test::WriteFileBytes(dir / "Brisko", "a file in the way");
    env.Set("XDG_CONFIG_HOME", dir.Path().string());
    const std::string name = SettingsFileName();
    EXPECT_EQ(name, (dir / "Brisko/Products/sonari/sonari.ini").string());
    TIniFile ini(name);
    EXPECT_THROW(ini.WriteInteger("Window", "Top", 0), EIniFileException);
    SetProgramBaseName("");

    // ForceDirectories itself: the nested folders above, the root, a file in the way
    EXPECT_TRUE(ForceDirectories("/"));
    EXPECT_FALSE(ForceDirectories((dir / "Brisko/sub").string()));
    EXPECT_EQ(test::MessageOf<Exception>([] { ForceDirectories(""); }),
              "Unable to create directory");
}

} // namespace
} // namespace sonari
