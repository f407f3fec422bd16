// The settings store: reading rules, the machine file as fallback, damaged and unusable files,
// failed writes that leave the old file whole, concurrent writers, and where the files are.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <set>
#include <thread>
#include <variant>

#include "platform/file.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "support/test_env.h"

namespace klangor {
namespace {

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::TempPath("-settings");
    user_ = folder_ + "/user/Tessaly Audio/Klangor.ini";
    machine_ = folder_ + "/machine/Klangor.ini";
  }
  LSettingsStore Store() const { return LSettingsStore(user_, machine_); }
  void WriteUser(const std::string& text) {
    ASSERT_TRUE(EnsureFolder(FolderOf(user_)));
    test::WriteBytes(user_, text);
  }
  void WriteMachine(const std::string& text) {
    ASSERT_TRUE(EnsureFolder(FolderOf(machine_)));
    test::WriteBytes(machine_, text);
  }
  std::string folder_, user_, machine_;
};

TEST_F(SettingsStoreTest, ReadingRules) {
  WriteUser(
      "[S]\nB1=0abc\nB2=yes\nB3=\nB4= 0\n"
      "I1=12x\nI2=x\nI3=\nI4=-20\nI5=\\s+7\nI6=99999999999\nI7=-99999999999\nT1=\n");
  const LSettingsStore store = Store();
  EXPECT_FALSE(store.ReadBool("S", "B1", true));
  EXPECT_TRUE(store.ReadBool("S", "B2", false));
  EXPECT_TRUE(store.ReadBool("S", "B3", true));
  EXPECT_FALSE(store.ReadBool("S", "B3", false));
  EXPECT_FALSE(store.ReadBool("S", "B4", true));  // padding is not part of the value
  EXPECT_TRUE(store.ReadBool("S", "Missing", true));
  EXPECT_EQ(store.ReadInt("S", "I1", 5), 12);
  EXPECT_EQ(store.ReadInt("S", "I2", 5), 5);  // not a number: the default
  EXPECT_EQ(store.ReadInt("S", "I3", 5), 5);
  EXPECT_EQ(store.ReadInt("S", "I4", 5), -20);
  EXPECT_EQ(store.ReadInt("S", "I5", 5), 7);
  EXPECT_EQ(store.ReadInt("S", "I6", 5), INT32_MAX);
  EXPECT_EQ(store.ReadInt("S", "I7", 5), INT32_MIN);
  EXPECT_EQ(store.ReadInt("Other", "I1", 5), 5);
  // Declared settings are brought into their range; a text that is no number is the default.
  EXPECT_EQ(store.Read(LIntSetting{"S", "I6", 5, LSettingScope::kUser, {0, 100}}), 100);
  EXPECT_EQ(store.Read(LIntSetting{"S", "I4", 5, LSettingScope::kUser, {0, 100}}), 0);
  EXPECT_EQ(store.Read(LIntSetting{"S", "I2", 50, LSettingScope::kUser, {0, 100}}), 50);
  EXPECT_EQ(store.ReadString("S", "T1", "dflt"), "");  // an empty text is a text
  EXPECT_EQ(store.ReadString("S", "T2", "dflt"), "dflt");
}

TEST_F(SettingsStoreTest, MachineFileIsTheFallbackOfTheMachineWideGroup) {
  WriteMachine("[Settings]\nSoundOutDevice=3\nPlaySpeed=2\nTextToSpeechVoice=4\n[Recorder]\nVor=1\n");
  LSettingsStore store = Store();
  EXPECT_EQ(store.ReadIntMachineFallback("Settings", "SoundOutDevice", 0), 3);
  EXPECT_EQ(store.ReadInt("Settings", "SoundOutDevice", 0), 0);
  EXPECT_EQ(store.ReadStringMachineFallback("Settings", "SoundOutDevice", ""), "3");
  EXPECT_EQ(store.ReadString("Settings", "SoundOutDevice", ""), "");
  EXPECT_TRUE(store.ReadBoolMachineFallback("Recorder", "Vor", false));
  EXPECT_FALSE(store.ReadBool("Recorder", "Vor", false));
  // The declared settings pick their rule from their scope.
  EXPECT_EQ(store.Read(kSoundOutDevice), 3);
  EXPECT_TRUE(store.Read(kRecorderVor));
  EXPECT_EQ(store.Read(kPlaySpeed), 1);  // not machine-wide: the machine file is not asked

  // A value in the user's file wins, even an empty one (which then reads as the default).
  WriteUser("[Settings]\nSoundOutDevice=\nTextToSpeechVoice=1\n");
  EXPECT_EQ(store.Read(kSoundOutDevice), 0);
  EXPECT_EQ(store.Read(kTextToSpeechVoice), 1);

  EXPECT_TRUE(store.Write(kSoundOutDevice, 5));  // to both files
  EXPECT_EQ(LSettingsStore("", machine_).ReadIntMachineFallback("Settings", "SoundOutDevice", 0), 5);
  EXPECT_EQ(store.ReadInt("Settings", "SoundOutDevice", 0), 5);
  EXPECT_TRUE(store.Write(kPlaySpeed, 0));  // to the user's file only
  EXPECT_EQ(LSettingsStore("", machine_).ReadIntMachineFallback("Settings", "PlaySpeed", 0), 2);

  // A machine file that cannot be written does not stop the write to the user's file.
  LSettingsStore noMachine(user_, folder_ + "/machine/Klangor.ini/below");
  EXPECT_TRUE(noMachine.WriteBoolBoth("Recorder", "Autotrim", false));
  EXPECT_FALSE(noMachine.Read(kRecorderAutotrim));
}

// No setting is declared twice (names are not case-sensitive), and a store without files
// gives every default.
TEST_F(SettingsStoreTest, EverySettingIsDeclaredOnceAndDefaultsWithoutFiles) {
  const LSettingsStore store = Store();
  std::set<std::string> keys;
  for (const LSettingRef& ref : kAllSettings) {
    std::visit(
        [&](const auto* setting) {
          std::string key = std::string(setting->section) + "/" + std::string(setting->name);
          for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
          EXPECT_TRUE(keys.insert(key).second) << "declared twice: " << key;
          EXPECT_EQ(store.Read(*setting), setting->defaultValue) << key;
        },
        ref);
  }
}

TEST_F(SettingsStoreTest, LongValuesAreCutWhenRead) {
  LSettingsStore store = Store();
  std::string umlauts;
  for (int i = 0; i < 300; ++i) umlauts += "ä";
  const std::string path = "/" + std::string(400, 'p');
  ASSERT_TRUE(store.WriteString("Settings", "SaveAsFormat", umlauts));
  ASSERT_TRUE(store.Write(kOpenFileDir, path));
  ASSERT_TRUE(store.WriteString("Settings", "Number", "7" + std::string(300, '0')));
  EXPECT_EQ(store.Read(kSaveAsFormat).size(), 2 * kMaxValueCharacters);  // characters, not bytes
  EXPECT_EQ(store.ReadString("Settings", "OpenFileDir", "").size(), kMaxValueCharacters);
  EXPECT_EQ(store.Read(kOpenFileDir), path);  // paths keep the platform's limit
  EXPECT_EQ(store.ReadInt("Settings", "Number", 0), INT32_MAX);
}

TEST_F(SettingsStoreTest, ADamagedFileReadsByTheRulesAndTheNextWriteKeepsTheRest) {
  const std::string damaged =
      "\x01\x02 binary junk \xff\xfe\n"
      "PlaySpeed=2\n"  // outside any section
      "[Settings]\n"
      "PlayWhenOpen=0\n"
      "PlayWhenOpen=1\n"
      "AutoTrimThreshold\n"
      "WorkingFolder=/m\xfcsic\n"
      "SaveAsFormat=" + std::string(600, 'x') + "\n"
      "[Unknown section]\n"
      "Whatever=keeps\n";
  WriteUser(damaged);
  LSettingsStore store = Store();
  EXPECT_TRUE(store.Read(kPlayWhenOpen));
  EXPECT_EQ(store.Read(kPlaySpeed), 1);
  EXPECT_EQ(store.Read(kAutoTrimThreshold), -20);
  EXPECT_EQ(store.Read(kWorkingFolder), "/m\xfcsic");
  EXPECT_EQ(store.Read(kSaveAsFormat), std::string(259, 'x'));
  EXPECT_EQ(store.Read(kMainWindowX), 160);  // a missing section

  ASSERT_TRUE(store.Write(kAutoGapTime, 250));
  EXPECT_EQ(test::ReadBytes(user_),
            "\x01\x02 binary junk \xff\xfe\n"
            "PlaySpeed=2\n"
            "[Settings]\n"
            "PlayWhenOpen=0\n"
            "PlayWhenOpen=1\n"
            "AutoTrimThreshold\n"
            "WorkingFolder=/m\xfcsic\n"
            "SaveAsFormat=" + std::string(600, 'x') + "\n"
            "AutoGapTime=250\n"
            "[Unknown section]\n"
            "Whatever=keeps\n");
}

TEST_F(SettingsStoreTest, FilesThatCannotBeUsedGiveDefaultsAndFailedWritesChangeNothing) {
  // A folder in the settings file's place, a regular file in its folder's place, a FIFO.
  ASSERT_TRUE(EnsureFolder(user_));
  LSettingsStore folderInPlace = Store();
  EXPECT_EQ(folderInPlace.Read(kPlaySpeed), 1);
  EXPECT_FALSE(folderInPlace.Write(kPlaySpeed, 2));
  EXPECT_TRUE(IsFolder(user_));

  test::WriteBytes(folder_ + "/plain", "not a folder");
  LSettingsStore fileAsFolder(folder_ + "/plain/Klangor.ini", "");
  EXPECT_FALSE(fileAsFolder.Write(kPlaySpeed, 2));
  EXPECT_EQ(fileAsFolder.Read(kPlaySpeed), 1);
  EXPECT_EQ(test::ReadBytes(folder_ + "/plain"), "not a folder");

  const std::string fifo = folder_ + "/fifo.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  LSettingsStore onFifo(fifo, fifo);
  EXPECT_EQ(onFifo.Read(kSoundOutDevice), 0);  // does not wait for a writer
  EXPECT_FALSE(onFifo.Write(kSoundOutDevice, 1));
}

TEST_F(SettingsStoreTest, AFailedWriteLeavesTheOldFileWholeAndNewFilesArePrivate) {
  LSettingsStore store = Store();
  ASSERT_TRUE(store.Write(kSaveAsFormat, "mp3"));
  struct stat info;
  ASSERT_EQ(::stat(user_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(FolderOf(user_).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  const std::string before = test::ReadBytes(user_);
  {
    test::LFileSizeLimit full(before.size() + 16);
    EXPECT_FALSE(store.Write(kOpenFileDir, std::string(1000, 'd')));
  }
  EXPECT_EQ(test::ReadBytes(user_), before);
  EXPECT_EQ(store.Read(kSaveAsFormat), "mp3");
  for (const std::string& name : ListFolder(FolderOf(user_))) {
    EXPECT_TRUE(name == "Klangor.ini" || name == ".Klangor.ini.lock") << "left behind: " << name;
  }
  // A settings file kept as a link stays a link.
  const std::string link = folder_ + "/link.ini";
  ASSERT_EQ(::symlink(user_.c_str(), link.c_str()), 0);
  LSettingsStore viaLink(link, "");
  ASSERT_TRUE(viaLink.Write(kSaveAsFormat, "ogg"));
  ASSERT_EQ(::lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(store.Read(kSaveAsFormat), "ogg");
}

TEST_F(SettingsStoreTest, ConcurrentWritersKeepEachOthersValues) {
  constexpr int kValues = 40;
  auto writer = [this](const std::string& prefix) {
    LSettingsStore store = Store();
    for (int i = 0; i < kValues; ++i) store.WriteInt("StoredValues", prefix + std::to_string(i), i);
  };
  // Two processes, as the editor and klangor-batch would be (forked before any thread runs),
  // and two threads.
  std::vector<pid_t> children;
  for (const char* prefix : {"ProcessA", "ProcessB"}) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      writer(prefix);
      ::_exit(0);
    }
    children.push_back(child);
  }
  std::thread a(writer, "ThreadA");
  std::thread b(writer, "ThreadB");
  a.join();
  b.join();
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const LSettingsStore store = Store();
  for (const char* prefix : {"ThreadA", "ThreadB", "ProcessA", "ProcessB"}) {
    for (int i = 0; i < kValues; ++i) {
      EXPECT_EQ(store.ReadInt("StoredValues", prefix + std::to_string(i), -1), i) << prefix << i;
    }
  }
}

TEST_F(SettingsStoreTest, TheEnvironmentNamesTheFiles) {
  setenv("XDG_CONFIG_HOME", (folder_ + "/config").c_str(), 1);
  setenv("KLANGOR_MACHINE_SETTINGS", (folder_ + "/etc/k.ini").c_str(), 1);
  LSettingsStore store = LSettingsStore::FromEnvironment();
  EXPECT_EQ(store.UserFile(), folder_ + "/config/Tessaly Audio/Klangor.ini");
  EXPECT_EQ(store.MachineFile(), folder_ + "/etc/k.ini");
  // Relative locations are not taken.
  setenv("XDG_CONFIG_HOME", "relative", 1);
  setenv("KLANGOR_MACHINE_SETTINGS", "relative.ini", 1);
  EXPECT_EQ(UserSettingsFile(), HomeFolder() + "/.config/Tessaly Audio/Klangor.ini");
  EXPECT_EQ(MachineSettingsFile(), "/etc/xdg/Tessaly Audio/Klangor.ini");
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("KLANGOR_MACHINE_SETTINGS");
}

}  // namespace
}  // namespace klangor
