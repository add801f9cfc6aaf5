#include "engine/enumeration_pass.h"

#include <gtest/gtest.h>

#include "tests/support/temp_tree.h"

namespace {

void Count(BackupJob& job, const std::wstring& root) {
  job.fromRoot.Assign(root.c_str());
  EnumerationThread(&job);
}

}  // namespace

TEST(EnumerationPass, CountsEveryEntryAndEveryFileSize) {
  TempTree tree;
  tree.WriteFileOfSize(L"src\\a.bin", 1000, 1);
  tree.WriteFileOfSize(L"src\\sub\\b.bin", 2500, 2);
  tree.WriteFileOfSize(L"src\\sub\\deeper\\c.bin", 0, 3);
  tree.WriteFileOfSize(L"src\\.hidden", 7, 4);
  tree.MakeFolder(L"src\\empty");
  SetAttributes(tree.Path(L"src\\a.bin"), FILE_ATTRIBUTE_SYSTEM);
  BackupJob job;
  job.itemsTotal = 99;  // left from an earlier pair
  job.bytesTotal = 99;
  Count(job, tree.Path(L"src"));
  EXPECT_EQ(job.itemsTotal, 7u);  // a.bin sub b.bin deeper c.bin .hidden empty
  EXPECT_EQ(job.bytesTotal, 3507u);
}

TEST(EnumerationPass, EmptyOrMissingSourceCountsNothing) {
  TempTree tree;
  tree.MakeFolder(L"empty");
  BackupJob job;
  Count(job, tree.Path(L"empty"));
  EXPECT_EQ(job.itemsTotal, 0u);
  EXPECT_EQ(job.bytesTotal, 0u);
  EXPECT_TRUE(EnumerateTree(tree.Path(L"missing").c_str(), job));
  EXPECT_EQ(job.itemsTotal, 0u);
  EXPECT_EQ(EnumerationThread(nullptr), 0u);
}

TEST(EnumerationPass, CancelEndsTheCountAtTheNextEntry) {
  TempTree tree;
  for (int i = 0; i < 5; ++i) tree.WriteFile(L"src\\f" + std::to_wstring(i), "x");
  BackupJob job;
  job.cancelRequested = 1;
  EXPECT_FALSE(EnumerateTree(LongForm(tree.Path(L"src")).c_str(), job));
  EXPECT_EQ(job.itemsTotal, 1u);
}

TEST(EnumerationPass, HostLinkToAParentIsCountedButNeverEntered) {
  TempTree tree;
  tree.WriteFileOfSize(L"src\\sub\\f.bin", 10, 1);
  std::string whyNot = MakeHostFolderLink(tree.Path(L"src\\sub\\up"), tree.Path(L"src"));
  if (!whyNot.empty()) GTEST_SKIP() << whyNot;
  BackupJob job;
  Count(job, tree.Path(L"src"));
  EXPECT_EQ(job.itemsTotal, 3u);  // sub f.bin up
  EXPECT_EQ(job.bytesTotal, 10u) << "a folder link counts with no size";
}

TEST(EnumerationPass, LongPathsAndNonLatinNamesAreCounted) {
  TempTree tree;
  std::wstring deep = L"src";
  for (int i = 0; i < 12; ++i)
    deep += L"\\\u30d5\u30a9\u30eb\u30c0-long-folder-name-" + std::to_wstring(i);
  tree.WriteFileOfSize(deep + L"\\\u0444\u0430\u0439\u043b.bin", 4096, 1);
  ASSERT_GT(tree.Path(deep).size(), 300u);
  BackupJob job;
  Count(job, tree.Path(L"src"));
  EXPECT_EQ(job.itemsTotal, 13u);
  EXPECT_EQ(job.bytesTotal, 4096u);
}
