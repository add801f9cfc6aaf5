// What the copy pass's pool of workers could break, on a mapped drive.
#include "engine/copy_pool.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/copy_pass.h"
#include "engine/enumeration_pass.h"
#include "engine/handle_holder.h"
#include "engine/scratch_names.h"
#include "tests/support/pass_gate.h"
#include "tests/support/temp_tree.h"

namespace {

constexpr uint32_t kWorkers = 4;
constexpr uint64_t kLargestFile = 8192;  // of the small trees below
constexpr int64_t kSomeTime = 132000000000000000LL;

std::wstring FileName(int i) { return L"d" + std::to_wstring(i % 4) + L"\\f" + std::to_wstring(i); }

int ScratchFilesBelow(const std::wstring& folder) {
  int count = 0;
  for (const std::wstring& name : NamesIn(folder))
    count += IsScratchFileName(name.c_str())   ? 1
             : IsFolder(folder + L"\\" + name) ? ScratchFilesBelow(folder + L"\\" + name)
                                               : 0;
  return count;
}

class FilesInParallel : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_ = std::make_unique<MappedDrive>(tree.Root());
    if (!drive_->Ready()) GTEST_SKIP() << drive_->WhyNot();
  }
  // count files in four folders, of 0 to kLargestFile bytes.
  void WriteFiles(const std::wstring& root, int count) {
    for (int i = 0; i < count; ++i)
      tree.WriteFileOfSize(root + L"\\" + FileName(i), (i * 977) % (kLargestFile + 1), i);
  }
  // Totals as the runner sets them, then a fresh pass of the job.
  void Prepare(const std::wstring& from, const std::wstring& to, uint32_t flags, uint32_t threads) {
    job.fromRoot.Assign((drive_->Root() + from).c_str());
    EnumerationThread(&job);
    job.bytesTotal += 1;
    job.itemsTotal += 1;
    job.toRoot.Assign((drive_->Root() + to).c_str());
    job.flags = flags;
    job.threads = threads;
    job.bytesDone = job.itemsDone = 0;
    ClearReport(job.report);
  }

  TempTree tree;
  std::unique_ptr<MappedDrive> drive_;
  BackupJob job;
};

}  // namespace

TEST_F(FilesInParallel, ManySmallFilesAreCopiedExactlyWithEveryTimeKept) {
  WriteFiles(L"src", 400);
  tree.WriteFileOfSize(L"src\\d1\\large.bin", 3 * kTransferBufferSize + 1, 7);  // the walker's
  std::vector<ItemTimes> times(400);
  for (int i = 0; i < 400; ++i) {
    times[i] = ItemTimes{kSomeTime - i * 3000000000LL, kSomeTime - i, kSomeTime - i * 7000000LL};
    ASSERT_TRUE(SetTimes(tree.Path(L"src\\" + FileName(i)), times[i]));
    times[i] = TimesOf(tree.Path(L"src\\" + FileName(i)));  // as the platform keeps them
  }
  Prepare(L"src", L"dst", BackupMode::Common, kWorkers);
  EXPECT_EQ(CopyThread(&job), 1u);
  for (int i = 0; i < 400; ++i) {
    ItemTimes copy = TimesOf(tree.Path(L"dst\\" + FileName(i)));
    EXPECT_EQ(copy.lastWrite, times[i].lastWrite) << i;
    EXPECT_EQ(copy.lastAccess, times[i].lastAccess) << i;
    EXPECT_EQ(copy.creation, times[i].creation) << i;
  }
  EXPECT_EQ(DescribeTree(tree.Path(L"dst")), DescribeTree(tree.Path(L"src")));
  EXPECT_EQ(job.report.counts.copied, 401u);
  // The bar ends at the final counters' value, whichever thread counted last.
  EXPECT_EQ(job.progress, ProgressHalf(job.bytesDone, job.bytesTotal) +
                              ProgressHalf(job.itemsDone, job.itemsTotal));
}

// The first bytes counted come from a worker inside its file: its contents
// stand in a scratch copy that does not bear the name yet. Standing still is
// seen over a short interval, so a pause that does not hold could slip
// through on a slow machine; the bounds hold however slow it is.
TEST_F(FilesInParallel, PauseHoldsEveryWorkerWithFilesInFlightAndResumeFinishes) {
  WriteFiles(L"src", 400);
  Prepare(L"src", L"dst", BackupMode::Common, kWorkers);
  PassGate gate(job, [](const BackupJob& seen) { return seen.bytesDone > 0; });
  ASSERT_TRUE(gate.Start(CopyThread));
  ASSERT_TRUE(gate.WaitHeld());
  EXPECT_GE(ScratchFilesBelow(tree.Path(L"dst")), 1) << "a file in flight";
  PauseJob(job);
  const uint64_t bytesAtPause = job.bytesDone, itemsAtPause = job.itemsDone;
  gate.Release();
  EXPECT_EQ(WaitForSingleObject(gate.Thread(), 300), static_cast<DWORD>(WAIT_TIMEOUT));
  // Each worker ends at most the file it stood in, the walker the entry.
  EXPECT_LE(job.bytesDone, bytesAtPause + kWorkers * kLargestFile);
  EXPECT_LE(job.itemsDone, itemsAtPause + 1);
  EXPECT_LE(ScratchFilesBelow(tree.Path(L"dst")), static_cast<int>(kWorkers));
  ResumeJob(job);
  DWORD exitCode = 99;
  ASSERT_TRUE(gate.WaitEnded(&exitCode));
  EXPECT_EQ(exitCode, 1u);
  EXPECT_EQ(DescribeTree(tree.Path(L"dst")), DescribeTree(tree.Path(L"src")));
}

TEST_F(FilesInParallel, CancelWithFilesInFlightLeavesNoScratchAndKeepsThePreviousVersions) {
  WriteFiles(L"src", 400);
  for (int i = 0; i < 400; ++i) tree.WriteFile(L"dst\\" + FileName(i), "previous");
  Prepare(L"src", L"dst", BackupMode::Common, kWorkers);
  PassGate gate(job, [](const BackupJob& seen) { return seen.bytesDone > 0; });
  ASSERT_TRUE(gate.Start(CopyThread));
  ASSERT_TRUE(gate.WaitHeld());
  job.cancelRequested = 1;
  gate.Release();
  DWORD exitCode = 99;
  ASSERT_TRUE(gate.WaitEnded(&exitCode));
  EXPECT_EQ(ScratchFilesBelow(tree.Path(L"dst")), 0);
  // Each file is its previous version or a complete copy; the report counts the copies.
  uint64_t previous = 0, copied = 0;
  for (int i = 0; i < 400; ++i) {
    std::string now = ReadWholeFile(tree.Path(L"dst\\" + FileName(i)));
    if (now == "previous")
      ++previous;
    else if (now == ReadWholeFile(tree.Path(L"src\\" + FileName(i))))
      ++copied;
  }
  EXPECT_GT(previous, 0u);
  EXPECT_EQ(previous + copied, 400u) << "a partial copy took a file's name";
  EXPECT_EQ(job.report.counts.copied, copied);
  EXPECT_EQ(job.report.counts.failed, 0u);
}

// The walker's failure (a file in the way of folder d1) and the workers'
// (sources held open) come out once each, in the walk's order, as with one
// thread, whatever order the workers ended in.
TEST_F(FilesInParallel, FailuresAreReportedOnceEachInTheOrderOfTheWalk) {
  WriteFiles(L"src", 240);
  std::vector<HandleHolder> held;
  for (int i : {4, 110, 239})
    held.emplace_back(CreateFileW(LongForm(tree.Path(L"src\\" + FileName(i))).c_str(), GENERIC_READ,
                                  0, nullptr, OPEN_EXISTING, 0, nullptr));
  std::vector<FailedItem> reports[2];
  for (uint32_t threads : {1u, kWorkers}) {
    RemoveTree(tree.Path(L"dst"));
    tree.WriteFile(L"dst\\d1", "in the way");
    Prepare(L"src", L"dst", BackupMode::Common, threads);
    CopyThread(&job);
    EXPECT_EQ(job.report.counts.copied, 240u - 60 - 3);
    reports[threads == 1 ? 0 : 1] = job.report.failures;
  }
  ASSERT_EQ(reports[0].size(), 4u);
  ASSERT_EQ(reports[1].size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(reports[1][i].path, reports[0][i].path) << i;
    EXPECT_EQ(reports[1][i].step, reports[0][i].step) << i;
  }
}

TEST_F(FilesInParallel, CountersEqualTheSingleThreadRun) {
  WriteFiles(L"src", 300);
  tree.WriteFileOfSize(L"src\\d2\\large.bin", 2 * kTransferBufferSize + 5, 9);
  for (const wchar_t* dst : {L"dst1\\", L"dst2\\"})  // a third up to date
    for (int i = 0; i < 300; i += 3) tree.WriteFileOfSize(dst + FileName(i), (i * 977) % 8193, 5);
  PassCounts counts[2];
  uint64_t done[2][3];
  for (int run = 0; run < 2; ++run) {
    Prepare(L"src", run ? L"dst2" : L"dst1", BackupMode::Common | BackupMode::UpdateMethod,
            run ? kWorkers : 1);
    CopyThread(&job);
    counts[run] = job.report.counts;
    done[run][0] = job.bytesDone, done[run][1] = job.itemsDone, done[run][2] = job.progress;
  }
  EXPECT_EQ(counts[0].upToDate, 100u);
  EXPECT_EQ(counts[0].copied, 201u);
  EXPECT_EQ(counts[1].upToDate, counts[0].upToDate);
  EXPECT_EQ(counts[1].copied, counts[0].copied);
  EXPECT_EQ(counts[1].bytesCopied, counts[0].bytesCopied);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(done[1][i], done[0][i]) << i;
}

// The deletion pass hands its plain files out as well; each folder goes only
// after its files, and a file that cannot go keeps its folder.
TEST_F(FilesInParallel, StrictDeletionsInParallelEqualTheSingleThreadRun) {
  PassCounts counts[2];
  std::vector<FailedItem> failures[2];
  for (uint32_t threads : {1u, kWorkers}) {
    RemoveTree(tree.Path(L"src"));
    RemoveTree(tree.Path(L"dst"));
    WriteFiles(L"dst", 240);
    // The source has all of d0, f1 of d1, every other file of d2, no d3.
    for (int i = 0; i < 240; ++i)
      if (i % 4 == 0 || i == 1 || i % 8 == 2) tree.WriteFile(L"src\\" + FileName(i), "kept");
    HandleHolder held(CreateFileW(LongForm(tree.Path(L"dst\\" + FileName(5))).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.Valid());
    Prepare(L"dst", L"src", BackupMode::Strict, threads);
    CopyThread(&job);
    const int run = threads == 1 ? 0 : 1;
    counts[run] = job.report.counts;
    failures[run] = job.report.failures;
    EXPECT_FALSE(Exists(tree.Path(L"dst\\d3"))) << "a folder the source lacks goes after its files";
    EXPECT_EQ(NamesIn(tree.Path(L"dst\\d1")).size(), 2u) << "f5, which is held, and f1";
    EXPECT_EQ(NamesIn(tree.Path(L"dst\\d0")).size(), 60u);
  }
  EXPECT_EQ(counts[0].deleted, 58u + 30 + 60 + 1) << "d1 but f1 and f5, half of d2, d3 whole";
  EXPECT_EQ(counts[1].deleted, counts[0].deleted);
  EXPECT_EQ(counts[1].failed, 1u);
  ASSERT_EQ(failures[1].size(), 1u);
  EXPECT_EQ(failures[1][0].path, failures[0][0].path);
  EXPECT_EQ(failures[1][0].step, FailureStep::kDelete);
}

// Versions with files in flight: every replaced and deleted file is moved
// into the run folder, whichever thread moved it.
TEST_F(FilesInParallel, VersionsKeepEveryReplacedAndDeletedFileWithFilesInFlight) {
  WriteFiles(L"src", 200);
  for (int i = 0; i < 200; i += 2) tree.WriteFile(L"dst\\" + FileName(i), "old");
  for (int i = 0; i < 40; ++i) tree.WriteFile(L"dst\\gone\\g" + std::to_wstring(i), "gone");
  SYSTEMTIME start{};
  start.wYear = 2031;
  start.wMonth = 1;
  start.wDay = 2;
  job.sideVersions[0].Begin((drive_->Root() + L"dst").c_str(), start);
  job.versions = &job.sideVersions[0];
  Prepare(L"src", L"dst", BackupMode::Common, kWorkers);
  CopyThread(&job);
  EXPECT_EQ(job.report.counts.versioned, 100u);
  Prepare(L"dst", L"src", BackupMode::Strict, kWorkers);
  CopyThread(&job);
  EXPECT_EQ(job.report.counts.versioned, 41u) << "40 files and their folder";
  EXPECT_EQ(job.report.counts.failed, 0u);
  const std::wstring run = L"dst\\Harborline Versions\\2031-01-02 00-00-00\\";
  for (int i = 0; i < 200; i += 2)
    EXPECT_EQ(ReadWholeFile(tree.Path(run + FileName(i))), "old") << i;
  EXPECT_EQ(NamesIn(tree.Path(run + L"gone")).size(), 40u);
  EXPECT_FALSE(Exists(tree.Path(L"dst\\gone")));
}
