// Start-up: the forwarded block, the command-line processor and the single instance over
// its real socket.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "app/command_line.h"
#include "app/forwarded_block.h"
#include "app/single_instance.h"
#include "platform/paths.h"
#include "support/test_env.h"

namespace klangor {
namespace {

TEST(ForwardedBlockTest, CarriesAtMost128ArgumentsOf259Characters) {
  std::vector<std::string> many;
  for (int i = 0; i < 200; ++i) many.push_back("arg" + std::to_string(i));
  many[5] = std::string(300, 'x');
  const std::string block = EncodeForwardedBlock(many);
  ASSERT_EQ(block.size(), 33284u);
  const auto decoded = DecodeForwardedBlock(block);
  ASSERT_TRUE(decoded.has_value());
  ASSERT_EQ(decoded->size(), 128u);
  EXPECT_EQ((*decoded)[0], "arg0");  // the program path is included
  EXPECT_EQ((*decoded)[5], std::string(259, 'x'));
  EXPECT_EQ((*decoded)[127], "arg127");
}

TEST(ForwardedBlockTest, BadBlocksAreRefusedOrCapped) {
  EXPECT_FALSE(DecodeForwardedBlock(std::string(33283, '\0')).has_value());
  EXPECT_FALSE(DecodeForwardedBlock(std::string(33285, '\0')).has_value());
  EXPECT_FALSE(DecodeForwardedBlock("").has_value());
  // A count far above 128 and slots without their zero: 128 arguments of 259 characters.
  std::string block(33284, 'y');
  block[0] = '\xff';
  block[1] = '\xff';
  block[2] = '\xff';
  block[3] = '\x7f';
  auto decoded = DecodeForwardedBlock(block);
  ASSERT_TRUE(decoded.has_value());
  ASSERT_EQ(decoded->size(), 128u);
  EXPECT_EQ(decoded->back(), std::string(259, 'y'));
  // A negative count means none.
  block[3] = '\xff';
  decoded = DecodeForwardedBlock(block);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_TRUE(decoded->empty());
}

class LRecordingActions final : public LCommandLineActions {
 public:
  std::vector<std::string> calls;
  void BringToFront() override { calls.push_back("front"); }
  void SaveActive() override { calls.push_back("save"); }
  void SaveActiveAs(const std::string& path) override { calls.push_back("saveas " + path); }
  void CloseActive() override { calls.push_back("close"); }
  void Exit() override { calls.push_back("exit"); }
  void Minimize() override { calls.push_back("minimize"); }
  void Maximize() override { calls.push_back("maximize"); }
  void Restore() override { calls.push_back("restore"); }
  void ResizeClient(std::optional<int> w, std::optional<int> h) override {
    calls.push_back("window " + (w ? std::to_string(*w) : "-") + " " + (h ? std::to_string(*h) : "-"));
  }
  void Batch(const std::string& script) override { calls.push_back("batch " + script); }
  void OpenProject(const std::string& path) override { calls.push_back("project " + path); }
  void OpenAudio(const std::string& path) override { calls.push_back("open " + path); }
};

struct LCommandLineCase {
  std::vector<std::string> arguments;
  std::vector<std::string> calls;  // after "front"
  bool startupWindow;
};

TEST(CommandLineTest, EveryArgumentOfTheTable) {
  const std::string list = test::TempPath(".txt");
  std::ofstream(list) << "a.wav\n\nb.mp3\r\n";
  const LCommandLineCase cases[] = {
      {{"klangor"}, {}, true},
      {{"klangor", "-block", "-install"}, {}, true},
      {{"klangor", "-minimize"}, {"minimize"}, false},
      {{"klangor", "-maximize", "-restore"}, {"maximize", "restore"}, false},
      {{"klangor", "x.wav", "-save", "-close"}, {"open x.wav", "save", "close"}, false},
      {{"klangor", "-saveas", "out.wav", "-exit"}, {"saveas out.wav", "exit"}, true},
      {{"klangor", "-saveas"}, {}, true},  // nothing to save as
      {{"klangor", "-window", "800", "600"}, {"window 800 600"}, false},
      {{"klangor", "-window", "800"}, {"window 800 -"}, false},
      {{"klangor", "-window", "x.wav"}, {"window - -", "open x.wav"}, false},
      {{"klangor", "-batch"}, {"batch "}, true},
      {{"klangor", "-batch", "s.klb", "x.wav"}, {"batch s.klb"}, true},  // processing stops
      {{"klangor", "-list", list, "c.wav"}, {"open a.wav", "open b.mp3"}, true},
      {{"klangor", "-list", "-x"}, {}, true},
      {{"klangor", "-list", "/no/such/list"}, {}, true},
      {{"klangor", "-runedit"}, {}, false},
      {{"klangor", "p.KLP", ""}, {"project p.KLP"}, false},
  };
  for (const LCommandLineCase& c : cases) {
    LRecordingActions actions;
    const bool startup = ProcessCommandLine(c.arguments, actions);
    std::vector<std::string> expected = {"front"};
    expected.insert(expected.end(), c.calls.begin(), c.calls.end());
    EXPECT_EQ(actions.calls, expected) << c.arguments.back();
    EXPECT_EQ(startup, c.startupWindow) << c.arguments.back();
  }
}

TEST(CommandLineTest, FileNamesBecomeAbsoluteButSizesStay) {
  EXPECT_EQ(AbsoluteArguments({"klangor", "a.wav", "-window", "800", "600", "-saveas", "o.wav", "/abs.wav"}, "/home/u"),
            (std::vector<std::string>{"klangor", "/home/u/a.wav", "-window", "800", "600", "-saveas", "/home/u/o.wav",
                                      "/abs.wav"}));
}

// One instance and the starts after it, in private folders of their own.
class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::TempPath("-instance");
  }
  // The arguments the instance received, reading as its event loop would.
  std::vector<std::string> Receive(LSingleInstance& instance) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      const int fd = instance.Accept();
      if (fd < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      LForwardReader reader(fd);
      for (;;) {
        const LForwardReader::LState state = reader.Read();
        if (state == LForwardReader::LState::kDone) return reader.Arguments();
        if (state == LForwardReader::LState::kBad) return {"<bad>"};
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    return {"<nothing>"};
  }
  std::string folder_;
};

TEST_F(SingleInstanceTest, ASecondStartForwardsItsArgumentsAndEnds) {
  LSingleInstance first(folder_);
  ASSERT_EQ(first.Start({"klangor"}), LSingleInstance::LRole::kInstance);
  ASSERT_GE(first.ListenDescriptor(), 0) << first.Problem();
  first.ReleaseStartLock();
  // Private to the user: the folder 0700, the socket 0600.
  struct stat info;
  ASSERT_EQ(::stat(folder_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat(JoinPath(folder_, "instance.socket").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  LSingleInstance::LRole role = LSingleInstance::LRole::kInstance;
  std::thread second([&] {
    LSingleInstance start(folder_);
    role = start.Start({"klangor", "/music/a b.wav", "-minimize"});
  });
  const std::vector<std::string> received = Receive(first);
  second.join();
  EXPECT_EQ(role, LSingleInstance::LRole::kForwarded);
  EXPECT_EQ(received, (std::vector<std::string>{"klangor", "/music/a b.wav", "-minimize"}));
}

TEST_F(SingleInstanceTest, ASocketLeftByACrashedInstanceIsTakenOver) {
  ASSERT_TRUE(EnsureFolder(folder_, 0700));
  // A bound socket whose process is gone: the file stays, nobody listens.
  const std::string path = JoinPath(folder_, "instance.socket");
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
  LSingleInstance start(folder_);
  EXPECT_EQ(start.Start({"klangor"}), LSingleInstance::LRole::kInstance);
  EXPECT_GE(start.ListenDescriptor(), 0) << start.Problem();
}

TEST_F(SingleInstanceTest, ABlockOfTheWrongSizeIsIgnored) {
  LSingleInstance first(folder_);
  ASSERT_EQ(first.Start({"klangor"}), LSingleInstance::LRole::kInstance);
  std::thread sender([&] {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", JoinPath(folder_, "instance.socket").c_str());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      const std::string shortBlock(1000, 'z');
      (void)::send(fd, shortBlock.data(), shortBlock.size(), MSG_NOSIGNAL);
      ::shutdown(fd, SHUT_WR);
    }
    ::close(fd);
  });
  EXPECT_EQ(Receive(first), (std::vector<std::string>{"<bad>"}));
  sender.join();
}

TEST_F(SingleInstanceTest, AnInstanceThatDoesNotAnswerKeepsItsPlace) {
  LSingleInstance first(folder_);
  ASSERT_EQ(first.Start({"klangor"}), LSingleInstance::LRole::kInstance);
  first.ReleaseStartLock();
  // It never accepts: the start gives up after its wait and does not take over the socket.
  LSingleInstance start(folder_);
  EXPECT_EQ(start.Start({"klangor", "x.wav"}), LSingleInstance::LRole::kNoAnswer);
  EXPECT_GE(first.ListenDescriptor(), 0);
  struct stat info;
  EXPECT_EQ(::stat(JoinPath(folder_, "instance.socket").c_str(), &info), 0);
}

}  // namespace
}  // namespace klangor
