#include "base/path.h"

#include <gtest/gtest.h>

namespace {
std::wstring Apply(WideString& (*op)(WideString&), const wchar_t* text) {
  WideString s(text);
  op(s);
  return s.CStr();
}
std::wstring Parent(const wchar_t* text, bool keep) {
  WideString s(text);
  ParentFolder(s, keep);
  return s.CStr();
}
}  // namespace

TEST(PathHelpers, TrimTrailingBackslashes) {
  WideString s(L"\\\\\\");
  TrimTrailingBackslashes(s);
  EXPECT_STREQ(s.CStr(), L"");
  EXPECT_TRUE(s.ok) << "the text was not empty";
  WideString e(L"");
  TrimTrailingBackslashes(e);
  EXPECT_FALSE(e.ok);
  EXPECT_EQ(Apply(TrimTrailingBackslashes, L"C:\\a\\\\"), L"C:\\a");
  EXPECT_EQ(Apply(TrimTrailingBackslashes, L"C:\\a"), L"C:\\a");
}

TEST(PathHelpers, FolderTextShowsADriveAsItsRoot) {
  EXPECT_EQ(Apply(TrimFolderText, L"Z:\\"), L"Z:\\");
  EXPECT_EQ(Apply(TrimFolderText, L"Z:\\\\"), L"Z:\\");
  EXPECT_EQ(Apply(TrimFolderText, L"Z:"), L"Z:\\");
  EXPECT_EQ(Apply(TrimFolderText, L"Z:\\Data\\"), L"Z:\\Data");
  EXPECT_EQ(Apply(TrimFolderText, L"\\\\server\\share\\"), L"\\\\server\\share");
}

TEST(PathHelpers, LongPathPrefixOnlyForDrivePaths) {
  EXPECT_EQ(Apply(AddLongPathPrefix, L"C:\\data"), L"\\\\?\\C:\\data");
  EXPECT_EQ(Apply(AddLongPathPrefix, L"\\\\server\\share"), L"\\\\server\\share");
  EXPECT_EQ(Apply(AddLongPathPrefix, L"\\\\?\\C:\\x"), L"\\\\?\\C:\\x");
  EXPECT_EQ(Apply(AddLongPathPrefix, L"relative\\x"), L"relative\\x");
  EXPECT_EQ(Apply(AddLongPathPrefix, L"C"), L"\\\\?\\C");
}

TEST(PathHelpers, ParentFolderOnDriveRootsAndDeeperPaths) {
  EXPECT_EQ(Parent(L"C:\\a", false), L"C:");
  EXPECT_EQ(Parent(L"C:\\a", true), L"C:\\");
  EXPECT_EQ(Parent(L"C:", true), L"C:\\");
  EXPECT_EQ(Parent(L"C:", false), L"C:");
  EXPECT_EQ(Parent(L"C:\\a\\b.txt", false), L"C:\\a");
  EXPECT_EQ(Parent(L"C:\\a\\b\\", true), L"C:\\a\\");
  EXPECT_EQ(Parent(L"\\\\server\\share\\dir", false), L"\\\\server\\share");
  EXPECT_EQ(Parent(L"name", false), L"name");
}

TEST(PathHelpers, FileNameAndExtensionParts) {
  EXPECT_EQ(Apply(FileNamePart, L"C:\\a\\b.txt"), L"b.txt");
  EXPECT_EQ(Apply(FileNamePart, L"b.txt"), L"b.txt");
  EXPECT_EQ(Apply(FileNamePart, L"C:\\a\\"), L"");
  EXPECT_EQ(Apply(ExtensionPart, L"C:\\a\\b.tar.gz"), L".gz");
  EXPECT_EQ(Apply(ExtensionPart, L"C:\\a\\name."), L"");
  EXPECT_EQ(Apply(ExtensionPart, L"C:\\a\\name"), L"");
  EXPECT_EQ(Apply(ExtensionPart, L"C:\\my.folder\\name"), L"");
  EXPECT_EQ(Apply(ExtensionPart, L".hbak"), L".hbak");
}

TEST(PathHelpers, JoinPathAndSearchPattern) {
  WideString s;
  JoinPath(s, L"C:\\a", L"b");
  EXPECT_STREQ(s.CStr(), L"C:\\a\\b");
  JoinPath(s, s.CStr(), L"*");
  EXPECT_STREQ(s.CStr(), L"C:\\a\\b\\*");
}

TEST(PathHelpers, LongFormOfADriveIsItsRootNotTheVolume) {
  // "\\?\E:" opens the volume device on Windows; only "\\?\E:\" is the folder.
  EXPECT_EQ(Apply(AddLongPathPrefix, L"E:"), L"\\\\?\\E:\\");
  EXPECT_EQ(Apply(AddLongPathPrefix, L"E:\\"), L"\\\\?\\E:\\");
  EXPECT_EQ(Apply(AddLongPathPrefix, L"\\\\?\\E:\\"), L"\\\\?\\E:\\");
}

TEST(PathHelpers, DropLongPathPrefix) {
  EXPECT_EQ(Apply(DropLongPathPrefix, L"\\\\?\\C:\\x"), L"C:\\x");
  EXPECT_EQ(Apply(DropLongPathPrefix, L"\\\\?\\UNC\\srv\\share\\x"), L"\\\\srv\\share\\x");
  EXPECT_EQ(Apply(DropLongPathPrefix, L"C:\\x"), L"C:\\x");
}

TEST(PathHelpers, NormalizeFolderPathMakesEveryDriveItsRoot) {
  struct Row {
    const wchar_t* given;
    const wchar_t* normal;
    bool full;
  };
  const Row rows[] = {
      {L"T:", L"T:\\", true},
      {L"T:\\", L"T:\\", true},
      {L"t:\\\\\\", L"t:\\", true},
      {L"\\\\?\\T:", L"T:\\", true},
      {L"\\\\?\\T:\\", L"T:\\", true},
      {L"T:\\src\\", L"T:\\src", true},
      {L"\\\\?\\T:\\src", L"T:\\src", true},
      {L"\\\\server\\share\\", L"\\\\server\\share", true},
      {L"\\\\?\\UNC\\server\\share", L"\\\\server\\share", true},
      {L"", L"", false},
      {L"\\", L"", false},
      {L"relative\\x", L"relative\\x", false},
      {L"T:name", L"T:name", false},
      {L"\\rooted", L"\\rooted", false},
      {L"\\\\.\\T:", L"\\\\.\\T:", false},
      {L"1:\\x", L"1:\\x", false},
  };
  for (const Row& row : rows) {
    WideString path(row.given);
    bool full = NormalizeFolderPath(path).ok;
    EXPECT_EQ(full, row.full) << row.given;
    EXPECT_EQ(std::wstring(path.CStr()), row.normal) << row.given;
  }
}

TEST(PathHelpers, DriveRootsAndJoiningBelowThem) {
  EXPECT_TRUE(IsDriveRoot(L"T:\\"));
  EXPECT_TRUE(IsDriveRoot(L"\\\\?\\T:\\"));
  EXPECT_FALSE(IsDriveRoot(L"T:"));
  EXPECT_FALSE(IsDriveRoot(L"T:\\x"));
  WideString s;
  JoinPath(s, L"\\\\?\\T:\\", L"name");
  EXPECT_STREQ(s.CStr(), L"\\\\?\\T:\\name") << "no second separator below a root";
  JoinPath(s, L"T:\\", L"*");
  EXPECT_STREQ(s.CStr(), L"T:\\*");
}
