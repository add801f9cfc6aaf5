// The job's exclusion patterns through every pass of a pair, on a mapped
// drive: a Strict run that regressed into deleting too much could reach
// nothing outside the test's folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/pair_passes.h"
#include "tests/support/temp_tree.h"

namespace {

constexpr wchar_t kPatterns[] = L"*.tmp; ~$*; node_modules\\; Projects\\*\\bin\\; ;\\";

void KeepCounts(void* context, PairPhase phase, const PassReport& report) {
  EXPECT_TRUE(report.failures.empty()) << "pass " << phase;
  static_cast<std::vector<PassCounts>*>(context)->push_back(report.counts);
}

class ExclusionPasses : public ::testing::Test {
 protected:
  ExclusionPasses() : drive_(tree.Root()) {
    hooks.runWorker = RunWorkerAndWait;
    hooks.passEnded = KeepCounts;
    hooks.context = &passes;
    EnsureTransferBuffer(job);
    job.exclusions.Assign(kPatterns);
  }
  void SetUp() override {
    if (!drive_.Ready()) GTEST_SKIP() << drive_.WhyNot();
  }
  // A path on the mapped drive.
  std::wstring On(const std::wstring& relative) const { return drive_.Root() + relative; }
  PairOutcome Run(uint32_t flags) {
    job.flags = flags;
    passes.clear();
    return RunPairPasses(job, On(L"src").c_str(), On(L"dst").c_str(), hooks);
  }
  // One item of every form the patterns take, and the items they must leave.
  void BuildSource() {
    tree.WriteFile(L"src\\keep.txt", "keep");
    tree.WriteFile(L"src\\a.tmp", "name pattern");
    tree.WriteFile(L"src\\sub\\b.TMP", "name pattern, any depth and case");
    tree.WriteFile(L"src\\~$doc.docx", "prefix pattern");
    tree.WriteFile(L"src\\web\\node_modules\\lib.js", "folder pattern");
    tree.WriteFile(L"src\\web2\\node_modules", "a file of a folder pattern's name");
    tree.WriteFile(L"src\\Projects\\App\\bin\\app.exe", "path pattern");
    tree.WriteFile(L"src\\Projects\\App\\src\\main.c", "beside the path pattern");
    tree.WriteFile(L"src\\Projects\\bin\\tool.exe", "too shallow for the path pattern");
  }

  TempTree tree;
  BackupJob job;
  PassHooks hooks;
  std::vector<PassCounts> passes;

 private:
  MappedDrive drive_;
};

}  // namespace

TEST_F(ExclusionPasses, CommonLeavesOutEachFormAndCountsThemAsSkipped) {
  BuildSource();
  EXPECT_EQ(job.exclusions.Malformed(), (std::vector<std::wstring>{L"", L"\\"}));
  ASSERT_EQ(Run(BackupMode::Common), kPairFinished);
  EXPECT_EQ(NamesIn(On(L"dst")),
            (std::vector<std::wstring>{L"Projects", L"keep.txt", L"sub", L"web", L"web2"}));
  EXPECT_TRUE(NamesIn(On(L"dst\\sub")).empty());
  EXPECT_TRUE(NamesIn(On(L"dst\\web")).empty());
  EXPECT_EQ(ReadWholeFile(On(L"dst\\web2\\node_modules")), "a file of a folder pattern's name");
  EXPECT_EQ(NamesIn(On(L"dst\\Projects\\App")), (std::vector<std::wstring>{L"src"}));
  EXPECT_TRUE(IsFile(On(L"dst\\Projects\\bin\\tool.exe")));
  ASSERT_EQ(passes.size(), 1u);
  // a.tmp, b.TMP, ~$doc.docx, the node_modules folder, the bin folder.
  EXPECT_EQ(passes[0].skipped, 5u);
  EXPECT_EQ(passes[0].copied, 4u);
  EXPECT_EQ(passes[0].failed, 0u);
  // Neither counted: the included tree holds 11 entries (plus one).
  EXPECT_EQ(job.itemsTotal, 12u);
}

TEST_F(ExclusionPasses, StrictNeverDeletesAnExcludedItemNorTheFolderHoldingIt) {
  BuildSource();
  tree.WriteFile(L"dst\\gone.txt", "the source lacks it");
  tree.WriteFile(L"dst\\old.tmp", "excluded, the source lacks it");
  tree.WriteFile(L"dst\\stale\\x.tmp", "excluded, in a folder the source lacks");
  tree.WriteFile(L"dst\\stale\\y.txt", "goes");
  tree.WriteFile(L"dst\\lone\\z.txt", "goes with its folder");
  tree.WriteFile(L"dst\\web\\node_modules\\cached.js", "only in the backup");
  tree.WriteFile(L"dst\\Projects\\App\\bin\\old.exe", "only in the backup");
  ASSERT_EQ(Run(BackupMode::Strict), kPairFinished);
  EXPECT_FALSE(Exists(On(L"dst\\gone.txt")));
  EXPECT_FALSE(Exists(On(L"dst\\lone")));
  EXPECT_FALSE(Exists(On(L"dst\\stale\\y.txt")));
  EXPECT_EQ(ReadWholeFile(On(L"dst\\old.tmp")), "excluded, the source lacks it");
  EXPECT_EQ(ReadWholeFile(On(L"dst\\stale\\x.tmp")), "excluded, in a folder the source lacks");
  EXPECT_EQ(NamesIn(On(L"dst\\web\\node_modules")), (std::vector<std::wstring>{L"cached.js"}));
  EXPECT_EQ(NamesIn(On(L"dst\\Projects\\App\\bin")), (std::vector<std::wstring>{L"old.exe"}));
  EXPECT_TRUE(IsFile(On(L"dst\\keep.txt")));
  ASSERT_EQ(passes.size(), 2u);
  // The deletion pass: gone.txt, y.txt, z.txt and its folder.
  EXPECT_EQ(passes[1].deleted, 4u);
  // old.tmp, stale\x.tmp, web\node_modules, Projects\App\bin.
  EXPECT_EQ(passes[1].skipped, 4u);
  EXPECT_EQ(passes[1].failed, 0u);
}

TEST_F(ExclusionPasses, SyncNeverCopiesAnExcludedItemBack) {
  BuildSource();
  tree.WriteFile(L"dst\\fresh.txt", "edited in the backup");
  tree.WriteFile(L"dst\\newer.tmp", "excluded");
  tree.WriteFile(L"dst\\lib\\node_modules\\x.js", "excluded folder");
  tree.WriteFile(L"dst\\Projects\\Tool\\bin\\t.exe", "excluded path");
  ASSERT_EQ(Run(BackupMode::Sync), kPairFinished);
  EXPECT_EQ(ReadWholeFile(On(L"src\\fresh.txt")), "edited in the backup");
  EXPECT_FALSE(Exists(On(L"src\\newer.tmp")));
  EXPECT_TRUE(NamesIn(On(L"src\\lib")).empty());
  EXPECT_FALSE(Exists(On(L"src\\Projects\\Tool\\bin")));
  EXPECT_FALSE(Exists(On(L"dst\\a.tmp")));
  ASSERT_EQ(passes.size(), 2u);
  EXPECT_EQ(passes[1].skipped, 3u);
  EXPECT_EQ(passes[1].copied, 1u);
}

TEST_F(ExclusionPasses, RestoreLeavesExcludedBackupItemsWhereTheyAre) {
  tree.WriteFile(L"dst\\report.txt", "backed up");
  tree.WriteFile(L"dst\\scratch.tmp", "excluded");
  tree.WriteFile(L"src\\scratch.tmp", "the live one");
  ASSERT_EQ(Run(BackupMode::Restore), kPairFinished);
  EXPECT_EQ(ReadWholeFile(On(L"src\\report.txt")), "backed up");
  EXPECT_EQ(ReadWholeFile(On(L"src\\scratch.tmp")), "the live one");
  ASSERT_EQ(passes.size(), 1u);
  EXPECT_EQ(passes[0].skipped, 1u);
}
