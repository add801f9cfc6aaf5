// Files of the old format (source=destination lines, no version) are
// rewritten on their first load; no pair may be lost or scrambled on the way,
// whether or not the file can be written.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "jobfile/settings_file.h"
#include "tests/jobfile/job_window.h"

namespace {

class UpgradeTest : public JobWindowTest {};

TEST_F(UpgradeTest, OldLineIsRewrittenAndLoadsAsOneCheckedPair) {
  std::wstring path = tree_.Path(L"old.hbak");
  WriteUnicodeFile(path, L"[Folders]\r\nC:\\A=D:\\B\r\n");
  Load(path);
  ASSERT_EQ(RowCount(), 1);
  EXPECT_EQ(Row(0), (PairRow{L"C:\\A", L"D:\\B", L"0", L"", true}));
  EXPECT_EQ(ProfileValue(path, L"Settings", L"version"), L"1");
  EXPECT_EQ(ProfileValue(path, L"Folders", L"0"), L"C:\\A<|>D:\\B");
  EXPECT_EQ(ProfileValue(path, L"Folders", L"C:\\A"), L"<absent>");
}

TEST_F(UpgradeTest, UpgradeReturnsTheLinesWrittenInOrder) {
  std::wstring path = tree_.Path(L"three.hbak");
  WriteUnicodeFile(path,
                   L"[Settings]\r\nversion=0\r\n[Folders]\r\nC:\\One=E:\\1\r\n"
                   L"C:\\Two=E:\\2\r\nC:\\Three=E:\\3\r\n");
  EXPECT_EQ(UpgradeSettingsFile(path.c_str()), 3);
  EXPECT_EQ(ProfileValue(path, L"Folders", L"0"), L"C:\\One<|>E:\\1");
  EXPECT_EQ(ProfileValue(path, L"Folders", L"1"), L"C:\\Two<|>E:\\2");
  EXPECT_EQ(ProfileValue(path, L"Folders", L"2"), L"C:\\Three<|>E:\\3");
  EXPECT_EQ(ProfileValue(path, L"Settings", L"version"), L"1");
}

TEST_F(UpgradeTest, OldFileThatCannotBeWrittenStillLoadsItsPairsRight) {
  std::wstring path = tree_.Path(L"blocked-old.hbak");
  WriteUnicodeFile(path, L"[Folders]\r\nC:\\A=D:\\B\r\nC:\\C=D:\\D\r\n");
  {
    WriteBlock block(path);
    ASSERT_TRUE(block.Holds());
    Load(path);
  }
  ASSERT_EQ(RowCount(), 2);
  EXPECT_EQ(Row(0), (PairRow{L"C:\\A", L"D:\\B", L"0", L"", true}));
  EXPECT_EQ(Row(1), (PairRow{L"C:\\C", L"D:\\D", L"1", L"", true}));
  EXPECT_EQ(ProfileValue(path, L"Settings", L"version"), L"<absent>");
  EXPECT_NE(FileText(path).find(L"C:\\A=D:\\B"), std::wstring::npos);
}

TEST_F(UpgradeTest, PresentFormatWithoutVersionOnlyGainsTheVersion) {
  std::wstring path = tree_.Path(L"noversion.hbak");
  WriteUnicodeFile(path,
                   L"[Settings]\r\nFlag=1\r\n[Folders]\r\n0=C:\\A<|>D:\\A\r\n"
                   L"1=C:\\B<|>0D:\\B\r\n");
  EXPECT_EQ(Load(path), 1u);
  ASSERT_EQ(RowCount(), 2);
  EXPECT_EQ(Row(0), (PairRow{L"C:\\A", L"D:\\A", L"0", L"", true}));
  EXPECT_EQ(Row(1), (PairRow{L"C:\\B", L"D:\\B", L"1", L"", false}));
  EXPECT_EQ(ProfileValue(path, L"Settings", L"version"), L"1");
  EXPECT_EQ(ProfileValue(path, L"Folders", L"1"), L"C:\\B<|>0D:\\B");
}

TEST_F(UpgradeTest, OldLineWithoutEqualsIsKeptAsUncheckedPairAndLaterLinesFollow) {
  std::wstring path = tree_.Path(L"noequals.hbak");
  WriteUnicodeFile(path, L"[Folders]\r\nC:\\A=D:\\A\r\nC:\\Lonely\r\nC:\\C=D:\\C\r\n");
  Load(path);
  ASSERT_EQ(RowCount(), 3);
  EXPECT_EQ(Row(0), (PairRow{L"C:\\A", L"D:\\A", L"0", L"", true}));
  EXPECT_EQ(Row(1), (PairRow{L"C:\\Lonely", L"C:\\Lonely", L"1", L"", false}));
  EXPECT_EQ(Row(2), (PairRow{L"C:\\C", L"D:\\C", L"2", L"", true}));
  // What the file now holds loads the same.
  ClearRows();
  Load(path);
  EXPECT_EQ(RowCount(), 3);
  EXPECT_EQ(Row(2), (PairRow{L"C:\\C", L"D:\\C", L"2", L"", true}));
}

TEST_F(UpgradeTest, EmptyOldFileIsLeftForTheNextLoad) {
  std::wstring path = tree_.Path(L"empty-old.hbak");
  WriteUnicodeFile(path, L"[Settings]\r\nFlag=2\r\n");
  EXPECT_EQ(UpgradeSettingsFile(path.c_str()), 0);
  EXPECT_EQ(Load(path), 2u);
  EXPECT_EQ(RowCount(), 0);
  EXPECT_EQ(ProfileValue(path, L"Settings", L"version"), L"<absent>");
}

TEST_F(UpgradeTest, LongOldSectionIsConvertedWhole) {
  std::wstring text = L"[Folders]\r\n";
  for (int i = 0; i < 300; ++i)
    text += L"C:\\" + std::wstring(100, L's') + std::to_wstring(i) + L"=E:\\" +
            std::wstring(100, L'd') + std::to_wstring(i) + L"\r\n";
  ASSERT_GT(text.size(), 0x7FFFu * 1.5);
  std::wstring path = tree_.Path(L"long-old.hbak");
  WriteUnicodeFile(path, text);
  EXPECT_EQ(UpgradeSettingsFile(path.c_str()), 300);
  Load(path);
  ASSERT_EQ(RowCount(), 300);
  EXPECT_EQ(Row(299), (PairRow{L"C:\\" + std::wstring(100, L's') + L"299",
                               L"E:\\" + std::wstring(100, L'd') + L"299", L"299", L"", true}));
}

}  // namespace
