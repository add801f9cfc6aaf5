#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/copy_pass.h"
#include "engine/force_delete.h"
#include "tests/support/pass_gate.h"
#include "tests/support/shell_watch.h"
#include "tests/support/temp_tree.h"

namespace {

// The deletion pass of a Strict run: the destination is walked against the
// source, with the Strict bit set.
class DeletionPass : public ::testing::Test {
 protected:
  void Prepare(const std::wstring& source, const std::wstring& destination) {
    job.fromRoot.Assign(tree.Path(destination).c_str());
    job.toRoot.Assign(tree.Path(source).c_str());
    job.flags = BackupMode::Strict;
  }
  DWORD Run(const std::wstring& source, const std::wstring& destination) {
    Prepare(source, destination);
    return CopyThread(&job);
  }

  TempTree tree;
  BackupJob job;
};

}  // namespace

TEST_F(DeletionPass, RemovesWhatTheSourceLacksWhateverItsAttributes) {
  tree.WriteFile(L"src\\keep.txt", "k");
  tree.WriteFile(L"src\\keepdir\\k.txt", "k");
  tree.WriteFile(L"src\\thing", "a file in the source");
  tree.WriteFile(L"dst\\keep.txt", "k");
  tree.WriteFile(L"dst\\keepdir\\k.txt", "k");
  tree.WriteFile(L"dst\\keepdir\\extra hidden.txt", "x");
  tree.WriteFile(L"dst\\extra readonly.txt", "x");
  tree.WriteFile(L"dst\\gone\\deeper\\x.txt", "x");
  tree.WriteFile(L"dst\\thing\\inner.txt", "a folder in the destination");
  SetAttributes(tree.Path(L"dst\\keepdir\\extra hidden.txt"), FILE_ATTRIBUTE_HIDDEN);
  SetAttributes(tree.Path(L"dst\\extra readonly.txt"), FILE_ATTRIBUTE_READONLY);
  job.skipAttributes = SkipAttribute::SkipHidden;  // not for deletions
  Run(L"src", L"dst");
  EXPECT_EQ(NamesIn(tree.Path(L"dst")),
            (std::vector<std::wstring>{L"keep.txt", L"keepdir", L"thing"}));
  EXPECT_EQ(NamesIn(tree.Path(L"dst\\keepdir")), (std::vector<std::wstring>{L"k.txt"}));
  // Matched by name only: the folder stays, and so does what it holds, since
  // the source has no folder of that name to compare with.
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\thing\\inner.txt")), "a folder in the destination");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\thing")), "a file in the source");
}

TEST_F(DeletionPass, KeepsEverythingWhenTheSourceRootVanishes) {
  tree.WriteFile(L"src\\a.txt", "a");
  tree.WriteFile(L"dst\\a.txt", "a");
  for (int i = 0; i < 12; ++i) tree.WriteFile(L"dst\\extra" + std::to_wstring(i), "x");
  tree.WriteFile(L"dst\\folder\\y.txt", "y");
  Prepare(L"src", L"dst");
  // Held just before the second entry is handled: one entry is done.
  PassGate gate(job, [](const BackupJob& seen) { return seen.itemsDone == 2; });
  ASSERT_TRUE(gate.Start(CopyThread));
  ASSERT_TRUE(gate.WaitHeld());
  // An unplugged disk: the source is simply not there any more.
  ASSERT_TRUE(MoveFileW(tree.Path(L"src").c_str(), tree.Path(L"src-elsewhere").c_str()));
  std::wstring atRemoval = DescribeTree(tree.Path(L"dst"));
  gate.Release();
  DWORD exitCode = 99;
  ASSERT_TRUE(gate.WaitEnded(&exitCode));
  EXPECT_EQ(DescribeTree(tree.Path(L"dst")), atRemoval) << "nothing more was deleted";
  EXPECT_EQ(exitCode, 0u) << "the level stopped";
}

TEST_F(DeletionPass, KeepsEverythingWhenTheSourceIsMissingFromTheStart) {
  tree.WriteFile(L"dst\\a.txt", "a");
  tree.WriteFile(L"dst\\sub\\b.txt", "b");
  std::wstring before = DescribeTree(tree.Path(L"dst"));
  EXPECT_EQ(Run(L"no-such-source", L"dst"), 0u);
  EXPECT_EQ(DescribeTree(tree.Path(L"dst")), before);
}

TEST_F(DeletionPass, EmptiesAndRemovesAFolderTheSourceLacks) {
  tree.MakeFolder(L"src");
  tree.WriteFile(L"dst\\gone\\a\\b.txt", "b");
  tree.WriteFile(L"dst\\gone\\c.txt", "c");
  SetAttributes(tree.Path(L"dst\\gone\\c.txt"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
  Run(L"src", L"dst");
  EXPECT_TRUE(NamesIn(tree.Path(L"dst")).empty());
  EXPECT_TRUE(IsFolder(tree.Path(L"dst"))) << "the walked root itself stays";
}

TEST_F(DeletionPass, HostFolderLinkGoesAsALinkAndItsTargetStays) {
  tree.WriteFile(L"src\\a.txt", "a");
  tree.WriteFile(L"dst\\a.txt", "a");
  tree.WriteFile(L"elsewhere\\precious.txt", "keep");
  std::string whyNot = MakeHostFolderLink(tree.Path(L"dst\\link"), tree.Path(L"elsewhere"));
  if (!whyNot.empty()) GTEST_SKIP() << whyNot;
  whyNot = MakeHostFolderLink(tree.Path(L"dst\\up"), tree.Path(L"dst"));
  ASSERT_TRUE(whyNot.empty()) << whyNot;
  Run(L"src", L"dst");
  // Entering "up" would have found dst\up\a.txt missing in the source and
  // deleted a.txt through the link.
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\a.txt")), "a");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"elsewhere\\precious.txt")), "keep");
  if (Exists(tree.Path(L"dst\\link")))
    GTEST_SKIP() << "this platform cannot remove a folder link (Wine 8 answers 145 to "
                    "RemoveDirectoryW on a host folder link)";
  EXPECT_EQ(NamesIn(tree.Path(L"dst")), (std::vector<std::wstring>{L"a.txt"}));
}

TEST_F(DeletionPass, LongPathsAndNonLatinNamesAreDeleted) {
  std::wstring deep;
  for (int i = 0; i < 16; ++i)
    deep += L"\\\u05ea\u05d9\u05e7\u05d9\u05d9\u05d4-level-" + std::to_wstring(i);
  tree.WriteFile(L"src" + deep + L"\\kept.txt", "k");
  tree.WriteFile(L"dst" + deep + L"\\kept.txt", "k");
  tree.WriteFile(L"dst" + deep + L"\\\u00fcberz\u00e4hlig-\u4f59\u5206.txt", "x");
  ASSERT_GT(tree.Path(L"dst" + deep).size(), 260u);
  Run(L"src", L"dst");
  EXPECT_EQ(NamesIn(tree.Path(L"dst" + deep)), (std::vector<std::wstring>{L"kept.txt"}));
}

TEST_F(DeletionPass, TellsTheShellOncePerFolder) {
  tree.MakeFolder(L"src\\sub");
  for (int i = 0; i < 5; ++i) tree.WriteFile(L"dst\\extra" + std::to_wstring(i), "x");
  tree.WriteFile(L"dst\\sub\\extra", "x");
  tree.WriteFile(L"dst\\kept\\nothing gone here", "k");
  tree.WriteFile(L"src\\kept\\nothing gone here", "k");
  ShellWatch watch(tree.Path(L"dst"));
  if (!watch.Listening()) GTEST_SKIP() << "the shell takes no listeners here";
  Run(L"src", L"dst");
  EXPECT_EQ(NamesIn(tree.Path(L"dst")), (std::vector<std::wstring>{L"kept", L"sub"}));
  EXPECT_EQ(watch.Count(SHCNE_DELETE), 0u);
  EXPECT_EQ(watch.Count(SHCNE_UPDATEDIR), 2u) << "dst and dst\\sub, not dst\\kept";
}

TEST_F(DeletionPass, NothingBelowASourceLinkIsJudged) {
  // The source's "docs" is a link to another tree; what the backup holds
  // below its own "docs" cannot be compared through it.
  tree.WriteFile(L"dst\\docs\\report.txt", "backed up");
  tree.WriteFile(L"dst\\docs\\deeper\\notes.txt", "backed up too");
  tree.MakeFolder(L"elsewhere");
  tree.MakeFolder(L"src");
  std::string whyNot = MakeHostFolderLink(tree.Path(L"src\\docs"), tree.Path(L"elsewhere"));
  if (!whyNot.empty()) GTEST_SKIP() << whyNot;
  std::wstring before = DescribeTree(tree.Path(L"dst"));
  Run(L"src", L"dst");
  EXPECT_EQ(DescribeTree(tree.Path(L"dst")), before);
  EXPECT_EQ(job.report.counts.deleted, 0u);
}

TEST_F(DeletionPass, AFileLinkThatLooksPlainIsNeverDeleted) {
  // Under Wine a host link to a file looks like a plain file, and deleting
  // it deletes its target: here a file outside the backup and a file that
  // the source still has.
  tree.WriteFile(L"src\\kept.txt", "the source's own file");
  tree.WriteFile(L"outside\\precious.txt", "outside the backup");
  tree.MakeFolder(L"dst");
  std::string whyNot =
      MakeHostFileLink(tree.Path(L"dst\\link one"), tree.Path(L"outside\\precious.txt"));
  if (!whyNot.empty()) GTEST_SKIP() << whyNot;
  ASSERT_TRUE(MakeHostFileLink(tree.Path(L"dst\\link two"), tree.Path(L"src\\kept.txt")).empty());
  tree.WriteFile(L"dst\\stale.txt", "goes");
  Run(L"src", L"dst");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"outside\\precious.txt")), "outside the backup");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\kept.txt")), "the source's own file");
  EXPECT_FALSE(Exists(tree.Path(L"dst\\stale.txt")));
  EXPECT_EQ(job.report.counts.deleted, 1u);
  ASSERT_EQ(job.report.counts.failed, 2u);
  for (const FailedItem& item : job.report.failures)
    EXPECT_EQ(item.reason, Refusal::kResolvesElsewhere);
}

namespace {

// Gives a file a host name that Windows could not give it ("*" or "?" in
// it); empty on success, else why not.
std::string RenameToHostOnlyName(TempTree& tree, const std::wstring& path,
                                 const std::wstring& hostName) {
  std::wstring from = HostName(tree.Path(path));
  std::wstring folder = HostName(tree.Path(path.substr(0, path.rfind(L'\\'))));
  if (from.empty() || folder.empty()) return "host names exist only under Wine";
  return RunHostProgram("/bin/mv", L"\"" + from + L"\" \"" + folder + L"/" + hostName + L"\"",
                        [&] { return !Exists(tree.Path(path)); });
}

bool HasWildcard(const std::wstring& name) {
  return name.find_first_of(L"*?") != std::wstring::npos;
}

}  // namespace

// Names made on a host that allows "*" and "?" in them, which Wine lists as
// they are. The source's existence test would take them for patterns: they
// are refused with their reason, and the folder's other deletions go on
// (the listing's order is the host's, so several files stand on either side
// of them). Nothing the source still has goes, and no bystander that a
// pattern would match. Should a platform show such names otherwise, they are
// judged like any other name.
TEST_F(DeletionPass, HostNamesWithWildcardCharactersNeverStopTheFolder) {
  tree.WriteFile(L"src\\both.txt", "src");
  tree.WriteFile(L"dst\\both.txt", "dst");
  for (const wchar_t* side : {L"src", L"dst"})
    tree.WriteFile(std::wstring(side) + L"\\gone-keep.txt", "on both sides");
  tree.WriteFile(L"dst\\gone.txt", "destination only");
  constexpr int kOthers = 12;
  for (int i = 0; i < kOthers; ++i)
    tree.WriteFile(L"dst\\other " + std::to_wstring(i) + L".txt", "destination only");
  std::string whyNot = RenameToHostOnlyName(tree, L"src\\both.txt", L"both?.txt");
  if (!whyNot.empty()) GTEST_SKIP() << whyNot;
  ASSERT_EQ(RenameToHostOnlyName(tree, L"dst\\both.txt", L"both?.txt"), "");
  ASSERT_EQ(RenameToHostOnlyName(tree, L"dst\\gone.txt", L"gone*.txt"), "");
  std::vector<std::wstring> before = NamesIn(tree.Path(L"dst"));
  bool listedAsTheyAre = std::count_if(before.begin(), before.end(), HasWildcard) == 2;
  Run(L"src", L"dst");
  std::vector<std::wstring> after = NamesIn(tree.Path(L"dst"));
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\gone-keep.txt")), "on both sides");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\gone-keep.txt")), "on both sides");
  if (listedAsTheyAre) {
    EXPECT_EQ(after, (std::vector<std::wstring>{L"both?.txt", L"gone*.txt", L"gone-keep.txt"}));
    EXPECT_EQ(job.report.counts.deleted, static_cast<uint64_t>(kOthers));
    ASSERT_EQ(job.report.counts.failed, 2u);
    for (const FailedItem& item : job.report.failures)
      EXPECT_EQ(item.reason, Refusal::kNameNotJudged);
  } else {
    ASSERT_EQ(after.size(), 2u) << "all but gone-keep.txt and the twin of the source's file go";
    EXPECT_EQ(
        ReadWholeFile(tree.Path(L"dst\\" + (after[0] == L"gone-keep.txt" ? after[1] : after[0]))),
        "dst");
    EXPECT_EQ(job.report.counts.deleted, static_cast<uint64_t>(kOthers + 1));
    EXPECT_EQ(job.report.counts.failed, 0u);
  }
}

// Names that only the long form can make: the ordinary form drops a trailing
// dot or space. The check that an item lies where its path says must compare
// them as the file system keeps them, or they stay as "links" for ever; and a
// link whose name differs from its target's only by those must still stay.
TEST_F(DeletionPass, NamesEndingInADotOrASpaceGoLikeAnyOther) {
  MappedDrive drive(tree.Root());
  if (!drive.Ready()) GTEST_SKIP() << drive.WhyNot();
  tree.WriteFile(L"src\\keep.", "kept");
  tree.WriteFile(L"dst\\keep.", "kept");
  tree.WriteFile(L"src\\twin", "the source's twin");
  tree.WriteFile(L"dst\\twin", "the backup's twin");
  for (const wchar_t* name : {L"old.", L"space  ", L"both. ", L"plain"})
    tree.WriteFile(std::wstring(L"dst\\") + name, "not in the source");
  tree.WriteFile(L"dst\\folder. \\inner.", "not in the source");
  // The long form keeps the dot in the host name as well.
  std::string whyNot =
      MakeHostFileLink(LongForm(tree.Path(L"dst\\twin.")), tree.Path(L"dst\\twin"));
  ASSERT_EQ(whyNot, "");
  ASSERT_EQ(NamesIn(tree.Path(L"dst")),
            (std::vector<std::wstring>{L"both. ", L"folder. ", L"keep.", L"old.", L"plain",
                                       L"space  ", L"twin", L"twin."}));
  job.fromRoot.Assign((drive.Root() + L"dst").c_str());
  job.toRoot.Assign((drive.Root() + L"src").c_str());
  job.flags = BackupMode::Strict;
  CopyThread(&job);
  EXPECT_EQ(NamesIn(tree.Path(L"dst")), (std::vector<std::wstring>{L"keep.", L"twin", L"twin."}));
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\twin")), "the backup's twin");
  EXPECT_EQ(job.report.counts.deleted, 6u);
  ASSERT_EQ(job.report.failures.size(), 1u);
  EXPECT_EQ(job.report.failures[0].path, drive.Root() + L"dst\\twin.");
  EXPECT_EQ(job.report.failures[0].reason, Refusal::kResolvesElsewhere);
}
