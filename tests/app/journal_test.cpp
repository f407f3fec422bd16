// Crash recovery: a process edits a sound and is killed with SIGKILL; the next start finds its
// journal and restores the document exactly, undo steps included.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "app/document_journal.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "store/block_store.h"
#include "store/segment_stream.h"
#include "store/undo.h"
#include "support/test_env.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

std::vector<int32_t> Samples(const LSoundDocument& document) {
  LRef<LSoundStream> reader = OpenSegmentStream(document.sound);
  std::vector<int32_t> samples(static_cast<size_t>(document.Length()) * document.sound.Channels());
  reader->Read(samples.data(), document.Length());
  return samples;
}

TEST(JournalTest, WorkKilledWithSigkillIsRestoredExactly) {
  const std::string working = test::TempPath("-work");
  ASSERT_TRUE(EnsureFolder(working));
  const std::string input = test::TempPath(".wav");
  test::RunTool({"sox", "-V1", "-n", "-b", "16", "-c", "2", "-r", "8000", input, "synth", "1", "sine", "300"});
  const std::string expectedFile = test::TempPath(".raw");
  const std::string helper = std::string(std::getenv("KLANGOR_BUILD_DIR")) + "/tests/app/journal_crash_helper";
  EXPECT_EQ(test::Run({helper, working, input, expectedFile}), 128 + 9);  // killed

  SecureCrashedWork(working);
  // The block store's clean-up of dead processes' folders no longer reaches the work.
  LBlockStore::RemoveStaleBlockFolders(working);
  const std::vector<LRecoverableDocument> found = FindRecoverableDocuments(working);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, FileNameOf(input));
  EXPECT_EQ(found[0].sampleRate, 8000);
  EXPECT_EQ(found[0].lengthFrames, 8000 - 2000 + 700);

  LRef<LSoundDocument> restored = RestoreJournal(found[0].journal);
  ASSERT_TRUE(restored);
  DiscardRecovery(working);
  EXPECT_TRUE(ListFolder(working).empty());
  std::string bytes = test::ReadBytes(expectedFile);
  std::vector<int32_t> expected(bytes.size() / 4);
  std::memcpy(expected.data(), bytes.data(), bytes.size());
  EXPECT_EQ(Samples(*restored), expected);
  EXPECT_TRUE(restored->modified);
  EXPECT_EQ(restored->fileName, input);
  EXPECT_EQ(restored->selectionStart, 100);
  EXPECT_EQ(restored->selectionEnd, 900);
  EXPECT_EQ(restored->cursor, 400);
  // The undo steps came along: three undos give the sound as loaded.
  EXPECT_EQ(UndoMenuText(*restored), "Rückgängig Stille\tCtrl+Z");
  ASSERT_TRUE(Undo(*restored));
  ASSERT_TRUE(Undo(*restored));
  ASSERT_TRUE(Undo(*restored));
  EXPECT_EQ(restored->Length(), 8000);
  std::vector<int32_t> original;
  for (int16_t sample : test::SoxSamples16(input)) original.push_back(sample * 16);
  EXPECT_EQ(Samples(*restored), original);
}

TEST(JournalTest, JournalsFollowTheUnsavedWorkAndGoAtTheEnd) {
  const std::string folder = test::TempPath("-journals");
  ASSERT_TRUE(EnsureFolder(folder));
  auto document = MakeRef<LSoundDocument>();
  document->sound = test::MakeSound(8000, 1, std::vector<int32_t>(100, 7));
  {
    LDocumentJournal journal(folder);
    journal.Update({document});
    EXPECT_TRUE(ListFolder(folder).empty());  // nothing unsaved
    document->modified = true;
    journal.Update({document});
    const std::string path = journal.JournalOf(*document);
    ASSERT_TRUE(FileExists(path));
    document->modified = false;  // saved
    journal.Update({document});
    EXPECT_FALSE(FileExists(path));
    document->modified = true;
    journal.Update({document});
    EXPECT_EQ(ListFolder(folder).size(), 1u);
  }
  EXPECT_TRUE(ListFolder(folder).empty());
}

TEST(JournalTest, DamagedJournalsAreLeftOut) {
  const std::string working = test::TempPath("-damaged");
  const std::string folder = JoinPath(working, std::string(kRecoveryFolderPrefix) + "abc");
  ASSERT_TRUE(EnsureFolder(folder));
  auto document = MakeRef<LSoundDocument>();
  document->sound = test::MakeSound(8000, 1, std::vector<int32_t>(100, 7));
  std::string image;
  {
    LDocumentJournal journal(folder);
    document->modified = true;
    journal.Update({document});
    image = test::ReadBytes(journal.JournalOf(*document));
  }
  for (size_t cut : {size_t{0}, size_t{3}, size_t{20}, image.size() - 1}) {
    test::WriteBytes(JoinPath(folder, "1.journal"), image.substr(0, cut));
    EXPECT_TRUE(FindRecoverableDocuments(working).empty()) << cut;
  }
  std::string huge = image;
  huge[4] = '\xff';  // a name length far past the end
  huge[7] = '\x7f';
  test::WriteBytes(JoinPath(folder, "1.journal"), huge);
  EXPECT_TRUE(FindRecoverableDocuments(working).empty());
  test::WriteBytes(JoinPath(folder, "1.journal"), image);
  EXPECT_EQ(FindRecoverableDocuments(working).size(), 1u);
  DiscardRecovery(working);
}

}  // namespace
}  // namespace klangor
