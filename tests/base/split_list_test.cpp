#include <gtest/gtest.h>

#include "base/wide_string.h"

TEST(SplitList, PiecesAtTheSeparator) {
  SplitList list(L"a<|>b", L"<|>");
  ASSERT_EQ(list.Count(), 2);
  EXPECT_STREQ(list.Item(0), L"a");
  EXPECT_STREQ(list.Item(1), L"b");
  EXPECT_STREQ(list.Item(5), L"b") << "an index beyond the end gives the last piece";
}

TEST(SplitList, LeadingTrailingAndDoubledSeparators) {
  SplitList trailing(L"a<|>", L"<|>");
  ASSERT_EQ(trailing.Count(), 1);
  EXPECT_STREQ(trailing.Item(0), L"a");

  SplitList leading(L"<|>a", L"<|>");
  ASSERT_EQ(leading.Count(), 2);
  EXPECT_STREQ(leading.Item(0), L"");
  EXPECT_STREQ(leading.Item(1), L"a");

  SplitList doubled(L"a\n\nb", L"\n");
  ASSERT_EQ(doubled.Count(), 3);
  EXPECT_STREQ(doubled.Item(1), L"");
  EXPECT_STREQ(doubled.Item(2), L"b");
}

TEST(SplitList, EmptyTextOrSeparatorGivesOneWholePiece) {
  SplitList empty(L"", L"\n");
  ASSERT_EQ(empty.Count(), 1);
  EXPECT_STREQ(empty.Item(0), L"");
  SplitList noSeparator(L"a\nb", L"");
  ASSERT_EQ(noSeparator.Count(), 1);
  EXPECT_STREQ(noSeparator.Item(0), L"a\nb");
  SplitList nullText(nullptr, L"\n");
  ASSERT_EQ(nullText.Count(), 1);
  EXPECT_STREQ(nullText.Item(0), L"");
}

TEST(SplitList, SeparatorThatOverlapsItself) {
  SplitList list(L"x::::y", L"::");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_STREQ(list.Item(0), L"x");
  EXPECT_STREQ(list.Item(1), L"");
  EXPECT_STREQ(list.Item(2), L"y");
}
