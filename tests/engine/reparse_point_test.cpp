#include "engine/reparse_point.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_tree.h"

namespace {

std::wstring TargetText(const wchar_t* linkFolder, const wchar_t* target) {
  WideString text;
  LinkTargetText(linkFolder, target, text);
  return text.CStr();
}

}  // namespace

TEST(LinkTargetText, SameDriveGivesRelativeSteps) {
  EXPECT_EQ(TargetText(L"C:\\data\\links", L"C:\\data\\photos"), L"..\\photos");
  EXPECT_EQ(TargetText(L"C:\\data\\links", L"C:\\data\\links\\inner\\f.txt"), L".\\inner\\f.txt");
  EXPECT_EQ(TargetText(L"C:\\a\\b\\c", L"C:\\x\\y"), L"..\\..\\..\\x\\y");
  EXPECT_EQ(TargetText(L"C:\\data\\links", L"C:\\data\\links"), L".");
  EXPECT_EQ(TargetText(L"c:\\DATA\\links", L"C:\\data\\Photos"), L"..\\Photos")
      << "names compare without case";
}

TEST(LinkTargetText, LongFormsAreReadAsTheirOrdinaryNames) {
  EXPECT_EQ(TargetText(L"\\\\?\\C:\\data\\links", L"\\\\?\\C:\\data\\photos"), L"..\\photos");
  EXPECT_EQ(TargetText(L"C:\\data", L"\\\\?\\D:\\photos"), L"D:\\photos");
  EXPECT_EQ(TargetText(L"C:\\data", L"\\\\?\\UNC\\server\\share\\photos"),
            L"\\\\server\\share\\photos");
}

TEST(LinkTargetText, OtherDriveOrShareGivesTheAbsoluteTarget) {
  EXPECT_EQ(TargetText(L"C:\\data\\links", L"D:\\photos\\2020"), L"D:\\photos\\2020");
  EXPECT_EQ(TargetText(L"\\\\server\\share\\links", L"\\\\server\\share\\photos"), L"..\\photos");
  EXPECT_EQ(TargetText(L"\\\\server\\share\\links", L"\\\\server\\other\\photos"),
            L"\\\\server\\other\\photos");
  EXPECT_EQ(TargetText(L"\\\\server\\share\\links", L"\\\\elsewhere\\share\\photos"),
            L"\\\\elsewhere\\share\\photos");
}

TEST(CopyReparsePoint, RecreatesAFileLinkWithARelativeTarget) {
  TempTree tree;
  if (!PlatformCreatesSymbolicLinks(tree))
    GTEST_SKIP() << "this platform's CreateSymbolicLinkW creates no links";
  tree.WriteFile(L"src\\data\\f.txt", "target");
  tree.WriteFile(L"dst\\data\\f.txt", "copy");
  tree.MakeFolder(L"src\\links");
  tree.MakeFolder(L"dst\\links");
  std::wstring link = tree.Path(L"src\\links\\f.lnk");
  ASSERT_TRUE(CreateSymbolicLinkW(link.c_str(), tree.Path(L"src\\data\\f.txt").c_str(), 0));
  std::wstring copy = tree.Path(L"dst\\links\\f.lnk");
  ASSERT_TRUE(CopyReparsePoint(link.c_str(), copy.c_str()));
  EXPECT_TRUE(AttributesOf(copy) & FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(ReadWholeFile(copy), "copy") << "relative: resolves on the destination side";
  EXPECT_FALSE(CopyReparsePoint(link.c_str(), copy.c_str())) << "an existing name stays";
}

TEST(CopyReparsePoint, ReportsFailureWhenThePlatformMakesNoLink) {
  TempTree tree;
  if (PlatformCreatesSymbolicLinks(tree)) GTEST_SKIP() << "this platform makes links";
  tree.WriteFile(L"src\\f.txt", "data");
  std::wstring copy = tree.Path(L"dst-f.txt");
  EXPECT_FALSE(CopyReparsePoint(tree.Path(L"src\\f.txt").c_str(), copy.c_str()));
  EXPECT_FALSE(Exists(copy));
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\f.txt")), "data");
}

TEST(CopyReparsePoint, MissingSourceFails) {
  TempTree tree;
  EXPECT_FALSE(CopyReparsePoint(tree.Path(L"missing").c_str(), tree.Path(L"copy").c_str()));
  EXPECT_FALSE(Exists(tree.Path(L"copy")));
}
