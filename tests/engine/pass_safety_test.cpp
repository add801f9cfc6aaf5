// Cases where a pass could reach data it was never given: items behind links
// on the other side.
#include <gtest/gtest.h>

#include <string>

#include "engine/copy_pass.h"
#include "tests/support/temp_tree.h"

namespace {

class PassSafety : public ::testing::Test {
 protected:
  DWORD Run(const std::wstring& from, const std::wstring& to, uint32_t flags) {
    job.fromRoot.Assign(tree.Path(from).c_str());
    job.toRoot.Assign(tree.Path(to).c_str());
    job.flags = flags;
    job.bytesDone = job.itemsDone = 0;
    return CopyThread(&job);
  }

  TempTree tree;
  BackupJob job;
};

}  // namespace

TEST_F(PassSafety, CopyNeverWritesThroughAFolderLinkOnTheOtherSide) {
  tree.WriteFile(L"src\\docs\\a.txt", "new a");
  tree.WriteFile(L"src\\docs\\thing", "a file named like a folder elsewhere");
  tree.WriteFile(L"src\\top.txt", "top");
  tree.WriteFile(L"elsewhere\\a.txt", "precious a");
  tree.WriteFile(L"elsewhere\\thing\\keep.txt", "precious too");
  tree.MakeFolder(L"dst");
  std::string whyNot = MakeHostFolderLink(tree.Path(L"dst\\docs"), tree.Path(L"elsewhere"));
  if (!whyNot.empty()) GTEST_SKIP() << whyNot;
  std::wstring before = DescribeTree(tree.Path(L"elsewhere"));
  Run(L"src", L"dst", BackupMode::Common);
  EXPECT_EQ(DescribeTree(tree.Path(L"elsewhere")), before);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\top.txt")), "top") << "the rest is copied";
}
