// The format table's lookup by extension. Saving and opening through every writable format is
// checked end to end, with sox reading the files, in tests/batch/native_formats_batch_test.

#include <gtest/gtest.h>

#include "formats/format_table.h"

namespace klangor {
namespace {

TEST(FormatTableTest, LooksUpExtensionsInAnyCase) {
  ASSERT_NE(FindFormat("wav"), nullptr);
  EXPECT_EQ(FindFormat(".WAV"), FindFormat("wav"));
  EXPECT_EQ(FindFormat("xyz"), nullptr);
  EXPECT_EQ(LowerExtension("/a.b/Take.One.WaV"), "wav");
  EXPECT_EQ(LowerExtension("/a.b/noext"), "");
}

}  // namespace
}  // namespace klangor
