// The key bindings file: records read in order until one is cut short, another version, and
// writing the bytes it reads.

#include <gtest/gtest.h>

#include "app/key_file.h"
#include "platform/paths.h"
#include "support/test_env.h"

namespace klangor {
namespace {

using test::Le32;

std::string Record(uint32_t key, const std::vector<uint32_t>& commands) {
  std::string bytes = Le32(key) + std::string(1, static_cast<char>(commands.size()));
  for (uint32_t command : commands) bytes += Le32(command);
  return bytes;
}

TEST(KeyFileTest, ReadsRecordsInFileOrderUntilOneIsCutShort) {
  const std::string image = std::string(1, '\0') + Record(kKeyCtrl | 'Z', {2001}) +
                            Record(kKeyCtrl | kKeyShift | 0x70, {1004, 0xffffffff, 7}) +
                            Record(kKeyAlt | 'A', {}) + Record(kKeyCtrl | 'Z', {2033});
  LKeyFileResult result = ParseKeyFile(image);
  ASSERT_EQ(result.status, LKeyFileStatus::kLoaded);
  const std::vector<LKeyBinding> expected = {
      {0x2005a, {2001}}, {0x60070, {1004, -1, 7}}, {0x10041, {}}, {0x2005a, {2033}}};
  EXPECT_EQ(result.bindings, expected);

  // Cut inside the last record's commands, inside a count, inside a key code.
  for (size_t cut : {image.size() - 1, image.size() - 4, image.size() - 5, image.size() - 8}) {
    EXPECT_EQ(ParseKeyFile(image.substr(0, cut)).bindings,
              std::vector<LKeyBinding>(expected.begin(), expected.end() - 1)) << cut;
  }
  EXPECT_EQ(ParseKeyFile(std::string(1, '\0')).status, LKeyFileStatus::kLoaded);
  EXPECT_TRUE(ParseKeyFile(std::string(1, '\0')).bindings.empty());
}

TEST(KeyFileTest, AnotherVersionLoadsNothing) {
  LKeyFileResult result = ParseKeyFile("\x01" + Record('A', {1}));
  EXPECT_EQ(result.status, LKeyFileStatus::kWrongVersion);
  EXPECT_TRUE(result.bindings.empty());
  EXPECT_EQ(ParseKeyFile("").status, LKeyFileStatus::kMissing);
  EXPECT_EQ(ReadKeyFile(test::TempPath(".dat")).status, LKeyFileStatus::kMissing);
  const std::string folder = test::TempPath("-folder");
  ASSERT_TRUE(EnsureFolder(folder));
  EXPECT_EQ(ReadKeyFile(folder).status, LKeyFileStatus::kWrongVersion);
}

TEST(KeyFileTest, WritesTheSameBytesItReads) {
  std::vector<LKeyBinding> bindings = {{kKeyShift | 0x2e, {2002, 2003}}, {0x20, {}}};
  const std::string image = SerialiseKeyFile(bindings);
  EXPECT_EQ(image, std::string(1, '\0') + Record(0x4002e, {2002, 2003}) + Record(0x20, {}));
  const std::string path = test::TempPath(".dat");
  ASSERT_TRUE(WriteKeyFile(path, bindings));
  EXPECT_EQ(test::ReadBytes(path), image);
  EXPECT_EQ(ReadKeyFile(path).bindings, bindings);

  // The count is one byte: a longer command list keeps its first 255 commands.
  LKeyBinding many{'M', std::vector<int32_t>(300, 5)};
  LKeyFileResult reread = ParseKeyFile(SerialiseKeyFile({many, {'N', {6}}}));
  ASSERT_EQ(reread.bindings.size(), 2u);
  EXPECT_EQ(reread.bindings[0].commands.size(), kMaxCommandsPerKey);
  EXPECT_EQ(reread.bindings[1].commands, std::vector<int32_t>{6});

  EXPECT_FALSE(WriteKeyFile(path + "/below", bindings));
  EXPECT_EQ(test::ReadBytes(path), image);
}

}  // namespace
}  // namespace klangor
