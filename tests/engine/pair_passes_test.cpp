#include "engine/pair_passes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/copy_pass.h"
#include "engine/enumeration_pass.h"
#include "engine/handle_holder.h"
#include "tests/support/temp_tree.h"

namespace {

constexpr int64_t kHour = 36000000000LL;
constexpr int64_t kSomeTime = 132000000000000000LL;

struct PhaseSeen {
  PairPhase phase;
  std::wstring from;
  std::wstring to;
  uint32_t flags;
};

// Records the phases, and can make chosen passes fail to start or be cancelled.
struct Recorder {
  std::vector<PhaseSeen> phases;
  WorkerRoutine notStarted = nullptr;
  WorkerRoutine cancelled = nullptr;
};

WorkerOutcome RecordingRun(void* context, WorkerRoutine routine, BackupJob& job) {
  Recorder& recorder = *static_cast<Recorder*>(context);
  if (routine == recorder.notStarted) return kWorkerNotStarted;
  WorkerOutcome outcome = RunWorkerAndWait(nullptr, routine, job);
  return routine == recorder.cancelled ? kWorkerCancelled : outcome;
}

void RecordPhase(void* context, PairPhase phase, BackupJob& job) {
  static_cast<Recorder*>(context)->phases.push_back(
      {phase, job.fromRoot.CStr(), job.toRoot.CStr(), job.flags});
}

class PairPasses : public ::testing::Test {
 protected:
  PairPasses() {
    hooks.runWorker = RecordingRun;
    hooks.phaseChanged = RecordPhase;
    hooks.context = &recorder;
    EnsureTransferBuffer(job);
  }
  PairOutcome Run(uint32_t flags, const std::wstring& source = L"src",
                  const std::wstring& destination = L"dst") {
    job.flags = flags;
    return RunPairPasses(job, tree.Path(source).c_str(), tree.Path(destination).c_str(), hooks);
  }
  // The small tree of every mode: nesting, empty folders, hidden and system
  // files, a read-only file.
  void BuildSource() {
    tree.WriteFile(L"src\\top.txt", "top");
    tree.WriteFile(L"src\\a\\b\\deep.txt", "deep");
    tree.WriteFileOfSize(L"src\\a\\big.bin", 3 * 1024 * 1024 + 5, 9);
    tree.MakeFolder(L"src\\empty");
    tree.WriteFile(L"src\\hidden.txt", "h");
    tree.WriteFile(L"src\\system.txt", "s");
    tree.WriteFile(L"src\\readonly.txt", "r");
    SetAttributes(tree.Path(L"src\\hidden.txt"), FILE_ATTRIBUTE_HIDDEN);
    SetAttributes(tree.Path(L"src\\system.txt"), FILE_ATTRIBUTE_SYSTEM);
    SetAttributes(tree.Path(L"src\\readonly.txt"), FILE_ATTRIBUTE_READONLY);
  }

  TempTree tree;
  BackupJob job;
  Recorder recorder;
  PassHooks hooks;
};

struct ReportSeen {
  PairPhase phase;
  PassCounts counts;
  std::vector<FailedItem> failures;
};

void KeepReport(void* context, PairPhase phase, const PassReport& report) {
  ReportSeen seen{phase, report.counts, {}};
  for (const FailedItem& item : report.failures)
    seen.failures.push_back({item.path, item.step, item.error, item.reason});
  static_cast<std::vector<ReportSeen>*>(context)->push_back(std::move(seen));
}

}  // namespace

TEST_F(PairPasses, CommonCopiesTheTreeInOnePass) {
  BuildSource();
  tree.WriteFile(L"dst\\readonly.txt", "older read-only copy");
  SetAttributes(tree.Path(L"dst\\readonly.txt"), FILE_ATTRIBUTE_READONLY);
  tree.WriteFile(L"dst\\only here.txt", "stays");
  EXPECT_EQ(Run(BackupMode::Common), kPairFinished);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\only here.txt")), "stays");
  DeleteFileW(tree.Path(L"dst\\only here.txt").c_str());
  EXPECT_EQ(DescribeTree(tree.Path(L"dst")), DescribeTree(tree.Path(L"src")));
  ASSERT_EQ(recorder.phases.size(), 2u);
  EXPECT_EQ(recorder.phases[0].phase, kPhaseEnumerating);
  EXPECT_EQ(recorder.phases[1].phase, kPhaseCopying);
  EXPECT_EQ(recorder.phases[1].from, tree.Path(L"src"));
  EXPECT_EQ(recorder.phases[1].to, tree.Path(L"dst"));
  EXPECT_EQ(job.itemsTotal, 10u);  // nine entries plus one
  EXPECT_EQ(job.bytesTotal, 3u * 1024 * 1024 + 5 + 3 + 4 + 3 + 1);
}

TEST_F(PairPasses, StrictCopiesThenDeletesWhatTheSourceLacks) {
  BuildSource();
  tree.WriteFile(L"dst\\stale.txt", "x");
  tree.WriteFile(L"dst\\a\\stale folder\\x.txt", "x");
  EXPECT_EQ(Run(BackupMode::Strict | BackupMode::UpdateMethod, L"src\\", L"dst\\\\"),
            kPairFinished);
  EXPECT_EQ(DescribeTree(tree.Path(L"dst")), DescribeTree(tree.Path(L"src")));
  ASSERT_EQ(recorder.phases.size(), 3u);
  EXPECT_FALSE(recorder.phases[1].flags & BackupMode::Strict) << "the copy pass copies";
  EXPECT_EQ(recorder.phases[2].phase, kPhaseSecondPass);
  EXPECT_TRUE(recorder.phases[2].flags & BackupMode::Strict);
  EXPECT_EQ(recorder.phases[2].from, tree.Path(L"dst"));
  EXPECT_EQ(recorder.phases[2].to, tree.Path(L"src"));
  EXPECT_EQ(job.flags, BackupMode::Strict | BackupMode::UpdateMethod);
}

TEST_F(PairPasses, StrictNeverFollowsFolderLinksOnEitherSide) {
  BuildSource();
  tree.WriteFile(L"dst\\a\\b\\deep.txt", "deep");
  std::string whyNot = MakeHostFolderLink(tree.Path(L"src\\a\\up"), tree.Path(L"src"));
  if (!whyNot.empty()) GTEST_SKIP() << whyNot;
  whyNot = MakeHostFolderLink(tree.Path(L"dst\\a\\b\\back"), tree.Path(L"dst"));
  ASSERT_TRUE(whyNot.empty()) << whyNot;
  std::wstring sourceBefore = DescribeTree(tree.Path(L"src"));
  EXPECT_EQ(Run(BackupMode::Strict), kPairFinished);
  EXPECT_EQ(job.itemsTotal, 11u) << "the link is counted once and not entered";
  EXPECT_EQ(DescribeTree(tree.Path(L"src")), sourceBefore);
  // Following "back" in the deletion pass would have deleted the backup
  // through the link, since the source has no "back".
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\a\\b\\deep.txt")), "deep");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\top.txt")), "top");
  EXPECT_FALSE(Exists(tree.Path(L"dst\\a\\up\\a"))) << "the source link was entered";
}

TEST_F(PairPasses, RestoreCopiesTheDestinationBackCountedOnTheSourceSide) {
  tree.WriteFile(L"src\\local.txt", "only in the source");
  tree.WriteFile(L"dst\\saved.txt", "from the backup");
  tree.WriteFile(L"dst\\nested\\more.txt", "more");
  EXPECT_EQ(Run(BackupMode::Restore), kPairFinished);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\saved.txt")), "from the backup");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\nested\\more.txt")), "more");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\local.txt")), "only in the source");
  EXPECT_FALSE(Exists(tree.Path(L"dst\\local.txt")));
  EXPECT_EQ(recorder.phases[1].from, tree.Path(L"dst"));
  EXPECT_EQ(job.itemsTotal, 2u) << "the source was counted";
  EXPECT_EQ(job.progress, 1000);
}

TEST_F(PairPasses, SyncCopiesTheNewerSideBothWays) {
  constexpr int64_t kSecond = 10000000LL;
  tree.WriteFile(L"src\\from source.txt", "s");
  tree.WriteFile(L"dst\\from destination.txt", "d");
  // An older source never overwrites a newer edit, whatever the sizes.
  tree.WriteFile(L"src\\edited.txt", "source side, older and longer");
  tree.WriteFile(L"dst\\edited.txt", "newer edit");
  SetWriteTime(tree.Path(L"src\\edited.txt"), kSomeTime);
  SetWriteTime(tree.Path(L"dst\\edited.txt"), kSomeTime + kHour);
  tree.WriteFile(L"src\\same size.txt", "old!");
  tree.WriteFile(L"dst\\same size.txt", "new!");
  SetWriteTime(tree.Path(L"src\\same size.txt"), kSomeTime);
  SetWriteTime(tree.Path(L"dst\\same size.txt"), kSomeTime + kHour);
  tree.WriteFile(L"src\\newer source.txt", "newer source, longer");
  tree.WriteFile(L"dst\\newer source.txt", "older copy");
  SetWriteTime(tree.Path(L"src\\newer source.txt"), kSomeTime + kHour);
  SetWriteTime(tree.Path(L"dst\\newer source.txt"), kSomeTime);
  // Within the two seconds that some file systems round to, a different
  // size goes to the source.
  tree.WriteFile(L"src\\close.txt", "source wins the tie");
  tree.WriteFile(L"dst\\close.txt", "tie");
  SetWriteTime(tree.Path(L"src\\close.txt"), kSomeTime);
  SetWriteTime(tree.Path(L"dst\\close.txt"), kSomeTime + kSecond);
  EXPECT_EQ(Run(BackupMode::Sync), kPairFinished);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\from source.txt")), "s");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\from destination.txt")), "d");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\edited.txt")), "newer edit");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\edited.txt")), "newer edit");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\same size.txt")), "new!");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\newer source.txt")), "newer source, longer");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\newer source.txt")), "newer source, longer");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\close.txt")), "source wins the tie");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\close.txt")), "source wins the tie");
  EXPECT_TRUE(job.flags & BackupMode::UpdateMethod);
  ASSERT_EQ(recorder.phases.size(), 3u);
  EXPECT_FALSE(recorder.phases[2].flags & BackupMode::Strict);
}

TEST_F(PairPasses, SyncNeverReplacesALiveFolderByAFile) {
  tree.WriteFile(L"src\\thing", "a file in the way");
  tree.WriteFile(L"dst\\thing\\new doc.txt", "never backed up");
  tree.WriteFile(L"dst\\other", "a file");
  tree.WriteFile(L"src\\other\\doc.txt", "only in the source");
  std::vector<ReportSeen> reports;
  hooks.passEnded = KeepReport;
  hooks.context = &reports;
  hooks.phaseChanged = nullptr;
  EXPECT_EQ(Run(BackupMode::Sync), kPairFinished);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\thing\\new doc.txt")), "never backed up");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\other\\doc.txt")), "only in the source");
  // Each pass meets a folder in the way of a file, and a file in the way of
  // a folder; both are counted and said.
  ASSERT_EQ(reports.size(), 2u);
  for (const ReportSeen& pass : reports) {
    EXPECT_EQ(pass.counts.failed, 2u);
    bool folderInTheWay = false;
    for (const FailedItem& item : pass.failures)
      folderInTheWay = folderInTheWay || item.reason == Refusal::kFolderInTheWay;
    EXPECT_TRUE(folderInTheWay);
  }
}

TEST_F(PairPasses, EmptySourceGivesTotalsOfOne) {
  tree.MakeFolder(L"src");
  EXPECT_EQ(Run(BackupMode::Common), kPairFinished);
  EXPECT_EQ(job.itemsTotal, 1u);
  EXPECT_EQ(job.bytesTotal, 1u);
  EXPECT_TRUE(IsFolder(tree.Path(L"dst")));
}

TEST_F(PairPasses, RestoreReadsAnExistingBackupAndCreatesTheSource) {
  tree.MakeFolder(L"src");
  EXPECT_EQ(Run(BackupMode::Restore, L"src", L"no backup"), kPairReadSideMissing);
  EXPECT_FALSE(Exists(tree.Path(L"no backup"))) << "nothing is created on the side read";
  tree.WriteFile(L"backup\\saved.txt", "from the backup");
  EXPECT_EQ(Run(BackupMode::Restore, L"lost\\source", L"backup"), kPairFinished);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"lost\\source\\saved.txt")), "from the backup");
}

TEST_F(PairPasses, AFolderThatVanishesDuringTheFirstPassEndsThePair) {
  struct Vanisher {
    Recorder recorder;
    std::wstring folder;
    std::wstring movedTo;
  };
  for (uint32_t mode : {BackupMode::Strict, BackupMode::Sync}) {
    tree.WriteFile(L"src\\a.txt", "a");
    tree.WriteFile(L"dst\\only in the backup.txt", "stays");
    Vanisher vanisher{{}, tree.Path(L"src"), tree.Path(L"src-unplugged")};
    PassHooks unplugging;
    unplugging.context = &vanisher;
    unplugging.runWorker = [](void* context, WorkerRoutine routine, BackupJob& worked) {
      Vanisher& v = *static_cast<Vanisher*>(context);
      WorkerOutcome outcome = RunWorkerAndWait(nullptr, routine, worked);
      // The medium is pulled just as the copy pass ends.
      if (routine == CopyThread && !worked.secondPass)
        MoveFileW(v.folder.c_str(), v.movedTo.c_str());
      return outcome;
    };
    unplugging.passEnded = [](void* context, PairPhase phase, const PassReport& report) {
      Vanisher& v = *static_cast<Vanisher*>(context);
      v.recorder.phases.push_back({phase, L"", L"", report.counts.failed > 0 ? 1u : 0u});
      if (phase == kPhaseSecondPass) {
        EXPECT_EQ(report.counts.failed, 1u);
        ASSERT_FALSE(report.failures.empty());
        EXPECT_EQ(report.failures[0].reason, Refusal::kReadSideMissing);
      }
    };
    job.flags = mode;
    EXPECT_EQ(RunPairPasses(job, tree.Path(L"src").c_str(), tree.Path(L"dst").c_str(), unplugging),
              kPairFolderVanished);
    EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\only in the backup.txt")), "stays")
        << "never mirrored";
    EXPECT_FALSE(Exists(tree.Path(L"src"))) << "never recreated";
    ASSERT_EQ(vanisher.recorder.phases.size(), 2u);
    EXPECT_EQ(vanisher.recorder.phases[1].phase, kPhaseSecondPass);
    RemoveTree(tree.Path(L"src-unplugged"));
    RemoveTree(tree.Path(L"dst"));
  }
}

TEST_F(PairPasses, EmptyAndRelativeFoldersAreRefused) {
  tree.WriteFile(L"src\\a.txt", "a");
  MappedDrive drive(tree.Root(), L"src");
  if (!drive.Ready()) GTEST_SKIP() << drive.WhyNot();
  std::wstring before = DescribeTree(tree.Root());
  for (const wchar_t* folder : {L"", L"relative", L"T:name", L"\\rooted"}) {
    job.flags = BackupMode::Strict;
    EXPECT_EQ(RunPairPasses(job, folder, tree.Path(L"dst").c_str(), hooks), kPairNotFullPath);
    EXPECT_EQ(RunPairPasses(job, tree.Path(L"src").c_str(), folder, hooks), kPairNotFullPath);
  }
  EXPECT_EQ(DescribeTree(tree.Root()), before);
  EXPECT_TRUE(recorder.phases.empty());
}

TEST_F(PairPasses, MissingSourceOrBlockedDestinationSkipsThePair) {
  EXPECT_EQ(Run(BackupMode::Common, L"missing", L"dst"), kPairReadSideMissing);
  EXPECT_FALSE(Exists(tree.Path(L"dst")));
  tree.MakeFolder(L"src");
  tree.WriteFile(L"blocked", "a file");
  EXPECT_EQ(Run(BackupMode::Common, L"src", L"blocked\\dst"), kPairWriteSideUnavailable);
  EXPECT_TRUE(recorder.phases.empty());
}

TEST_F(PairPasses, OverlappingFoldersAreRefused) {
  tree.WriteFile(L"src\\f.txt", "f");
  tree.WriteFile(L"src\\inner\\g.txt", "g");
  std::wstring before = DescribeTree(tree.Path(L"src"));
  EXPECT_EQ(Run(BackupMode::Common, L"src", L"src\\inner"), kPairFoldersOverlap);
  EXPECT_EQ(Run(BackupMode::Strict, L"src\\inner", L"src"), kPairFoldersOverlap);
  EXPECT_EQ(Run(BackupMode::Sync, L"src", L"SRC\\"), kPairFoldersOverlap);
  EXPECT_EQ(DescribeTree(tree.Path(L"src")), before);
  EXPECT_TRUE(recorder.phases.empty());
}

TEST(FoldersOverlap, ComparesWholeNamesWithoutCaseOrPrefix) {
  EXPECT_TRUE(FoldersOverlap(L"C:\\data", L"c:\\DATA\\backup"));
  EXPECT_TRUE(FoldersOverlap(L"\\\\?\\C:\\data\\", L"C:\\data"));
  EXPECT_TRUE(FoldersOverlap(L"\\\\?\\UNC\\srv\\share\\x", L"\\\\srv\\share"));
  EXPECT_FALSE(FoldersOverlap(L"C:\\data", L"C:\\database"));
  EXPECT_FALSE(FoldersOverlap(L"C:\\data", L"D:\\data"));
  EXPECT_FALSE(FoldersOverlap(L"", L"C:\\data"));
}

TEST_F(PairPasses, CancelledCopyPassEndsThePairAndKeepsTheMode) {
  BuildSource();
  tree.WriteFile(L"dst\\stale.txt", "stays");
  recorder.cancelled = CopyThread;
  EXPECT_EQ(Run(BackupMode::Strict), kPairCancelled);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\stale.txt")), "stays") << "no deletion pass";
  EXPECT_EQ(recorder.phases.size(), 2u);
  EXPECT_EQ(job.flags, static_cast<uint32_t>(BackupMode::Strict));
}

TEST_F(PairPasses, MissingThreadsAreReported) {
  BuildSource();
  recorder.notStarted = EnumerationThread;
  EXPECT_EQ(Run(BackupMode::Common), kPairFinished) << "the copy runs without totals";
  EXPECT_EQ(job.itemsTotal, 1u);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\top.txt")), "top");
  recorder.notStarted = CopyThread;
  EXPECT_EQ(Run(BackupMode::Common, L"src", L"dst2"), kPairPassNotStarted);
  EXPECT_TRUE(NamesIn(tree.Path(L"dst2")).empty());
}

TEST_F(PairPasses, OverlapIsFoundThroughDotsAndShortNames) {
  tree.WriteFile(L"source folder\\f.txt", "f");
  tree.WriteFile(L"source folder\\inner\\g.txt", "g");
  std::wstring before = DescribeTree(tree.Path(L"source folder"));
  EXPECT_EQ(Run(BackupMode::Strict, L"source folder", L"other\\..\\source folder\\inner"),
            kPairFoldersOverlap);
  EXPECT_EQ(Run(BackupMode::Strict, L"source folder\\inner", L"other\\..\\source folder"),
            kPairFoldersOverlap);
  wchar_t shortName[MAX_PATH] = {};
  DWORD length = GetShortPathNameW(tree.Path(L"source folder").c_str(), shortName, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || tree.Path(L"source folder") == shortName)
    GTEST_SKIP() << "no short names here";
  job.flags = BackupMode::Strict;
  EXPECT_EQ(RunPairPasses(job, tree.Path(L"source folder\\inner").c_str(), shortName, hooks),
            kPairFoldersOverlap);
  EXPECT_EQ(DescribeTree(tree.Path(L"source folder")), before);
  EXPECT_TRUE(recorder.phases.empty());
}

TEST_F(PairPasses, SyncSecondPassLeavesAloneWhatTheFirstPassJustWrote) {
  tree.WriteFile(L"src\\a.txt", "alpha");
  tree.WriteFileOfSize(L"src\\sub\\b.bin", 2 * kTransferBufferSize, 4);
  tree.WriteFile(L"dst\\c.txt", "gamma");
  uint64_t idA = FileIdOf(tree.Path(L"src\\a.txt"));
  uint64_t idB = FileIdOf(tree.Path(L"src\\sub\\b.bin"));
  EXPECT_EQ(Run(BackupMode::Sync), kPairFinished);
  EXPECT_EQ(FileIdOf(tree.Path(L"src\\a.txt")), idA) << "copied back onto itself";
  EXPECT_EQ(FileIdOf(tree.Path(L"src\\sub\\b.bin")), idB);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\c.txt")), "gamma");
  // The second pass found the two copies up to date and copied one new file.
  EXPECT_EQ(job.bytesDone, 5u + 2 * kTransferBufferSize + 5u);
  uint64_t idC = FileIdOf(tree.Path(L"dst\\c.txt"));
  EXPECT_EQ(Run(BackupMode::Sync), kPairFinished);
  EXPECT_EQ(FileIdOf(tree.Path(L"dst\\c.txt")), idC) << "a second run copies nothing";
}

TEST_F(PairPasses, EachPassReportsWhatBecameOfEveryItem) {
  constexpr int64_t kOld = kSomeTime;
  tree.WriteFile(L"src\\new.txt", "new!");
  tree.WriteFile(L"src\\same.txt", "same");
  tree.WriteFile(L"dst\\same.txt", "same");
  SetWriteTime(tree.Path(L"src\\same.txt"), kOld);
  SetWriteTime(tree.Path(L"dst\\same.txt"), kOld);
  tree.WriteFile(L"src\\hidden.txt", "h");
  SetAttributes(tree.Path(L"src\\hidden.txt"), FILE_ATTRIBUTE_HIDDEN);
  tree.WriteFile(L"src\\locked.txt", "held by another program");
  tree.WriteFile(L"dst\\stale.txt", "the source lacks it");
  std::vector<ReportSeen> reports;
  hooks.passEnded = KeepReport;
  hooks.context = &reports;
  hooks.phaseChanged = nullptr;
  job.skipAttributes = SkipAttribute::SkipHidden;
  PairOutcome outcome;
  {
    HandleHolder holder(CreateFileW(LongForm(tree.Path(L"src\\locked.txt")).c_str(), GENERIC_READ,
                                    0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder.Valid());
    outcome = Run(BackupMode::Strict | BackupMode::UpdateMethod);
  }
  EXPECT_EQ(outcome, kPairFinished);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].phase, kPhaseCopying);
  const PassCounts& copy = reports[0].counts;
  EXPECT_EQ(copy.copied, 1u);
  EXPECT_EQ(copy.upToDate, 1u);
  EXPECT_EQ(copy.skipped, 1u);
  EXPECT_EQ(copy.failed, 1u);
  EXPECT_EQ(copy.deleted, 0u);
  EXPECT_EQ(copy.bytesCopied, 4u);
  ASSERT_EQ(reports[0].failures.size(), 1u);
  EXPECT_EQ(reports[0].failures[0].path, tree.Path(L"src\\locked.txt"));
  EXPECT_EQ(reports[0].failures[0].step, FailureStep::kOpenSource);
  EXPECT_EQ(reports[0].failures[0].error, static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(Exists(tree.Path(L"dst\\locked.txt")));

  EXPECT_EQ(reports[1].phase, kPhaseSecondPass);
  EXPECT_EQ(reports[1].counts.deleted, 1u) << "stale.txt";
  EXPECT_EQ(reports[1].counts.failed, 0u);
  EXPECT_FALSE(Exists(tree.Path(L"dst\\stale.txt")));
}

TEST(PassReport, KeepsTheFirstFailuresInOrderAndCountsTheRest) {
  PassReport report;
  for (size_t i = 0; i < kKeptFailures + 25; ++i)
    RecordFailure(report, (L"\\\\?\\C:\\f" + std::to_wstring(i)).c_str(), FailureStep::kRead, 23);
  RecordRefusal(report, L"C:\\twin", Refusal::kCaseTwin);
  EXPECT_EQ(report.counts.failed, kKeptFailures + 26);
  ASSERT_EQ(report.failures.size(), kKeptFailures);
  EXPECT_EQ(report.failures[0].path, L"C:\\f0") << "shown without the long prefix";
  EXPECT_EQ(report.failures[kKeptFailures - 1].path, L"C:\\f" + std::to_wstring(kKeptFailures - 1));
  ClearReport(report);
  EXPECT_EQ(report.counts.failed, 0u);
  EXPECT_TRUE(report.failures.empty());
}

TEST(PassReport, DescribesStepAndReason) {
  FailedItem refused{L"C:\\a", FailureStep::kRefuse, 0, Refusal::kFolderInTheWay};
  WideString text;
  DescribeFailure(refused, text);
  EXPECT_EQ(std::wstring(text.CStr()).rfind(L"refuse: a folder of that name is in the way", 0), 0u);
  FailedItem full{L"C:\\b", FailureStep::kCreateScratch, ERROR_DISK_FULL, Refusal::kNone};
  DescribeFailure(full, text);
  EXPECT_EQ(std::wstring(text.CStr()),
            L"create scratch: disk full: there is not enough space for "
            L"the new copy");
  FailedItem denied{L"C:\\c", FailureStep::kOpenSource, ERROR_ACCESS_DENIED, Refusal::kNone};
  DescribeFailure(denied, text);
  EXPECT_EQ(std::wstring(text.CStr()).rfind(L"open source: ", 0), 0u);
  EXPECT_GT(text.Length(), 14) << "the system's message follows";
}

TEST_F(PairPasses, DriveRootsAreRootsWhereverTheCurrentFolderIs) {
  tree.WriteFile(L"drive\\src\\a.txt", "a");
  tree.WriteFile(L"drive\\photos\\p.jpg", "unrelated and precious");
  tree.WriteFile(L"drive\\work\\w.txt", "the current folder");
  MappedDrive drive(tree.Path(L"drive"), L"work");
  if (!drive.Ready()) GTEST_SKIP() << drive.WhyNot();
  std::wstring before = DescribeTree(tree.Path(L"drive"));
  const std::wstring t = drive.Drive();
  struct Row {
    uint32_t flags;
    std::wstring source;
    std::wstring destination;
  };
  const Row refused[] = {
      {BackupMode::Strict, t + L"\\src", t + L"\\"},
      {BackupMode::Strict, t + L"\\src", t},
      {BackupMode::Strict, t + L"\\src", L"\\\\?\\" + t},
      {BackupMode::Common, t + L"\\", t + L"\\backup"},
      {BackupMode::Common, t, t + L"\\backup"},
      {BackupMode::Sync, L"\\\\?\\" + t + L"\\", t + L"\\work\\copy"},
      {BackupMode::Restore, t + L"\\work", t},
  };
  for (const Row& row : refused) {
    job.flags = row.flags;
    EXPECT_EQ(RunPairPasses(job, row.source.c_str(), row.destination.c_str(), hooks),
              kPairFoldersOverlap)
        << std::string(row.source.begin(), row.source.end()) << " -> "
        << std::string(row.destination.begin(), row.destination.end());
  }
  EXPECT_EQ(DescribeTree(tree.Path(L"drive")), before);
  EXPECT_TRUE(recorder.phases.empty());

  // A bare drive as the source walks the root, not the current folder.
  job.flags = BackupMode::Common;
  EXPECT_EQ(RunPairPasses(job, t.c_str(), tree.Path(L"out").c_str(), hooks), kPairFinished);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"out\\photos\\p.jpg")), "unrelated and precious");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"out\\src\\a.txt")), "a");
  EXPECT_FALSE(Exists(tree.Path(L"out\\w.txt")));
  EXPECT_EQ(job.itemsTotal, 7u) << "the root's six entries were counted, plus one";
}

TEST_F(PairPasses, ADriveRootDestinationReceivesTheCopyAtItsTop) {
  tree.WriteFile(L"src\\a.txt", "a");
  tree.WriteFile(L"src\\sub\\b.txt", "b");
  tree.WriteFile(L"backup drive\\stale.txt", "goes");
  tree.WriteFile(L"backup drive\\work\\keep.txt", "the source lacks it");
  MappedDrive drive(tree.Path(L"backup drive"), L"work");
  if (!drive.Ready()) GTEST_SKIP() << drive.WhyNot();
  job.flags = BackupMode::Strict;
  EXPECT_EQ(RunPairPasses(job, tree.Path(L"src").c_str(), drive.Drive().c_str(), hooks),
            kPairFinished);
  EXPECT_EQ(NamesIn(tree.Path(L"backup drive")),
            (std::vector<std::wstring>{L"a.txt", L"sub", L"work"}))
      << "the current folder cannot go while it is current; the rest mirrors the source";
  EXPECT_EQ(ReadWholeFile(tree.Path(L"backup drive\\sub\\b.txt")), "b");
}

// The update test at its time edges, on files of one size: outside Sync a
// side read that is newer by one second is copied; Sync leaves alone what is
// newer by exactly the two seconds some file systems round to, and copies,
// either way, what is newer by a tick more.
TEST_F(PairPasses, UpdateMethodCopiesBySecondsAndSyncAtTheEdgeOfItsWindow) {
  constexpr int64_t kSecond = 10000000LL;
  MappedDrive drive(tree.Root());
  if (!drive.Ready()) GTEST_SKIP() << drive.WhyNot();
  auto pair = [&](const std::wstring& name, const std::string& source, int64_t sourceTime,
                  const std::string& destination, int64_t destinationTime) {
    tree.WriteFile(L"src\\" + name, source);
    tree.WriteFile(L"dst\\" + name, destination);
    ASSERT_TRUE(SetWriteTime(tree.Path(L"src\\" + name), sourceTime));
    ASSERT_TRUE(SetWriteTime(tree.Path(L"dst\\" + name), destinationTime));
  };
  auto run = [&](uint32_t flags) {
    job.flags = flags;
    return RunPairPasses(job, (drive.Root() + L"src").c_str(), (drive.Root() + L"dst").c_str(),
                         hooks);
  };
  const struct {
    const char* name;
    uint32_t flags;
    bool readsDestination;
  } modes[] = {{"Common", BackupMode::Common, false},
               {"Strict", BackupMode::Strict, false},
               {"Restore", BackupMode::Restore, true}};
  for (const auto& mode : modes) {
    SCOPED_TRACE(mode.name);
    const bool back = mode.readsDestination;
    pair(L"f.txt", back ? "old!" : "new!", kSomeTime + (back ? 0 : kSecond), back ? "new!" : "old!",
         kSomeTime + (back ? kSecond : 0));
    EXPECT_EQ(run(mode.flags | BackupMode::UpdateMethod), kPairFinished);
    EXPECT_EQ(ReadWholeFile(tree.Path(back ? L"src\\f.txt" : L"dst\\f.txt")), "new!");
  }

  pair(L"source at the edge.txt", "src!", kSomeTime + 2 * kSecond, "dst!", kSomeTime);
  pair(L"destination at the edge.txt", "src!", kSomeTime, "dst!", kSomeTime + 2 * kSecond);
  pair(L"source past it.txt", "src!", kSomeTime + 2 * kSecond + 1, "dst!", kSomeTime);
  pair(L"destination past it.txt", "src!", kSomeTime, "dst!", kSomeTime + 2 * kSecond + 1);
  EXPECT_EQ(run(BackupMode::Sync), kPairFinished);
  for (const wchar_t* name : {L"source at the edge.txt", L"destination at the edge.txt"}) {
    EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\" + std::wstring(name))), "src!") << Utf8(name);
    EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\" + std::wstring(name))), "dst!") << Utf8(name);
  }
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\source past it.txt")), "src!");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\destination past it.txt")), "dst!");
}
