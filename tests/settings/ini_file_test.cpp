// The INI file: lenient reading, writing a value while keeping every other line, escapes that
// let any value survive, and names that cannot be written.

#include <gtest/gtest.h>

#include "settings/ini_file.h"

namespace klangor {
namespace {

TEST(IniFileTest, ReadsLenientlyAndTheLastOccurrenceWins) {
  const LIniFile ini = LIniFile::Parse(
      "\xef\xbb\xbf" "Loose=before any section\r\n"
      "[Settings]\r\n"
      "; a comment=1\n"
      "# another=1\n"
      "  PlaySpeed =  2 \n"
      "this line is garbage\n"
      "[broken\n"
      "=no name\n"
      "RecentFile 1=/music/a.wav\n"
      "[Player]\n"
      "PlaySpeed=7\n"
      "[ settings ]\n"
      "playspeed=3\n"
      "Empty=\n"
      "Odd=\xff\xfe\x80");
  EXPECT_EQ(ini.Get("Settings", "PlaySpeed"), "3");  // same section again, any case
  EXPECT_EQ(ini.Get("Player", "PlaySpeed"), "7");
  EXPECT_EQ(ini.Get("Settings", "RecentFile 1"), "/music/a.wav");
  EXPECT_EQ(ini.Get("Settings", "Empty"), "");
  EXPECT_EQ(ini.Get("Settings", "Odd"), "\xff\xfe\x80");
  EXPECT_FALSE(ini.Get("Settings", "a comment"));
  EXPECT_FALSE(ini.Get("Settings", "another"));
  EXPECT_FALSE(ini.Get("", "Loose"));
  EXPECT_FALSE(ini.Get("Settings", "Loose"));
  EXPECT_FALSE(ini.Get("Recorder", "PlaySpeed"));
}

TEST(IniFileTest, SettingAValueKeepsEveryOtherLine) {
  LIniFile ini = LIniFile::Parse(
      "; written by hand\n"
      "[Settings]\n"
      "A=1\n"
      "garbage \xff line\n"
      "B=old\n"
      "B=older\n"
      "\n"
      "; about the player\n"
      "[Player]\n"
      "Device=2\n");
  ASSERT_TRUE(ini.Set("settings", "b", "new"));  // replaces the last B, drops the shadowed one
  ASSERT_TRUE(ini.Set("Settings", "C", "3"));    // after the section's last value
  ASSERT_TRUE(ini.Set("Recorder", "Vor", "1"));  // a new section at the end
  EXPECT_EQ(ini.Text(),
            "; written by hand\n"
            "[Settings]\n"
            "A=1\n"
            "garbage \xff line\n"
            "b=new\n"
            "C=3\n"
            "\n"
            "; about the player\n"
            "[Player]\n"
            "Device=2\n"
            "\n"
            "[Recorder]\n"
            "Vor=1\n");
  LIniFile empty;
  ASSERT_TRUE(empty.Set("Settings", "PlayWhenOpen", "0"));
  EXPECT_EQ(empty.Text(), "[Settings]\nPlayWhenOpen=0\n");
}

TEST(IniFileTest, ValuesSurviveEveryCharacterThatCannotStandInALine) {
  const std::string values[] = {
      "two\nlines\r\n",     "  padded  ",        " ",  "tab\there",        "C:\\dir\\n",
      "x\n[Other]\nY=1",    "trailing\\",        "",   "\xc3\xa4\xff\x01", "=a=b=",
  };
  LIniFile ini;
  for (size_t i = 0; i < std::size(values); ++i) {
    ASSERT_TRUE(ini.Set("S", "V" + std::to_string(i), values[i]));
  }
  const LIniFile reread = LIniFile::Parse(ini.Text());
  for (size_t i = 0; i < std::size(values); ++i) {
    EXPECT_EQ(reread.Get("S", "V" + std::to_string(i)), values[i]) << i;
  }
  EXPECT_FALSE(reread.Get("Other", "Y"));
  // Hand-written backslashes that are no escape stand for themselves; a NUL ends a value.
  EXPECT_EQ(LIniFile::Parse("[S]\nP=C:\\dir\\x\\\n").Get("S", "P"), "C:\\dir\\x\\");
  EXPECT_EQ(LIniFile::UnescapeValue("a\\sb\\t"), "a b\t");
  EXPECT_EQ(LIniFile::EscapeValue(std::string("ab\0cd", 5)), "ab");
}

TEST(IniFileTest, NamesThatCannotBeWrittenAreRefused) {
  LIniFile ini;
  for (const char* name : {"", "a=b", "a\nb", " lead", "trail ", "[x", ";x", "#x"}) {
    EXPECT_FALSE(ini.Set("S", name, "1")) << name;
  }
  for (const char* section : {"", "a]b", "a\rb", " S"}) EXPECT_FALSE(ini.Set(section, "N", "1")) << section;
  EXPECT_EQ(ini.Text(), "");
  EXPECT_TRUE(ini.Set("Components/lame", "RecentFile 1", "x"));
  EXPECT_EQ(ini.Get("components/LAME", "recentfile 1"), "x");
}

}  // namespace
}  // namespace klangor
