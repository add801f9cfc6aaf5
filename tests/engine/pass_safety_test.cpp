// Cases where a pass could reach data it was never given: items behind links
// on the other side, leftovers of an interrupted copy, a destination that is
// open elsewhere, and sizes at the edges of the transfer buffer and of 32 bits.
#include <gtest/gtest.h>

#include <string>

#include "engine/copy_pass.h"
#include "engine/enumeration_pass.h"
#include "engine/file_transfer.h"
#include "engine/handle_holder.h"
#include "tests/support/temp_tree.h"

namespace {

constexpr int64_t kHour = 36000000000LL;
constexpr int64_t kSomeTime = 132000000000000000LL;

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

TEST_F(PassSafety, DestinationOpenElsewhereKeepsAVersionOnceTheOtherCloses) {
  tree.WriteFile(L"src\\f.txt", "new version");
  tree.WriteFile(L"dst\\f.txt", "old version");
  SetAttributes(tree.Path(L"dst\\f.txt"), FILE_ATTRIBUTE_READONLY);
  {
    // Another program reading the old copy, letting others rename or delete it.
    HandleHolder reader(CreateFileW(LongForm(tree.Path(L"dst\\f.txt")).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader.Valid());
    Run(L"src", L"dst", BackupMode::Common);
  }
  std::string content = ReadWholeFile(tree.Path(L"dst\\f.txt"));
  EXPECT_TRUE(content == "new version" || content == "old version") << "got: " << content;
  EXPECT_EQ(NamesIn(tree.Path(L"dst")), (std::vector<std::wstring>{L"f.txt"}));
}

TEST_F(PassSafety, FilesOfWholeBufferMultiplesAndEmptyFilesCopyExactly) {
  tree.WriteFileOfSize(L"src\\one buffer.bin", kTransferBufferSize, 1);
  tree.WriteFileOfSize(L"src\\two buffers.bin", 2ull * kTransferBufferSize, 2);
  tree.WriteFileOfSize(L"src\\one byte more.bin", kTransferBufferSize + 1, 3);
  tree.WriteFileOfSize(L"src\\one byte less.bin", kTransferBufferSize - 1, 4);
  tree.WriteFile(L"src\\empty.txt", "");
  tree.WriteFile(L"dst\\empty.txt", "an older copy that had contents");
  EXPECT_EQ(Run(L"src", L"dst", BackupMode::Common), 1u);
  EXPECT_EQ(DescribeTree(tree.Path(L"dst")), DescribeTree(tree.Path(L"src")));
  EXPECT_EQ(job.bytesDone, 5ull * kTransferBufferSize);
}

TEST_F(PassSafety, SizesBeyondFourGibibytesAreCountedAndComparedIn64Bits) {
  constexpr uint64_t kHuge = (5ull << 30) + 7;
  // Sparse where the host allows it: only the length is set.
  for (const wchar_t* side : {L"src\\huge.bin", L"dst\\huge.bin"}) {
    tree.MakeFolder(std::wstring(side).substr(0, 3));
    HandleHolder file(CreateFileW(LongForm(tree.Path(side)).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(file.Valid());
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(kHuge);
    ASSERT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.Get()));
  }
  ASSERT_TRUE(SetWriteTime(tree.Path(L"src\\huge.bin"), kSomeTime));
  ASSERT_TRUE(SetWriteTime(tree.Path(L"dst\\huge.bin"), kSomeTime + kHour));
  job.fromRoot.Assign(tree.Path(L"src").c_str());
  EnumerationThread(&job);
  EXPECT_EQ(job.bytesTotal, kHuge);
  job.bytesTotal += 1;
  job.itemsTotal += 1;
  uint64_t id = FileIdOf(tree.Path(L"dst\\huge.bin"));
  EXPECT_EQ(Run(L"src", L"dst", BackupMode::Common | BackupMode::UpdateMethod), 1u);
  EXPECT_EQ(FileIdOf(tree.Path(L"dst\\huge.bin")), id) << "found up to date, not copied";
  EXPECT_EQ(job.bytesDone, kHuge);
  EXPECT_EQ(job.progress, 499 + 1 * 500 / 2) << "the bytes half stops just below 500";
}

TEST_F(PassSafety, LeftoversOfAnInterruptedCopyAreNeverCopiedAsUserFiles) {
  // What a terminated worker leaves beside the file it was writing.
  const std::wstring leftover = L"~hl0000abcd-1f.tmp";
  tree.WriteFile(L"src\\a.txt", "a");
  tree.WriteFile(L"src\\" + leftover, "half of something");
  tree.WriteFile(L"src\\~hlnotes.tmp", "a user's own file");
  tree.WriteFile(L"dst\\sub\\" + leftover, "half of something else");
  tree.WriteFile(L"dst\\sub\\b.txt", "b");
  Run(L"src", L"dst", BackupMode::Common);
  EXPECT_FALSE(Exists(tree.Path(L"dst\\" + leftover)));
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\~hlnotes.tmp")), "a user's own file");
  Run(L"dst", L"src", BackupMode::Restore);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\sub\\b.txt")), "b");
  EXPECT_FALSE(Exists(tree.Path(L"src\\sub\\" + leftover)));
  Run(L"dst", L"src", BackupMode::Sync | BackupMode::UpdateMethod);
  EXPECT_FALSE(Exists(tree.Path(L"src\\sub\\" + leftover)));
  // The deletion pass clears them from the destination.
  Run(L"dst", L"src", BackupMode::Strict);
  EXPECT_FALSE(Exists(tree.Path(L"dst\\sub\\" + leftover)));
}
