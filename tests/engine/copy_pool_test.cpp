#include "engine/copy_pool.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/copy_pass.h"
#include "engine/enumeration_pass.h"
#include "engine/handle_holder.h"
#include "engine/pass_report.h"
#include "engine/scratch_names.h"
#include "tests/support/pass_gate.h"
#include "tests/support/temp_tree.h"

namespace {

constexpr int64_t kHour = 36000000000LL;
constexpr int64_t kSomeTime = 132000000000000000LL;  // a day in 2019
constexpr uint32_t kPoolThreads = 4;
constexpr uint64_t kLargestSmallFile = 8192;

// Many small files in several folders, of sizes 0 to kLargestSmallFile.
struct SmallTree {
  int folders;
  int filesPerFolder;
};

std::wstring SmallFileName(int folder, int file) {
  return L"d" + std::to_wstring(folder) + L"\\f" + std::to_wstring(file) + L".dat";
}

uint64_t SmallFileSize(int folder, int file) {
  return static_cast<uint64_t>((folder * 131 + file * 977) % (kLargestSmallFile + 1));
}

void CountScratchFiles(const std::wstring& folder, int& count) {
  for (const std::wstring& name : NamesIn(folder)) {
    std::wstring path = folder + L"\\" + name;
    if (IsScratchFileName(name.c_str()))
      ++count;
    else if (IsFolder(path))
      CountScratchFiles(path, count);
  }
}

int ScratchFilesBelow(const std::wstring& folder) {
  int count = 0;
  CountScratchFiles(folder, count);
  return count;
}

// The tests run on a drive letter mapped to their own temporary folder.
class FilesInParallel : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_ = std::make_unique<MappedDrive>(tree.Root());
    if (!drive_->Ready()) GTEST_SKIP() << drive_->WhyNot();
  }

  std::wstring OnDrive(const std::wstring& relative) const { return drive_->Root() + relative; }

  void WriteSmallTree(const std::wstring& root, const SmallTree& shape) {
    for (int d = 0; d < shape.folders; ++d)
      for (int f = 0; f < shape.filesPerFolder; ++f)
        tree.WriteFileOfSize(root + L"\\" + SmallFileName(d, f), SmallFileSize(d, f),
                             static_cast<uint32_t>(d * 1000 + f));
  }

  // Totals as the runner sets them, then the counters and report of a new pass.
  void Prepare(const std::wstring& from, const std::wstring& to, uint32_t flags, uint32_t threads,
               uint32_t skip = 0) {
    job.fromRoot.Assign(OnDrive(from).c_str());
    EnumerationThread(&job);
    job.bytesTotal += 1;
    job.itemsTotal += 1;
    job.toRoot.Assign(OnDrive(to).c_str());
    job.flags = flags;
    job.skipAttributes = skip;
    job.threads = threads;
    job.bytesDone = 0;
    job.itemsDone = 0;
    job.progress = 0;
    job.cancelRequested = 0;
    ClearReport(job.report);
  }

  DWORD Run(const std::wstring& from, const std::wstring& to, uint32_t flags, uint32_t threads,
            uint32_t skip = 0) {
    Prepare(from, to, flags, threads, skip);
    return CopyThread(&job);
  }

  TempTree tree;
  std::unique_ptr<MappedDrive> drive_;
  BackupJob job;
};

}  // namespace

TEST_F(FilesInParallel, ManySmallFilesAreCopiedExactlyWithEveryTimeKept) {
  const SmallTree shape{6, 80};
  WriteSmallTree(L"src", shape);
  // One file larger than a chunk: it stays on the walker's thread meanwhile.
  tree.WriteFileOfSize(L"src\\d2\\large.bin", 3 * kTransferBufferSize + 11, 77);
  const bool creationKept = PlatformKeepsCreationTimes(tree);
  std::vector<std::wstring> files;
  std::vector<ItemTimes> sourceTimes;
  for (int d = 0; d < shape.folders; ++d)
    for (int f = 0; f < shape.filesPerFolder; ++f) files.push_back(SmallFileName(d, f));
  files.push_back(L"d2\\large.bin");
  for (size_t i = 0; i < files.size(); ++i) {
    ItemTimes times;
    const int64_t offset = static_cast<int64_t>(i) * kHour;
    times.creation = kSomeTime - 9000 * kHour + offset;
    times.lastAccess = kSomeTime - 10 * kHour + offset;
    times.lastWrite = kSomeTime - 5000 * kHour + offset;
    ASSERT_TRUE(SetTimes(tree.Path(L"src\\" + files[i]), times));
    sourceTimes.push_back(TimesOf(tree.Path(L"src\\" + files[i])));
  }

  ASSERT_GE(FilesInFlight(job), 1u);
  EXPECT_EQ(Run(L"src", L"dst", BackupMode::Common, kPoolThreads), 1u);

  EXPECT_EQ(job.report.counts.copied, files.size());
  EXPECT_EQ(job.report.counts.failed, 0u);
  for (size_t i = 0; i < files.size(); ++i) {
    ItemTimes copy = TimesOf(tree.Path(L"dst\\" + files[i]));
    EXPECT_EQ(copy.lastWrite, sourceTimes[i].lastWrite) << Utf8(files[i]);
    EXPECT_EQ(copy.lastAccess, sourceTimes[i].lastAccess) << Utf8(files[i]);
    if (creationKept) {
      EXPECT_EQ(copy.creation, sourceTimes[i].creation) << Utf8(files[i]);
    }
  }
  // After the times: reading the copies moves their last-access times.
  EXPECT_EQ(DescribeTree(tree.Path(L"dst")), DescribeTree(tree.Path(L"src")));
  EXPECT_EQ(ScratchFilesBelow(tree.Path(L"dst")), 0);
  // The bar's last value is that of the final counters, whichever thread
  // counted last.
  EXPECT_EQ(job.progress, ProgressHalf(job.bytesDone, job.bytesTotal) +
                              ProgressHalf(job.itemsDone, job.itemsTotal));
}

// Standing still is observed over a short interval, so a pause that did not
// hold could slip through on a slow machine; the bounds themselves hold
// however slow it is, so the test never fails falsely.
TEST_F(FilesInParallel, PauseHoldsEveryWorkerWithFilesInFlightAndResumeFinishesTheCopy) {
  const SmallTree shape{4, 100};
  WriteSmallTree(L"src", shape);
  Prepare(L"src", L"dst", BackupMode::Common, kPoolThreads);
  // The first bytes counted come from a worker standing inside its file: the
  // contents are in its scratch copy, which does not bear the name yet.
  PassGate gate(job, [](const BackupJob& seen) { return seen.bytesDone > 0; });
  ASSERT_TRUE(gate.Start(CopyThread));
  ASSERT_TRUE(gate.WaitHeld()) << "no worker got inside a file";
  EXPECT_GE(ScratchFilesBelow(tree.Path(L"dst")), 1) << "a file is in flight";
  PauseJob(job);
  const uint64_t bytesAtPause = job.bytesDone;
  const uint64_t itemsAtPause = job.itemsDone;
  gate.Release();

  EXPECT_EQ(WaitForSingleObject(gate.Thread(), 300), static_cast<DWORD>(WAIT_TIMEOUT));
  // Each worker finishes at most the file it stood in, the walker at most
  // the entry it was at.
  EXPECT_LE(job.bytesDone, bytesAtPause + kPoolThreads * kLargestSmallFile);
  EXPECT_LE(job.itemsDone, itemsAtPause + 1);
  EXPECT_LE(ScratchFilesBelow(tree.Path(L"dst")), static_cast<int>(kPoolThreads));

  ResumeJob(job);
  DWORD exitCode = 99;
  ASSERT_TRUE(gate.WaitEnded(&exitCode));
  EXPECT_EQ(exitCode, 1u);
  EXPECT_EQ(DescribeTree(tree.Path(L"dst")), DescribeTree(tree.Path(L"src")));
  EXPECT_EQ(ScratchFilesBelow(tree.Path(L"dst")), 0);
  EXPECT_EQ(job.report.counts.copied, static_cast<uint64_t>(shape.folders * shape.filesPerFolder));
}

TEST_F(FilesInParallel, CancelWithFilesInFlightLeavesNoScratchAndKeepsThePreviousVersions) {
  const SmallTree shape{4, 100};
  WriteSmallTree(L"src", shape);
  for (int d = 0; d < shape.folders; ++d)
    for (int f = 0; f < shape.filesPerFolder; ++f)
      tree.WriteFile(L"dst\\" + SmallFileName(d, f), "previous version");
  Prepare(L"src", L"dst", BackupMode::Common, kPoolThreads);
  PassGate gate(job, [](const BackupJob& seen) { return seen.bytesDone > 0; });
  ASSERT_TRUE(gate.Start(CopyThread));
  ASSERT_TRUE(gate.WaitHeld()) << "no worker got inside a file";
  EXPECT_GE(ScratchFilesBelow(tree.Path(L"dst")), 1) << "a file is in flight";
  job.cancelRequested = 1;
  gate.Release();
  DWORD exitCode = 99;
  ASSERT_TRUE(gate.WaitEnded(&exitCode));

  EXPECT_EQ(ScratchFilesBelow(tree.Path(L"dst")), 0);
  // Every file is either its previous version or a complete new copy, and
  // the report counts exactly the new ones.
  uint64_t previous = 0;
  uint64_t replaced = 0;
  for (int d = 0; d < shape.folders; ++d) {
    for (int f = 0; f < shape.filesPerFolder; ++f) {
      std::string copy = ReadWholeFile(tree.Path(L"dst\\" + SmallFileName(d, f)));
      if (copy == "previous version") {
        ++previous;
      } else {
        EXPECT_EQ(copy, ReadWholeFile(tree.Path(L"src\\" + SmallFileName(d, f))))
            << Utf8(SmallFileName(d, f));
        ++replaced;
      }
    }
  }
  EXPECT_GT(previous, 0u) << "the cancel stopped nothing";
  EXPECT_EQ(job.report.counts.copied, replaced);
  EXPECT_EQ(job.report.counts.failed, 0u) << "a cancelled copy is no failure";
}

// Failures recorded by the walker (a file in the way of a folder) and by the
// workers (sources held open elsewhere) come out in the order of the walk,
// each once, whatever order the workers finished in: as with one thread.
TEST_F(FilesInParallel, FailuresAmongParallelFilesAreReportedOnceEachInTheWalksOrder) {
  const SmallTree shape{4, 60};
  WriteSmallTree(L"src", shape);
  const std::wstring held[] = {SmallFileName(0, shape.filesPerFolder - 1), SmallFileName(2, 7),
                               SmallFileName(3, 30)};
  std::vector<HandleHolder> holders;
  for (const std::wstring& file : held) {
    holders.emplace_back(CreateFileW(LongForm(tree.Path(L"src\\" + file)).c_str(), GENERIC_READ, 0,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holders.back().Valid());
  }
  std::vector<std::vector<FailedItem>> reports;
  for (uint32_t threads : {1u, kPoolThreads}) {
    RemoveTree(tree.Path(L"dst"));
    tree.WriteFile(L"dst\\d1", "a file in the way of the folder d1");
    Run(L"src", L"dst", BackupMode::Common, threads);
    EXPECT_EQ(job.report.counts.failed, 4u) << threads << " threads";
    EXPECT_EQ(job.report.counts.copied, static_cast<uint64_t>(3 * shape.filesPerFolder - 3))
        << threads << " threads";
    reports.push_back(job.report.failures);
  }
  ASSERT_EQ(reports[0].size(), 4u);
  ASSERT_EQ(reports[1].size(), reports[0].size());
  for (size_t i = 0; i < reports[0].size(); ++i) {
    EXPECT_EQ(reports[1][i].path, reports[0][i].path) << i;
    EXPECT_EQ(reports[1][i].step, reports[0][i].step) << i;
    EXPECT_EQ(reports[1][i].reason, reports[0][i].reason) << i;
  }
  int heldSeen = 0;
  for (const FailedItem& item : reports[1]) {
    for (const std::wstring& file : held) {
      if (item.path == OnDrive(L"src\\" + file)) {
        ++heldSeen;
        EXPECT_EQ(item.step, FailureStep::kOpenSource);
      }
    }
  }
  EXPECT_EQ(heldSeen, 3);
}

TEST_F(FilesInParallel, CountersEqualTheSingleThreadRun) {
  const SmallTree shape{5, 60};
  WriteSmallTree(L"src", shape);
  tree.WriteFileOfSize(L"src\\d1\\large.bin", 2 * kTransferBufferSize + 5, 9);
  for (int i = 0; i < 4; ++i) {
    tree.WriteFile(L"src\\d3\\hidden" + std::to_wstring(i), "hidden");
    SetAttributes(tree.Path(L"src\\d3\\hidden" + std::to_wstring(i)), FILE_ATTRIBUTE_HIDDEN);
  }
  HandleHolder holder(CreateFileW(LongForm(tree.Path(L"src\\" + SmallFileName(4, 4))).c_str(),
                                  GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder.Valid());
  // Both destinations start alike: a third of the files already up to date.
  for (const wchar_t* dst : {L"dst1", L"dst2"}) {
    for (int d = 0; d < shape.folders; ++d) {
      for (int f = 0; f < shape.filesPerFolder; f += 3) {
        const std::wstring file = SmallFileName(d, f);
        tree.WriteFileOfSize(std::wstring(dst) + L"\\" + file, SmallFileSize(d, f), 5);
        ASSERT_TRUE(SetWriteTime(tree.Path(std::wstring(dst) + L"\\" + file),
                                 TimesOf(tree.Path(L"src\\" + file)).lastWrite + kHour));
      }
    }
  }
  const uint32_t flags = BackupMode::Common | BackupMode::UpdateMethod;
  const uint32_t skip = SkipAttribute::SkipHidden;
  Run(L"src", L"dst1", flags, 1, skip);
  const PassCounts one = job.report.counts;
  const uint64_t bytesOne = job.bytesDone;
  const uint64_t itemsOne = job.itemsDone;
  const int32_t progressOne = job.progress;
  Run(L"src", L"dst2", flags, kPoolThreads, skip);
  const PassCounts& many = job.report.counts;

  EXPECT_GT(one.copied, 0u);
  EXPECT_GT(one.upToDate, 0u);
  EXPECT_EQ(one.skipped, 4u);
  EXPECT_EQ(one.failed, 1u);
  EXPECT_EQ(many.copied, one.copied);
  EXPECT_EQ(many.upToDate, one.upToDate);
  EXPECT_EQ(many.skipped, one.skipped);
  EXPECT_EQ(many.failed, one.failed);
  EXPECT_EQ(many.bytesCopied, one.bytesCopied);
  EXPECT_EQ(many.leftovers, one.leftovers);
  EXPECT_EQ(job.bytesDone, bytesOne);
  EXPECT_EQ(job.itemsDone, itemsOne);
  EXPECT_EQ(job.progress, progressOne);
  EXPECT_EQ(DescribeTree(tree.Path(L"dst2")), DescribeTree(tree.Path(L"dst1")));
}

TEST(FilesInFlight, DefaultIsOnePerProcessorUpToTheLimitAndTheJobsNumberWins) {
  BackupJob job;
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const uint32_t expected = system.dwNumberOfProcessors < kDefaultFilesInFlightLimit
                                ? system.dwNumberOfProcessors
                                : kDefaultFilesInFlightLimit;
  EXPECT_EQ(FilesInFlight(job), expected);
  job.threads = 1;
  EXPECT_EQ(FilesInFlight(job), 1u);
  job.threads = 20;
  EXPECT_EQ(FilesInFlight(job), 20u);
  job.threads = 1000;
  EXPECT_EQ(FilesInFlight(job), kMostFilesInFlight);
}
