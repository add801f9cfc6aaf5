// The history and the strict-warning choice in the user's default settings
// file: read whole, written in Unicode, never at the cost of the job there.
#include "jobfile/preferences.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/jobfile/job_window.h"

namespace {

class PreferencesTest : public JobWindowTest {
 protected:
  std::wstring defaultFile_ = tree_.Path(L"root.hbak");
};

TEST_F(PreferencesTest, SkipStrictWarningIsSetOnlyByNumbersAboveZero) {
  const struct {
    const wchar_t* text;
    bool set;
  } cases[] = {{L"2", true},
               {L"1", true},
               {L" 3", true},
               {L"+4", true},
               {L"1abc", true},
               {L"-1", false},
               {L"abc", false},
               {L"", false},
               {L"0", false},
               {L"-0", false},
               {L"99999999999999999999", true}};
  for (const auto& c : cases) {
    std::wstring text = c.text;
    SCOPED_TRACE(std::string(text.begin(), text.end()));
    EXPECT_EQ(IsSkipStrictWarningSet(c.text), c.set);
    WriteUnicodeFile(defaultFile_, L"[Settings]\r\nSkipStrictWarning=" + text + L"\r\n");
    EXPECT_EQ(IsStrictWarningSkipped(defaultFile_.c_str()), c.set);
  }
}

TEST_F(PreferencesTest, MissingFileOrKeyDoesNotSkipTheWarning) {
  EXPECT_FALSE(IsStrictWarningSkipped(defaultFile_.c_str()));
  WriteUnicodeFile(defaultFile_, L"[Settings]\r\nversion=1\r\n");
  EXPECT_FALSE(IsStrictWarningSkipped(defaultFile_.c_str()));
}

TEST_F(PreferencesTest, WarningChoiceCreatesUnicodeFileAndSticks) {
  ASSERT_TRUE(SkipStrictWarningFromNowOn(defaultFile_.c_str()));
  EXPECT_EQ(ReadWholeFile(defaultFile_).substr(0, 2), std::string("\xFF\xFE"));
  EXPECT_EQ(ProfileValue(defaultFile_, L"Settings", L"SkipStrictWarning"), L"1");
  EXPECT_TRUE(IsStrictWarningSkipped(defaultFile_.c_str()));
}

TEST_F(PreferencesTest, FirstHistoryWriteCreatesUnicodeFileKeepingNonLatinFolders) {
  ASSERT_TRUE(WriteHistoryFolders(defaultFile_.c_str(), L"C:\\Документы", L"E:\\写真\\Копия"));
  EXPECT_EQ(ReadWholeFile(defaultFile_).substr(0, 2), std::string("\xFF\xFE"));
  EXPECT_EQ(ReadHistoryFolder(defaultFile_.c_str(), HistoryKey::LastSource).CStr(),
            std::wstring(L"C:\\Документы"));
  EXPECT_EQ(ReadHistoryFolder(defaultFile_.c_str(), HistoryKey::LastDestination).CStr(),
            std::wstring(L"E:\\写真\\Копия"));
  EXPECT_EQ(HistoryParentFolder(defaultFile_.c_str(), HistoryKey::LastDestination).CStr(),
            std::wstring(L"E:\\写真"));
}

TEST_F(PreferencesTest, HistoryParentFolderRule) {
  const struct {
    const wchar_t* entry;
    const wchar_t* parent;
  } cases[] = {{L"E:\\Backup\\Docs", L"E:\\Backup"},
               {L"E:\\Docs", L"E:"},
               {L"E:\\Docs\\\\", L"E:"},
               {L"E:\\", L"E:"},
               {L"Docs", L"Docs"},
               {L"\\\\server\\share\\x", L"\\\\server\\share"},
               {L"", L""}};
  for (const auto& c : cases) {
    std::wstring entry = c.entry;
    SCOPED_TRACE(std::string(entry.begin(), entry.end()));
    WriteUnicodeFile(defaultFile_, L"[History]\r\nLastSrcFolder=" + entry + L"\r\n");
    EXPECT_EQ(HistoryParentFolder(defaultFile_.c_str(), HistoryKey::LastSource).CStr(),
              std::wstring(c.parent));
  }
}

TEST_F(PreferencesTest, LongHistoryEntryIsReadWhole) {
  std::wstring longFolder = L"E:\\" + std::wstring(3000, L'x') + L"\\" + std::wstring(3000, L'y');
  ASSERT_TRUE(WriteHistoryFolders(defaultFile_.c_str(), L"C:\\Src", longFolder.c_str()));
  EXPECT_EQ(ReadHistoryFolder(defaultFile_.c_str(), HistoryKey::LastDestination).CStr(),
            longFolder);
  EXPECT_EQ(HistoryParentFolder(defaultFile_.c_str(), HistoryKey::LastDestination).CStr(),
            L"E:\\" + std::wstring(3000, L'x'));
}

TEST_F(PreferencesTest, HistoryWriteKeepsTheDefaultJob) {
  AddRow(L"C:\\A", L"D:\\A", true);
  SetMode(modes_.strict, false, true, false);
  ASSERT_TRUE(Save(defaultFile_).complete);
  ASSERT_TRUE(WriteHistoryFolders(defaultFile_.c_str(), L"C:\\Src", L"E:\\Dst"));
  ASSERT_TRUE(SkipStrictWarningFromNowOn(defaultFile_.c_str()));
  ClearRows();
  EXPECT_EQ(Load(defaultFile_), 1u);
  ASSERT_EQ(RowCount(), 1);
  EXPECT_EQ(Row(0), (PairRow{L"C:\\A", L"D:\\A", L"0", L"", true}));
}

TEST_F(PreferencesTest, DefaultJobSaveKeepsHistoryAndWarningChoice) {
  ASSERT_TRUE(WriteHistoryFolders(defaultFile_.c_str(), L"C:\\Src", L"E:\\Dst"));
  ASSERT_TRUE(SkipStrictWarningFromNowOn(defaultFile_.c_str()));
  AddRow(L"C:\\B", L"D:\\B", false);
  EXPECT_TRUE(SaveAsDefaultJob(defaultFile_.c_str(), ui(), list_, modes_, options_).complete);
  EXPECT_EQ(ReadHistoryFolder(defaultFile_.c_str(), HistoryKey::LastSource).CStr(),
            std::wstring(L"C:\\Src"));
  EXPECT_TRUE(IsStrictWarningSkipped(defaultFile_.c_str()));
  EXPECT_EQ(ProfileValue(defaultFile_, L"Folders", L"0"), L"C:\\B<|>0D:\\B");
}

}  // namespace

namespace {

TEST_F(PreferencesTest, HistoryEntriesAroundTheFirstBufferSizeAreReadWhole) {
  for (size_t length : {254u, 255u, 256u, 257u, 511u, 512u, 513u, 2047u, 2048u}) {
    SCOPED_TRACE(std::to_string(length));
    std::wstring folder = L"E:\\" + std::wstring(length - 3, L'q');
    ASSERT_TRUE(WriteHistoryFolders(defaultFile_.c_str(), folder.c_str(), L"F:\\"));
    EXPECT_EQ(ReadHistoryFolder(defaultFile_.c_str(), HistoryKey::LastSource).CStr(), folder);
  }
}

TEST_F(PreferencesTest, NonLatinHistoryInAnsiDefaultFileKeepsFileAndCharacters) {
  std::string ansi =
      ToCodePage(L"[Settings]\r\nversion=1\r\nFlag=1\r\n[Folders]\r\n0=C:\\Caf\u00e9<|>D:\\B\r\n");
  ASSERT_FALSE(ansi.empty());
  tree_.WriteFile(L"root.hbak", ansi);
  ASSERT_TRUE(WriteHistoryFolders(defaultFile_.c_str(), L"C:\\Документы", L"E:\\写真"));
  EXPECT_EQ(ReadHistoryFolder(defaultFile_.c_str(), HistoryKey::LastSource).CStr(),
            std::wstring(L"C:\\Документы"));
  EXPECT_EQ(ReadHistoryFolder(defaultFile_.c_str(), HistoryKey::LastDestination).CStr(),
            std::wstring(L"E:\\写真"));
  EXPECT_EQ(Load(defaultFile_), 1u);
  ASSERT_EQ(RowCount(), 1);
  EXPECT_EQ(Cell(0, kSourceColumn), L"C:\\Caf\u00e9");
}

}  // namespace
