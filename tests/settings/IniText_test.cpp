#include "settings/IniText.h"

#include <gtest/gtest.h>

#include <string>

namespace sonari {
namespace {

using namespace std::string_literals;

TEST(IniLookup, TakesTheFirstSectionAndTheFirstKey) {
    TIniText ini("Left=0\n[Window]\nLeft=1\nleft=2\n[Window]\nLeft=3\nTop=4\n");
    EXPECT_EQ(ini.Value("Window", "Left"), "1");
    // The second "Window" section is not looked at, as in every later write.
    EXPECT_EQ(ini.Value("Window", "Top"), std::nullopt);
}

TEST(IniLookup, TrimsBlanksAndOneEnclosingPairOfQuotes) {
    TIniText ini("\xEF\xBB\xBF  [ Audio ] trailing words\r\n"
                 "\t LastProfile  =  /home/op/Prof/a b.ini \r\n"
                 "Quoted=\" padded \"\r\n"
                 "Half=\"open\r\n"
                 "; Commented=1\r\n"
                 "# Hashed=1\r\n"
                 "=novalue\r\n"
                 "junk without equals\r\n"
                 "[Broken\r\n"
                 "Inside=yes\r\n");
    EXPECT_EQ(ini.Value("Audio", "LastProfile"), "/home/op/Prof/a b.ini");
    EXPECT_EQ(ini.Value("Audio", "Quoted"), " padded ");
    EXPECT_EQ(ini.Value("Audio", "Half"), "\"open");
    EXPECT_EQ(ini.Value("Audio", "Commented"), std::nullopt);
    EXPECT_EQ(ini.Value("Audio", "# Hashed"), std::nullopt);
    EXPECT_EQ(ini.Value("Audio", "junk without equals"), std::nullopt);
    EXPECT_EQ(ini.Value("Broken", "Inside"), "yes");
}

// Everything a person or another program may have put into the file.
const std::string kMessy = "; written by hand\r\n"
                           "\r\n"
                           "[Window]\r\n"
                           "Left = 12   ; not a comment, part of the value\r\n"
                           "Top=34\r\n"
                           "; about the next section\r\n"
                           "\r\n"
                           "[Unknown]\r\n"
                           "Key=with \0 a NUL\r\n"s
                           "just some words\r\n"
                           "[Broken\r\n"
                           "=orphan\r\n"
                           "[Window]\r\n"
                           "Left=99\r\n"
                           "; the end\r\n";

// Each edit leaves every other byte as it was; blanks at the ends of a value come back quoted.
TEST(IniEdit, ChangesAValueAddsAKeyAfterItsSectionOrAppendsTheSection) {
    const struct {
        const char *Section, *Key, *Value;
        std::string Old, New; // the edit replaces Old by New in kMessy
    } cases[] = {
        {"window", "LEFT", "-5", "12   ; not a comment, part of the value", "-5"},
        {"Window", "Width", "640", "Top=34\r\n", "Top=34\r\nWidth=640\r\n"},
        {"Startup", "StartInTray", " 1 ", "; the end\r\n",
         "; the end\r\n\r\n[Startup]\r\nStartInTray=\" 1 \"\r\n"},
    };
    for (const auto& c : cases) {
        TIniText ini(kMessy);
        ASSERT_TRUE(ini.SetValue(c.Section, c.Key, c.Value));
        std::string expected = kMessy;
        expected.replace(expected.find(c.Old), c.Old.size(), c.New);
        EXPECT_EQ(ini.Text(), expected);
        EXPECT_EQ(ini.Value(c.Section, c.Key), c.Value);
    }
    TIniText unterminated("[A]\nx=1");
    ASSERT_TRUE(unterminated.SetValue("A", "y", "2"));
    ASSERT_TRUE(unterminated.SetValue("B", "z", "3"));
    EXPECT_EQ(unterminated.Text(), "[A]\nx=1\ny=2\n\n[B]\nz=3\n");
}

TEST(IniEdit, RefusesValuesThatWouldSpillOntoAnotherLine) {
    TIniText ini("[Audio]\nLastProfile=a.ini\n");
    for (std::string bad : {"x\n[Audio]\nLastProfile=evil"s, "x\ry"s, "x\0y"s}) {
        EXPECT_FALSE(ini.SetValue("Audio", "LastProfile", bad));
        EXPECT_EQ(ini.Text(), "[Audio]\nLastProfile=a.ini\n");
    }
}

} // namespace
} // namespace sonari
