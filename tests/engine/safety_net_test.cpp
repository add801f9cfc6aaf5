// Versions, the deletion guard and the preview, through the pair's passes, on
// a drive letter mapped to a temporary folder: a Strict run that went wrong
// could reach nothing beyond it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/deletion_guard.h"
#include "engine/pair_passes.h"
#include "engine/versions.h"
#include "tests/support/temp_tree.h"

namespace {

constexpr int64_t kHour = 36000000000LL;
constexpr int64_t kSomeTime = 132000000000000000LL;
constexpr wchar_t kStamp[] = L"2031-05-06 07-08-09";

std::vector<std::wstring> Lines(const std::vector<std::wstring>& lines) {
  std::vector<std::wstring> sorted = lines;
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

void KeepLine(void* context, const PlannedItem& item) {
  std::wstring line = std::wstring(PlannedActionText(item.action)) + L" " + item.path;
  if (item.action != PlannedAction::kDelete && item.action != PlannedAction::kVersion)
    line += L" " + std::to_wstring(item.bytes);
  static_cast<std::vector<std::wstring>*>(context)->push_back(line);
}

struct GuardAnswer {
  int asked = 0;
  bool yes = false;
};

bool AnswerGuard(void* context, BackupJob&) {
  GuardAnswer& answer = *static_cast<GuardAnswer*>(context);
  ++answer.asked;
  return answer.yes;
}

// What the passes of the last run said, for a failed expectation to show.
std::wstring passesSaid;

void KeepWhatThePassSaid(void*, PairPhase phase, const PassReport& report) {
  passesSaid += L"pass " + std::to_wstring(static_cast<int>(phase)) + L": deleted " +
                std::to_wstring(report.counts.deleted) + L", failed " +
                std::to_wstring(report.counts.failed) + L"\n";
  for (const FailedItem& item : report.failures) {
    WideString text;
    DescribeFailure(item, text);
    passesSaid += L"  " + item.path + L": " + text.CStr() + L"\n";
  }
}

class SafetyNet : public ::testing::Test {
 protected:
  SafetyNet() : drive(tree.Root()) {
    hooks.runWorker = RunWorkerAndWait;
    hooks.passEnded = KeepWhatThePassSaid;
    EnsureTransferBuffer(job);
    SYSTEMTIME start{};
    start.wYear = 2031;
    start.wMonth = 5;
    start.wDay = 6;
    start.wHour = 7;
    start.wMinute = 8;
    start.wSecond = 9;
    job.runStart = start;
  }
  void SetUp() override {
    if (!drive.Ready()) GTEST_SKIP() << drive.WhyNot();
  }
  std::wstring On(const std::wstring& relative) { return drive.Root() + relative; }
  PairOutcome Run(uint32_t flags, const std::wstring& source = L"src",
                  const std::wstring& destination = L"dst") {
    job.flags = flags;
    passesSaid.clear();
    return RunPairPasses(job, On(source).c_str(), On(destination).c_str(), hooks);
  }
  // Where a run of kStamp keeps the old item of side\relative.
  std::wstring Version(const std::wstring& side, const std::wstring& relative) {
    return tree.Path(side + L"\\Harborline Versions\\" + kStamp + L"\\" + relative);
  }
  // New, changed, unchanged and destination-only items, as files and folders.
  void BuildPair() {
    tree.WriteFile(L"src\\new.txt", "new");
    tree.WriteFile(L"src\\sub\\new inside.txt", "new inside");
    tree.MakeFolder(L"src\\new folder");
    tree.WriteFile(L"src\\changed.txt", "changed, newer");
    tree.WriteFile(L"dst\\changed.txt", "older");
    tree.WriteFile(L"src\\sub\\same.txt", "same");
    tree.WriteFile(L"dst\\sub\\same.txt", "same");
    tree.WriteFile(L"dst\\only here.txt", "only in the destination");
    tree.WriteFile(L"dst\\gone\\a.txt", "a");
    tree.WriteFile(L"dst\\gone\\deeper\\b.txt", "b");
    SetWriteTime(tree.Path(L"src\\changed.txt"), kSomeTime + kHour);
    SetWriteTime(tree.Path(L"dst\\changed.txt"), kSomeTime);
    SetWriteTime(tree.Path(L"src\\sub\\same.txt"), kSomeTime);
    SetWriteTime(tree.Path(L"dst\\sub\\same.txt"), kSomeTime);
  }

  TempTree tree;
  MappedDrive drive;
  BackupJob job;
  PassHooks hooks;
};

// Files of the destination-only kind, for the guard: n of them, beside what
// the source has.
void WriteFiles(const TempTree& tree, const std::wstring& folder, int n) {
  for (int i = 0; i < n; ++i) tree.WriteFile(folder + L"\\f" + std::to_wstring(i) + L".txt", "x");
}

}  // namespace

TEST_F(SafetyNet, StrictMovesReplacedAndDeletedItemsIntoTheVersionsByRename) {
  BuildPair();
  const uint64_t changedId = FileIdOf(tree.Path(L"dst\\changed.txt"));
  const uint64_t onlyId = FileIdOf(tree.Path(L"dst\\only here.txt"));
  job.versionDays = 30;
  ASSERT_EQ(Run(BackupMode::Strict | BackupMode::UpdateMethod), kPairFinished);

  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\changed.txt")), "changed, newer");
  EXPECT_FALSE(Exists(tree.Path(L"dst\\only here.txt")));
  EXPECT_FALSE(Exists(tree.Path(L"dst\\gone")));
  EXPECT_EQ(ReadWholeFile(Version(L"dst", L"changed.txt")), "older");
  EXPECT_EQ(ReadWholeFile(Version(L"dst", L"only here.txt")), "only in the destination");
  EXPECT_EQ(ReadWholeFile(Version(L"dst", L"gone\\deeper\\b.txt")), "b");
  // The same file, renamed: no copy of its contents was made.
  EXPECT_EQ(FileIdOf(Version(L"dst", L"changed.txt")), changedId);
  EXPECT_EQ(FileIdOf(Version(L"dst", L"only here.txt")), onlyId);
  EXPECT_TRUE(AttributesOf(tree.Path(L"dst\\Harborline Versions")) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(Exists(Version(L"dst", L"sub"))) << "nothing unchanged goes into the versions";
  EXPECT_EQ(job.versionsTally[0].files, 4u) << "changed, only here, a and b";
  EXPECT_EQ(job.versionsTally[0].runFolders, 1u);
}

TEST_F(SafetyNet, CommonRestoreAndSyncKeepWhatTheyOverwriteOnTheSideTheyWrite) {
  struct Row {
    uint32_t flags;
    const wchar_t* writtenSide;  // where the old "changed.txt" must be kept
    const char* keptText;
  };
  const Row rows[] = {
      {BackupMode::Common, L"dst", "older"},
      {BackupMode::Restore, L"src", "changed, newer"},
      {BackupMode::Sync, L"dst", "older"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flags);
    RemoveTree(tree.Path(L"src"));
    RemoveTree(tree.Path(L"dst"));
    BuildPair();
    job.versionDays = 30;
    ASSERT_EQ(Run(row.flags), kPairFinished);
    EXPECT_EQ(ReadWholeFile(Version(row.writtenSide, L"changed.txt")), row.keptText);
    EXPECT_EQ(ReadWholeFile(tree.Path(std::wstring(row.writtenSide) + L"\\changed.txt")),
              row.flags == BackupMode::Restore ? "older" : "changed, newer");
  }
  // Sync's copy back overwrites in the source: that old copy goes into the
  // source's versions.
  RemoveTree(tree.Path(L"src"));
  RemoveTree(tree.Path(L"dst"));
  tree.WriteFile(L"src\\edited.txt", "old edit");
  tree.WriteFile(L"dst\\edited.txt", "newer edit");
  SetWriteTime(tree.Path(L"src\\edited.txt"), kSomeTime);
  SetWriteTime(tree.Path(L"dst\\edited.txt"), kSomeTime + kHour);
  ASSERT_EQ(Run(BackupMode::Sync), kPairFinished);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\edited.txt")), "newer edit");
  EXPECT_EQ(ReadWholeFile(Version(L"src", L"edited.txt")), "old edit");
  EXPECT_FALSE(Exists(tree.Path(L"dst\\Harborline Versions"))) << "nothing replaced there";
}

TEST_F(SafetyNet, AVersionThatCannotBeKeptLeavesTheItemAndCountsItFailed) {
  BuildPair();
  // A file where the versions folder belongs: no version can be written.
  tree.WriteFile(L"dst\\Harborline Versions", "not a folder");
  std::vector<PassReport> reports;
  hooks.passEnded = [](void* context, PairPhase, const PassReport& report) {
    static_cast<std::vector<PassReport>*>(context)->push_back(report);
  };
  hooks.context = &reports;
  job.versionDays = 30;
  ASSERT_EQ(Run(BackupMode::Strict | BackupMode::UpdateMethod), kPairFinished);

  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\changed.txt")), "older") << "not replaced";
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\only here.txt")), "only in the destination");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\gone\\deeper\\b.txt")), "b");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\new.txt")), "new") << "new items need no version";
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].counts.failed, 1u);
  ASSERT_FALSE(reports[0].failures.empty());
  EXPECT_EQ(reports[0].failures[0].step, FailureStep::kKeepVersion);
  EXPECT_EQ(reports[0].failures[0].path, On(L"dst\\changed.txt"));
  EXPECT_EQ(reports[1].counts.deleted, 0u);
  EXPECT_GE(reports[1].counts.failed, 3u) << "only here, a and b at least";
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\Harborline Versions")), "not a folder");
  EXPECT_EQ(NamesIn(tree.Path(L"dst")).size(), 7u) << "nothing of the scratch copy is left";
}

TEST_F(SafetyNet, RunFoldersOlderThanTheDaysArePrunedAtTheEndOfThePair) {
  tree.WriteFile(L"src\\a.txt", "a");
  tree.WriteFile(L"dst\\Harborline Versions\\2031-03-01 10-00-00\\old\\x.txt", "12345");
  tree.WriteFile(L"dst\\Harborline Versions\\2031-03-01 10-00-00\\y.txt", "67");
  tree.WriteFile(L"dst\\Harborline Versions\\2031-04-30 10-00-00\\recent.txt", "abc");
  tree.WriteFile(L"dst\\Harborline Versions\\my notes\\keep.txt", "not a run folder");
  // Pruning goes by the age in the folder's name against today; the
  // stamps above are years ahead, so the days count from a run in 2031.
  SYSTEMTIME now{};
  now.wYear = 2031;
  now.wMonth = 5;
  now.wDay = 6;
  VersionsTally tally;
  PruneVersions(On(L"dst").c_str(), 30, now, tally);
  EXPECT_FALSE(Exists(tree.Path(L"dst\\Harborline Versions\\2031-03-01 10-00-00")));
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\Harborline Versions\\2031-04-30 10-00-00\\recent.txt")),
            "abc");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\Harborline Versions\\my notes\\keep.txt")),
            "not a run folder");
  EXPECT_EQ(tally.prunedFolders, 1u);
  EXPECT_EQ(tally.prunedFiles, 2u);
  EXPECT_EQ(tally.prunedBytes, 7u);
  EXPECT_EQ(tally.runFolders, 1u);
  EXPECT_EQ(tally.files, 1u);
  EXPECT_EQ(tally.bytes, 3u);

  // A run prunes by the same rule at its end: a run folder from 2020 is
  // older than any number of days a test could give.
  tree.WriteFile(L"dst\\Harborline Versions\\2020-01-01 00-00-00\\z.txt", "z");
  job.versionDays = 30;
  ASSERT_EQ(Run(BackupMode::Common), kPairFinished);
  EXPECT_FALSE(Exists(tree.Path(L"dst\\Harborline Versions\\2020-01-01 00-00-00")));
  EXPECT_EQ(job.versionsTally[0].prunedFiles, 1u);
  EXPECT_TRUE(Exists(tree.Path(L"dst\\Harborline Versions\\2031-04-30 10-00-00\\recent.txt")));
}

TEST_F(SafetyNet, TheVersionsFolderAtARootIsInvisibleToEveryPass) {
  const uint32_t modes[] = {BackupMode::Common, BackupMode::Strict, BackupMode::Restore,
                            BackupMode::Sync, BackupMode::Strict | BackupMode::UpdateMethod};
  for (uint32_t mode : modes) {
    SCOPED_TRACE(mode);
    RemoveTree(tree.Path(L"src"));
    RemoveTree(tree.Path(L"dst"));
    tree.WriteFile(L"src\\a.txt", "a");
    tree.WriteFile(L"src\\Harborline Versions\\2031-01-01 00-00-00\\s.txt", "source's");
    tree.WriteFile(L"dst\\Harborline Versions\\2031-01-01 00-00-00\\d.txt", "destination's");
    // Deeper in the tree, a folder of that name is data like any other.
    tree.WriteFile(L"src\\deep\\Harborline Versions\\data.txt", "data");
    const std::wstring sourceVersions = DescribeTree(tree.Path(L"src\\Harborline Versions"));
    const std::wstring destinationVersions = DescribeTree(tree.Path(L"dst\\Harborline Versions"));
    ASSERT_EQ(Run(mode), kPairFinished);
    EXPECT_EQ(DescribeTree(tree.Path(L"src\\Harborline Versions")), sourceVersions);
    EXPECT_EQ(DescribeTree(tree.Path(L"dst\\Harborline Versions")), destinationVersions);
    if (mode != BackupMode::Restore) {
      EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\deep\\Harborline Versions\\data.txt")), "data");
      EXPECT_EQ(job.itemsTotal, 5u) << "a, deep, its folder and data, plus one";
    }
  }
}

TEST_F(SafetyNet, TheGuardStopsAnUnattendedDeletionAndAsksAnInteractiveOne) {
  tree.WriteFile(L"src\\kept.txt", "k");
  WriteFiles(tree, L"dst\\old", 20);
  job.deletionGuard = 50;

  ASSERT_EQ(Run(BackupMode::Strict), kPairGuardStopped);
  EXPECT_EQ(NamesIn(tree.Path(L"dst\\old")).size(), 20u) << "nothing deleted";
  EXPECT_EQ(job.guardCount.filesToDelete, 20u);
  EXPECT_EQ(job.guardCount.filesOnSide, 21u);
  EXPECT_TRUE(job.guardCount.stopped);

  GuardAnswer answer;
  hooks.confirmDeletions = AnswerGuard;
  hooks.context = &answer;
  ASSERT_EQ(Run(BackupMode::Strict), kPairGuardStopped) << "answered no";
  EXPECT_EQ(answer.asked, 1);
  EXPECT_EQ(NamesIn(tree.Path(L"dst\\old")).size(), 20u);

  // Yes lets the deletions through, with versions on into the versions.
  answer.yes = true;
  job.versionDays = 30;
  ASSERT_EQ(Run(BackupMode::Strict), kPairFinished);
  EXPECT_EQ(answer.asked, 2);
  EXPECT_FALSE(Exists(tree.Path(L"dst\\old")));
  EXPECT_EQ(ReadWholeFile(Version(L"dst", L"old\\f7.txt")), "x");

  // At the threshold, or with few files, nobody is asked.
  job.versionDays = 0;
  WriteFiles(tree, L"src\\many", 20);
  WriteFiles(tree, L"dst\\old", 21);  // 21 of 42: exactly half
  ASSERT_EQ(Run(BackupMode::Strict), kPairFinished);
  EXPECT_FALSE(Exists(tree.Path(L"dst\\old")));
  RemoveTree(tree.Path(L"src\\many"));
  RemoveTree(tree.Path(L"dst\\many"));
  WriteFiles(tree, L"dst\\few", 10);
  ASSERT_EQ(Run(BackupMode::Strict), kPairFinished);
  EXPECT_EQ(answer.asked, 2);
  EXPECT_FALSE(Exists(tree.Path(L"dst\\few"))) << passesSaid;

  // Off, it never counts.
  WriteFiles(tree, L"dst\\old", 20);
  job.deletionGuard = 0;
  ASSERT_EQ(Run(BackupMode::Strict), kPairFinished);
  EXPECT_FALSE(Exists(tree.Path(L"dst\\old")));
  EXPECT_FALSE(job.guardCount.tripped);
}

TEST(DeletionGuard, TripsAboveThePercentageAndTheMinimum) {
  EXPECT_FALSE(GuardTrips(50, 10, 10)) << "ten files never ask";
  EXPECT_TRUE(GuardTrips(50, 11, 11));
  EXPECT_FALSE(GuardTrips(50, 50, 100)) << "exactly half is not more than half";
  EXPECT_TRUE(GuardTrips(50, 51, 100));
  EXPECT_FALSE(GuardTrips(0, 1000, 1000)) << "0 is off";
  EXPECT_TRUE(GuardTrips(1, 9512, 10000));
  EXPECT_FALSE(GuardTrips(100, 10000, 10000));
}

TEST_F(SafetyNet, ThePreviewChangesNothingAndListsWhatTheRunThenDoes) {
  const uint32_t modes[] = {BackupMode::Common,
                            BackupMode::Common | BackupMode::UpdateMethod,
                            BackupMode::Strict,
                            BackupMode::Strict | BackupMode::UpdateMethod,
                            BackupMode::Restore | BackupMode::UpdateMethod,
                            BackupMode::Sync};
  for (uint32_t mode : modes) {
    for (uint32_t days : {0u, 30u}) {
      SCOPED_TRACE(std::to_string(mode) + " versions " + std::to_string(days));
      RemoveTree(tree.Path(L"src"));
      RemoveTree(tree.Path(L"dst"));
      BuildPair();
      job.versionDays = days;
      job.itemPlanned = KeepLine;
      std::vector<std::wstring> planned;
      job.planContext = &planned;
      const std::wstring before = DescribeTree(tree.Root());
      job.previewOnly = true;
      ASSERT_EQ(Run(mode), kPairFinished);
      job.previewOnly = false;
      EXPECT_EQ(DescribeTree(tree.Root()), before) << "the preview changed the trees";

      std::vector<std::wstring> done;
      job.planContext = &done;
      ASSERT_EQ(Run(mode), kPairFinished);
      EXPECT_EQ(Lines(planned), Lines(done));
      EXPECT_FALSE(planned.empty());
      // What the lines say is what the trees show.
      for (const std::wstring& line : done) {
        const size_t space = line.find(L' ');
        const std::wstring action = line.substr(0, space);
        std::wstring path = line.substr(space + 1);
        if (action == L"delete") {
          EXPECT_FALSE(Exists(path)) << Utf8(line);
        }
        if (action == L"version") {
          const std::wstring root = path.find(On(L"dst")) == 0 ? On(L"dst") : On(L"src");
          const std::wstring side = root == On(L"dst") ? L"dst" : L"src";
          EXPECT_TRUE(Exists(Version(side, path.substr(root.size() + 1)))) << Utf8(line);
        }
        if (action == L"copy" || action == L"update" || action == L"copy-back") {
          const size_t last = path.rfind(L' ');
          const uint64_t bytes = std::stoull(path.substr(last + 1));
          path = path.substr(0, last);
          EXPECT_EQ(ReadWholeFile(path).size(), bytes) << Utf8(line);
        }
      }
    }
  }
}

TEST_F(SafetyNet, APreviewOfANewDestinationCreatesNothing) {
  tree.WriteFile(L"src\\a.txt", "a");
  tree.WriteFile(L"src\\sub\\b.txt", "bb");
  std::vector<std::wstring> planned;
  job.itemPlanned = KeepLine;
  job.planContext = &planned;
  job.previewOnly = true;
  job.versionDays = 30;
  for (uint32_t mode : {BackupMode::Strict, BackupMode::Sync, BackupMode::Common}) {
    planned.clear();
    ASSERT_EQ(Run(mode, L"src", L"new\\backup"), kPairFinished);
    EXPECT_FALSE(Exists(tree.Path(L"new")));
    EXPECT_EQ(Lines(planned), Lines({L"copy " + On(L"new\\backup\\a.txt") + L" 1",
                                     L"copy " + On(L"new\\backup\\sub\\b.txt") + L" 2"}));
  }
}
