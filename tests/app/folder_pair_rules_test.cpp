// The folder pair dialog's rules on texts: validation order and messages,
// history parents and destination proposals.
#include <gtest/gtest.h>

#include "app/folder_pair_dialog.h"
#include "app/shell_links.h"

namespace {

struct ProblemCase {
  const wchar_t* source;
  const wchar_t* destination;
  const wchar_t* message;  // null: accepted
};

constexpr wchar_t kSame[] = L"The Source and destination folders are the same!";
constexpr wchar_t kSourceInside[] =
    L"The source folder can not be a sub-folder of the destination!";
constexpr wchar_t kDestinationInside[] =
    L"The destination folder can not be a sub-folder of the source!";
constexpr wchar_t kNotFull[] =
    L"The folders must be full paths, such as C:\\Data or \\\\server\\share!";

const ProblemCase kProblemCases[] = {
    {L"", L"", L"The \"Source folder\" field is empty!"},
    {L"", L"E:\\B", L"The \"Source folder\" field is empty!"},
    {L"C:\\Data", L"", L"The \"Destination folder\" field is empty!"},
    {L"Data", L"E:\\Backup", kNotFull},
    {L"C:\\Data", L"Backup", kNotFull},
    {L"\\Data", L"E:\\Backup", kNotFull},
    {L"\\\\server", L"E:\\Backup", kNotFull},
    {L"C:Data", L"E:\\Backup", kNotFull},
    {L"C:\\Data", L"c:\\DATA", kSame},
    {L"C:\\Data", L"C:\\Data\\Backup", kDestinationInside},
    {L"C:\\Data\\Photos", L"c:\\data", kSourceInside},
    {L"C:\\Photos", L"C:\\Photos Backup", nullptr},
    {L"D:", L"D:\\Backup", kDestinationInside},
    {L"D:", L"E:", nullptr},
    // Other spellings of one folder are caught as well.
    {L"C:\\Data\\.\\Backup", L"C:\\Data", kSourceInside},
    {L"C:/Data/Backup", L"C:\\Data\\Backup", kSame},
    {L"\\\\?\\C:\\Data", L"C:\\Data\\Sub", kDestinationInside},
    {L"C:\\Data\\x\\..", L"C:\\Data", kSame},
    {L"\\\\server\\share\\a", L"\\\\SERVER\\share", kSourceInside},
    {L"\\\\?\\UNC\\server\\share", L"\\\\server\\share\\b", kDestinationInside},
    {L"\\\\server\\share", L"E:\\Backup", nullptr},
};

}  // namespace

TEST(FolderPairRules, ValidationGivesTheFirstFailingMessage) {
  for (const ProblemCase& c : kProblemCases) {
    const wchar_t* got = FolderPairProblem(c.source, c.destination);
    if (c.message)
      EXPECT_STREQ(got, c.message) << "source " << c.source << ", destination " << c.destination;
    else
      EXPECT_EQ(got, nullptr) << "source " << c.source << ", destination " << c.destination << ": "
                              << got;
  }
}

TEST(FolderPairRules, ProposalJoinsTheBaseAndTheSourceName) {
  EXPECT_STREQ(ProposeDestination(L"E:\\Backup", L"C:\\Users\\Ann\\Documents").CStr(),
               L"E:\\Backup\\Documents");
  // A drive root has no name of its own: the base itself, never "E:\Backup\D:".
  EXPECT_STREQ(ProposeDestination(L"E:\\Backup", L"D:").CStr(), L"E:\\Backup");
}

TEST(FolderPairRules, NoProposalIsTheSourceOrHoldsItOrLiesInsideIt) {
  EXPECT_STREQ(ProposeDestination(L"E:\\", L"C:\\Docs").CStr(), L"E:\\Docs");
  // The history's folder beside the source names the source itself.
  EXPECT_STREQ(ProposeDestination(L"C:\\Users\\Ann", L"C:\\Users\\Ann\\Documents").CStr(), L"");
  EXPECT_STREQ(ProposeDestination(L"C:\\Data", L"C:\\Data").CStr(), L"");
  EXPECT_STREQ(ProposeDestination(L"C:\\B", L"C:\\B\\Y\\Y").CStr(), L"");
  EXPECT_STREQ(ProposeDestination(L"C:", L"C:\\").CStr(), L"");
}

TEST(ShellLinks, VersionAndAddressesUseTheReservedHost) {
  EXPECT_STREQ(GetVersionText().CStr(), L"1.3.4.0");
  EXPECT_STREQ(HelpPageAddress().CStr(), L"https://harborline.example/harborline_backup/");
  EXPECT_STREQ(UpdatePageAddress().CStr(),
               L"https://harborline.example/harborline_backup/about.php?ver=1.3.4.0");
}
