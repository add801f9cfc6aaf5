#include "base/wide_string.h"

#include <gtest/gtest.h>

#include <string>

TEST(WideStringFind, ForwardBackwardAndOccurrences) {
  WideString s(L"C:\\a\\b");
  EXPECT_EQ(s.Find(L"\\", true, -1, 1, 0), 5);
  EXPECT_EQ(s.Find(L"\\", true, 1, 1, 0), 3);
  EXPECT_EQ(s.Find(L"\\", true, 0, 1, 0), 3) << "occurrence 0 counts as the first";
  EXPECT_EQ(s.Find(L"\\", true, 2, 1, 0), 5);
  EXPECT_EQ(s.Find(L"\\", true, 3, 1, 0), 0);
  EXPECT_EQ(s.Find(L"\\", true, -2, 1, 0), 3);
  EXPECT_EQ(s.Find(L"\\", true, -3, 1, 0), 0);
}

TEST(WideStringFind, StartAndWindowLimitTheSearch) {
  WideString s(L"abcabcabc");
  EXPECT_EQ(s.Find(L"abc", true, 1, 2, 0), 4);
  EXPECT_EQ(s.Find(L"abc", true, -1, 1, 5), 1) << "window of 5 holds only the first match";
  EXPECT_EQ(s.Find(L"abc", true, 1, 1, 2), 0) << "window shorter than the needle";
  EXPECT_EQ(s.Find(L"abc", true, 1, 8, 0), 0) << "fewer units left than the needle";
  EXPECT_EQ(s.Find(L"abc", true, 1, -5, 0), 1) << "start below 1 means the beginning";
  EXPECT_EQ(s.Find(L"abc", true, -1, 4, 100), 7) << "a window beyond the end is what remains";
  // The prefix test of the program: starts with a 4-unit prefix?
  WideString p(L"\\\\?\\C:\\x");
  EXPECT_EQ(p.Find(L"\\\\?\\", true, 1, 1, 4), 1);
  WideString q(L"C:\\\\?\\x");
  EXPECT_EQ(q.Find(L"\\\\?\\", true, 1, 1, 4), 0);
}

TEST(WideStringFind, CaseAndEmptyTexts) {
  WideString s(L"Photos.HBAK");
  EXPECT_EQ(s.Find(L".hbak", false, -1, 1, 0), 7);
  EXPECT_EQ(s.Find(L".hbak", true, -1, 1, 0), 0);
  EXPECT_EQ(s.Find(L"", true, 1, 1, 0), 0);
  EXPECT_EQ(s.Find(nullptr, true, 1, 1, 0), 0);
  WideString empty;
  EXPECT_EQ(empty.Find(L"a", true, 1, 1, 0), 0);
  WideString shortText(L"ab");
  EXPECT_EQ(shortText.Find(L"abc", true, 1, 1, 0), 0);
}

TEST(WideStringReplace, GrowingShrinkingAndSelectedOccurrence) {
  WideString s(L"a,b,c");
  s.Replace(L",", L" and ", 0, true);
  EXPECT_TRUE(s.ok);
  EXPECT_STREQ(s.CStr(), L"a and b and c");
  EXPECT_EQ(s.Length(), 13);
  s.Replace(L" and ", L"", 0, true);
  EXPECT_STREQ(s.CStr(), L"abc");
  EXPECT_EQ(s.Length(), 3);

  WideString t(L"x.x.x");
  t.Replace(L".", L"-", 2, true);
  EXPECT_STREQ(t.CStr(), L"x.x-x");
  t.Replace(L"X", L"yy", -1, false);
  EXPECT_STREQ(t.CStr(), L"x.x-yy");
  t.Replace(L"q", L"r", 0, true);
  EXPECT_FALSE(t.ok) << "nothing replaced";
  EXPECT_STREQ(t.CStr(), L"x.x-yy");
}

TEST(WideStringReplace, MatchesDoNotOverlapAndReplacementMayAliasTheText) {
  WideString s(L"aaaa");
  s.Replace(L"aa", L"b", 0, true);
  EXPECT_STREQ(s.CStr(), L"bb");
  WideString t(L"abcabc");
  t.Replace(L"abc", t.CStr() + 4, 0, true);  // "bc"
  EXPECT_STREQ(t.CStr(), L"bcbc");
}

TEST(WideStringBasics, FromIntAppendPrependConcat) {
  WideString s;
  EXPECT_STREQ(s.FromInt(-12).CStr(), L"-12");
  EXPECT_STREQ(s.FromInt(0).CStr(), L"0");
  EXPECT_STREQ(s.FromInt(INT32_MIN).CStr(), L"-2147483648");
  s.Assign(L"b");
  s.Append(L"c", nullptr, L"d");
  s.Prepend(L"a");
  EXPECT_STREQ(s.CStr(), L"abcd");
  EXPECT_EQ(s.Length(), 4);
  s.Append(s.CStr());  // appending itself
  EXPECT_STREQ(s.CStr(), L"abcdabcd");
  s.AssignConcat(L"x", nullptr, L"y");
  EXPECT_STREQ(s.CStr(), L"xy");
  s.Prepend(nullptr);
  EXPECT_STREQ(s.CStr(), L"xy");
}

TEST(WideStringBasics, NullBufferBecomesEmptyText) {
  WideString s;
  EXPECT_EQ(s.buf, nullptr);
  EXPECT_EQ(s.Length(), 0);
  EXPECT_STREQ(s.CStr(), L"");
  EXPECT_TRUE(s.ok);
  EXPECT_NE(s.buf, nullptr);
  EXPECT_FALSE(s.StartsWithDigit());
  s.Assign(L"7up");
  EXPECT_TRUE(s.StartsWithDigit());
  s.Clear();
  EXPECT_EQ(s.buf, nullptr);
}

TEST(WideStringBasics, AssignNLetsACallerFillTheBuffer) {
  WideString s;
  wchar_t* buffer = s.AssignN(10, L"abc");
  ASSERT_NE(buffer, nullptr);
  EXPECT_STREQ(buffer, L"abc");
  wcscpy(buffer, L"longer one");
  EXPECT_EQ(s.Length(), 10) << "length is recounted after the caller wrote";
  s.AssignN(2, L"abcdef");
  EXPECT_STREQ(s.CStr(), L"ab");
  s.AssignN(3, nullptr);
  EXPECT_STREQ(s.CStr(), L"");
}

TEST(WideStringBasics, AttachTakesOwnership) {
  WideString s(L"old");
  wchar_t* heap = static_cast<wchar_t*>(malloc(4 * sizeof(wchar_t)));
  wcscpy(heap, L"new");
  s.Attach(heap);
  EXPECT_STREQ(s.CStr(), L"new");
  s.Attach(nullptr);
  EXPECT_STREQ(s.CStr(), L"");
}

TEST(WideStringEditing, TruncateDropSubstringOverwrite) {
  WideString s(L"abcdef");
  s.Truncate(10);
  EXPECT_FALSE(s.ok);
  EXPECT_STREQ(s.CStr(), L"abcdef");
  s.Truncate(4);
  EXPECT_TRUE(s.ok);
  EXPECT_STREQ(s.CStr(), L"abcd");
  s.DropLeft(1);
  EXPECT_STREQ(s.CStr(), L"bcd");
  s.DropRight(10);
  EXPECT_STREQ(s.CStr(), L"");
  s.Assign(L"xyz");
  s.DropLeft(-3);
  EXPECT_STREQ(s.CStr(), L"xyz");

  s.Substring(L"hello world", 7, 0);
  EXPECT_STREQ(s.CStr(), L"world");
  s.Substring(L"hello", 2, 3);
  EXPECT_STREQ(s.CStr(), L"ell");
  s.Substring(L"hello", 4, 100);
  EXPECT_STREQ(s.CStr(), L"lo") << "stops early at the end of the text";
  s.Substring(nullptr, 1, 1);
  EXPECT_FALSE(s.ok);
  EXPECT_STREQ(s.CStr(), L"lo");

  s.Assign(L"file.exe");
  s.OverwriteAt(6, L"com");
  EXPECT_STREQ(s.CStr(), L"file.com");
  s.OverwriteAt(8, L"xyz");
  EXPECT_STREQ(s.CStr(), L"file.cox") << "never grows";
  s.OverwriteAt(9, L"a");
  EXPECT_FALSE(s.ok);
}

TEST(WideStringMemory, FailedAllocationLeavesTheStringUsable) {
  WideString s(L"keep");
  EXPECT_EQ(s.AssignN(INT32_MAX, L"x"), nullptr) << "byte count beyond 32 bits must fail";
  EXPECT_FALSE(s.ok);
  EXPECT_STREQ(s.CStr(), L"keep");
  s.Append(L"!");
  EXPECT_TRUE(s.ok);
  EXPECT_STREQ(s.CStr(), L"keep!");
}

TEST(WideStringMemory, MoveLeavesTheSourceEmpty) {
  WideString a(L"text");
  WideString b(std::move(a));
  EXPECT_STREQ(b.CStr(), L"text");
  EXPECT_STREQ(a.CStr(), L"");
  a = std::move(b);
  EXPECT_STREQ(a.CStr(), L"text");
}

TEST(TextComparison, EqualsNoCase) {
  EXPECT_TRUE(EqualsNoCase(nullptr, nullptr));
  EXPECT_FALSE(EqualsNoCase(L"a", nullptr));
  EXPECT_FALSE(EqualsNoCase(nullptr, L""));
  EXPECT_TRUE(EqualsNoCase(L"/QUIET", L"/quiet"));
  EXPECT_FALSE(EqualsNoCase(L"/quiet", L"/quie"));
}

TEST(TextComparison, CompareTextOrdersUnsignedAfterLowering) {
  EXPECT_EQ(CompareText(L"abc", L"ABD", false), -1);
  EXPECT_EQ(CompareText(L"abc", L"ABC", false), 0);
  EXPECT_EQ(CompareText(L"abc", L"ABC", true), 1) << "'a' is above 'A'";
  EXPECT_EQ(CompareText(L"ab", L"abc", true), -1) << "a prefix is smaller";
  EXPECT_EQ(CompareText(L"abc", L"ab", true), 1);
  EXPECT_EQ(CompareText(nullptr, L"a", true), -1);
  EXPECT_EQ(CompareText(L"a", nullptr, true), 1);
  EXPECT_EQ(CompareText(nullptr, nullptr, true), 0);
  // Units above 0x7FFF compare as unsigned: a signed compare would put them first.
  EXPECT_EQ(CompareText(L"\uFF21", L"z", true), 1);
}
