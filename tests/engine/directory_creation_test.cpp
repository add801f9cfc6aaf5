#include "engine/directory_creation.h"

#include <gtest/gtest.h>

#include "tests/support/temp_tree.h"

TEST(CreateDirectoryTree, CreatesThreeMissingLevels) {
  TempTree tree;
  std::wstring target = tree.Path(L"one\\two\\three");
  EXPECT_TRUE(CreateDirectoryTree(target.c_str()));
  EXPECT_TRUE(IsFolder(tree.Path(L"one")));
  EXPECT_TRUE(IsFolder(tree.Path(L"one\\two")));
  EXPECT_TRUE(IsFolder(target));
}

TEST(CreateDirectoryTree, ExistingFolderAndTrailingSeparators) {
  TempTree tree;
  tree.MakeFolder(L"here");
  EXPECT_TRUE(CreateDirectoryTree(tree.Path(L"here").c_str()));
  EXPECT_TRUE(CreateDirectoryTree((tree.Path(L"new") + L"\\\\").c_str()));
  EXPECT_TRUE(IsFolder(tree.Path(L"new")));
  EXPECT_TRUE(CreateDirectoryTree((L"\\\\?\\" + tree.Path(L"prefixed\\deep")).c_str()));
  EXPECT_TRUE(IsFolder(tree.Path(L"prefixed\\deep")));
}

TEST(CreateDirectoryTree, NameTakenByAFileIsNotAFolder) {
  TempTree tree;
  tree.WriteFile(L"taken", "data");
  EXPECT_FALSE(CreateDirectoryTree(tree.Path(L"taken").c_str()));
  EXPECT_EQ(ReadWholeFile(tree.Path(L"taken")), "data") << "the file is left alone";
  EXPECT_FALSE(CreateDirectoryTree(tree.Path(L"taken\\below").c_str()));
}

TEST(CreateDirectoryTree, DriveRootsAndShortTexts) {
  EXPECT_TRUE(CreateDirectoryTree(L"C:"));
  EXPECT_TRUE(CreateDirectoryTree(L"C:\\"));
  EXPECT_FALSE(CreateDirectoryTree(L"Q:\\")) << "a drive that does not exist";
  EXPECT_FALSE(CreateDirectoryTree(L"\\\\"));
  EXPECT_FALSE(CreateDirectoryTree(L""));
}

TEST(CreateDirectoryTree, UnreachableServerFails) {
  EXPECT_FALSE(CreateDirectoryTree(L"\\\\no-such-server-hl\\share\\folder"));
}

TEST(CreateDirectoryTree, PathsBeyondTheClassicLimit) {
  TempTree tree;
  std::wstring relative = DeepRelativePath(L"level-with-a-long-name-", L"", 12,
                                           L"\u65e5\u672c\u8a9e-\u0444\u0430\u0439\u043b");
  std::wstring target = tree.Path(relative);
  ASSERT_GT(target.size(), 300u);
  EXPECT_TRUE(CreateDirectoryTree(target.c_str()));
  EXPECT_TRUE(IsFolder(target));
  // The folder can be listed and used.
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((LongForm(target) + L"\\*").c_str(), &entry);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  FindClose(search);
}
