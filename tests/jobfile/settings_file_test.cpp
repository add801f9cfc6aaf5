// Settings files through real files in the test prefix and real controls on
// a real window: what a user keeps in a ".hbak" file must come back exactly.
#include "jobfile/settings_file.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/jobfile/job_window.h"
#include "tests/support/temp_tree.h"

namespace {

class SettingsFileTest : public JobWindowTest {};

TEST_F(SettingsFileTest, MissingFileLoadsDefaultsAndCreatesNothing) {
  AddRow(L"C:\\Old", L"D:\\Old", true);
  uint32_t skip = 99;
  std::wstring path = tree_.Path(L"missing.hbak");
  EXPECT_EQ(Load(path, &skip), 16u);
  EXPECT_EQ(skip, 6u);
  EXPECT_EQ(RowCount(), 0);
  EXPECT_EQ(CheckedMode(), modes_.common);
  EXPECT_TRUE(Checked(options_.updateMethod));
  EXPECT_TRUE(Enabled(options_.updateMethod));
  EXPECT_TRUE(Checked(options_.skipSystem));
  EXPECT_TRUE(Checked(options_.skipHidden));
  EXPECT_FALSE(Exists(path));
}

TEST_F(SettingsFileTest, SavedFileStartsWithByteOrderMarkAndReadsAsWritten) {
  AddRow(L"C:\\Users\\Ann\\Documents", L"E:\\Backup\\Documents", true);
  AddRow(L"C:\\Users\\Ann\\Pictures", L"E:\\Backup\\Pictures", false);
  SetMode(modes_.strict, true, true, true);
  std::wstring path = tree_.Path(L"job.hbak");
  SettingsSaveResult saved = Save(path);
  EXPECT_TRUE(saved.complete);
  EXPECT_EQ(saved.writes, 4);
  std::string bytes = ReadWholeFile(path);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE"));
  std::wstring text = FileText(path);
  EXPECT_NE(text.find(L"version=1"), std::wstring::npos);
  EXPECT_NE(text.find(L"Flag=17"), std::wstring::npos);
  EXPECT_NE(text.find(L"SkipAttributes=6"), std::wstring::npos);
  EXPECT_NE(text.find(L"0=C:\\Users\\Ann\\Documents<|>E:\\Backup\\Documents"), std::wstring::npos);
  EXPECT_NE(text.find(L"1=C:\\Users\\Ann\\Pictures<|>0E:\\Backup\\Pictures"), std::wstring::npos);
}

TEST_F(SettingsFileTest, NonLatinAndLongPathsRoundTrip) {
  std::wstring longSource = L"C:\\" + std::wstring(300, L'a') + L"\\" + std::wstring(4200, L'b');
  std::wstring longDestination = L"\\\\server\\share\\" + std::wstring(5000, L'\u00e9');
  AddRow(L"C:\\Документы\\写真", L"E:\\Σύνολο\\バックアップ", true);
  AddRow(longSource, longDestination, false);
  AddRow(L"D:\\emoji \U0001F600", L"F:\\\u05e2\u05d1\u05e8\u05d9\u05ea", true);
  ASSERT_TRUE(Save(tree_.Path(L"wide.hbak")).complete);
  ClearRows();
  Load(tree_.Path(L"wide.hbak"));
  ASSERT_EQ(RowCount(), 3);
  EXPECT_EQ(Cell(0, kSourceColumn), L"C:\\Документы\\写真");
  EXPECT_EQ(Cell(0, kDestinationColumn), L"E:\\Σύνολο\\バックアップ");
  EXPECT_EQ(Cell(1, kSourceColumn), longSource);
  EXPECT_EQ(Cell(1, kDestinationColumn), longDestination);
  EXPECT_FALSE(RowChecked(1));
  EXPECT_EQ(Cell(2, kSourceColumn), L"D:\\emoji \U0001F600");
  EXPECT_EQ(Cell(2, kDestinationColumn), L"F:\\\u05e2\u05d1\u05e8\u05d9\u05ea");
  EXPECT_TRUE(RowChecked(2));
}

TEST_F(SettingsFileTest, ExampleFileLoadsIntoControls) {
  std::wstring path = tree_.Path(L"example.hbak");
  WriteUnicodeFile(path,
                   L"[Settings]\r\nversion=1\r\nFlag=17\r\nSkipAttributes=4\r\n[Folders]\r\n"
                   L"0=C:\\Users\\Ann\\Documents<|>E:\\Backup\\Documents\r\n"
                   L"1=C:\\Users\\Ann\\Pictures<|>0E:\\Backup\\Pictures<|>extra text\r\n"
                   L"5=D:\\Data\r\n7=\r\n");
  uint32_t skip = 0;
  EXPECT_EQ(Load(path, &skip), 17u);
  EXPECT_EQ(skip, 4u);
  EXPECT_EQ(CheckedMode(), modes_.strict);
  EXPECT_TRUE(Checked(options_.updateMethod));
  EXPECT_TRUE(Enabled(options_.updateMethod));
  EXPECT_TRUE(Checked(options_.skipSystem));
  EXPECT_FALSE(Checked(options_.skipHidden));
  ASSERT_EQ(RowCount(), 4);
  EXPECT_EQ(Row(0),
            (PairRow{L"C:\\Users\\Ann\\Documents", L"E:\\Backup\\Documents", L"0", L"", true}));
  EXPECT_EQ(Row(1), (PairRow{L"C:\\Users\\Ann\\Pictures", L"E:\\Backup\\Pictures", L"1",
                             L"extra text", false}));
  EXPECT_EQ(Row(2), (PairRow{L"D:\\Data", L"D:\\Data", L"5", L"", true}));
  EXPECT_EQ(Row(3), (PairRow{L"", L"", L"7", L"", true}));
}

TEST_F(SettingsFileTest, LoadingRaisesNoEventsOfItsOwn) {
  std::wstring path = tree_.Path(L"events.hbak");
  WriteUnicodeFile(path,
                   L"[Settings]\r\nversion=1\r\nFlag=4\r\nSkipAttributes=0\r\n[Folders]\r\n"
                   L"0=C:\\A<|>D:\\A\r\n1=C:\\B<|>0D:\\B\r\n2=C:\\C<|>D:\\C\r\n");
  AddRow(L"C:\\Old", L"D:\\Old", true);
  LoadSettingsFile(path.c_str(), ui(), list_, modes_, options_);
  std::vector<UiEvent> raised = TakeRaisedEvents(ui());
  std::vector<int32_t> pumped = PumpAllEvents(ui());
  EXPECT_EQ(RowCount(), 3);
  for (const UiEvent& event : raised) ADD_FAILURE() << "raised event " << event.code;
  for (int32_t code : pumped) ADD_FAILURE() << "pumped event " << code;
}

TEST_F(SettingsFileTest, LoadingLeavesTheListShownOrHiddenAsItWas) {
  std::wstring path = tree_.Path(L"shown.hbak");
  WriteUnicodeFile(path, L"[Settings]\r\nversion=1\r\n[Folders]\r\n0=C:\\A<|>D:\\A\r\n");
  HWND list = ui().ControlHandle(list_);
  Load(path);
  EXPECT_TRUE(GetWindowLongW(list, GWL_STYLE) & WS_VISIBLE);
  ui().SetControlState(list_, kStateHide);
  Load(path);
  EXPECT_FALSE(GetWindowLongW(list, GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(RowCount(), 1);
}

TEST_F(SettingsFileTest, ExtraTextTravelsBackIntoTheSavedFile) {
  std::wstring path = tree_.Path(L"extra.hbak");
  WriteUnicodeFile(path,
                   L"[Settings]\r\nversion=1\r\n[Folders]\r\n"
                   L"0=C:\\A<|>D:\\A<|>opaque<|>with separator\r\n");
  Load(path);
  EXPECT_EQ(Cell(0, kExtraTextColumn), L"opaque<|>with separator");
  ASSERT_TRUE(Save(path).complete);
  EXPECT_NE(FileText(path).find(L"0=C:\\A<|>D:\\A<|>opaque<|>with separator"), std::wstring::npos);
}

TEST_F(SettingsFileTest, Flag22LoadsAsSyncAndSavesBackAs20) {
  std::wstring path = tree_.Path(L"flag22.hbak");
  WriteUnicodeFile(path, L"[Settings]\r\nversion=1\r\nFlag=22\r\nSkipAttributes=6\r\n");
  EXPECT_EQ(Load(path), 22u);
  EXPECT_EQ(CheckedMode(), modes_.sync);
  EXPECT_TRUE(Checked(options_.updateMethod));
  EXPECT_FALSE(Enabled(options_.updateMethod));
  ASSERT_TRUE(Save(path).complete);
  EXPECT_NE(FileText(path).find(L"Flag=20"), std::wstring::npos);
}

// One row per "Flag" value: the mode shown and the update box's state.
struct FlagCase {
  uint32_t flag;
  int ModeButtons::*mode;
  bool updateChecked;
  bool updateEnabled;
  uint32_t savedFlag;
};

TEST_F(SettingsFileTest, FlagValuesSelectModeAndUpdateBox) {
  const FlagCase cases[] = {
      {0, &ModeButtons::common, false, true, 0},   {16, &ModeButtons::common, true, true, 16},
      {1, &ModeButtons::strict, false, true, 1},   {17, &ModeButtons::strict, true, true, 17},
      {2, &ModeButtons::restore, false, false, 2}, {18, &ModeButtons::restore, true, false, 18},
      {4, &ModeButtons::sync, true, false, 20},    {3, &ModeButtons::restore, false, false, 2},
      {7, &ModeButtons::sync, true, false, 20},    {20, &ModeButtons::sync, true, false, 20},
  };
  for (const FlagCase& c : cases) {
    SCOPED_TRACE("Flag=" + std::to_string(c.flag));
    std::wstring path = tree_.Path(L"flag" + std::to_wstring(c.flag) + L".hbak");
    WriteUnicodeFile(path, L"[Settings]\r\nversion=1\r\nFlag=" + std::to_wstring(c.flag) + L"\r\n");
    SetMode(modes_.strict, !c.updateChecked, true, true);
    Load(path);
    EXPECT_EQ(CheckedMode(), modes_.*c.mode);
    EXPECT_EQ(Checked(options_.updateMethod), c.updateChecked);
    EXPECT_EQ(Enabled(options_.updateMethod), c.updateEnabled);
    EXPECT_EQ(ModeFlagsFromControls(ui(), modes_, options_), c.savedFlag);
  }
}

TEST_F(SettingsFileTest, SkipAttributesZeroAfterSixUnchecksBoth) {
  std::wstring six = tree_.Path(L"six.hbak"), zero = tree_.Path(L"zero.hbak");
  WriteUnicodeFile(six, L"[Settings]\r\nversion=1\r\nSkipAttributes=6\r\n");
  WriteUnicodeFile(zero, L"[Settings]\r\nversion=1\r\nSkipAttributes=0\r\n");
  Load(six);
  EXPECT_TRUE(Checked(options_.skipSystem) && Checked(options_.skipHidden));
  uint32_t skip = 99;
  Load(zero, &skip);
  EXPECT_EQ(skip, 0u);
  EXPECT_FALSE(Checked(options_.skipSystem));
  EXPECT_FALSE(Checked(options_.skipHidden));
  EXPECT_EQ(SkipMaskFromControls(ui(), options_), 0u);
}

TEST_F(SettingsFileTest, RowWithEmptySourceIsSkippedAndKeysReloadAsConsecutiveRows) {
  AddRow(L"C:\\A", L"D:\\A", true);
  AddRow(L"C:\\B", L"D:\\B", true);
  AddRow(L"", L"D:\\Nothing", true);
  AddRow(L"C:\\D", L"D:\\D", false);
  std::wstring path = tree_.Path(L"gaps.hbak");
  SettingsSaveResult saved = Save(path);
  EXPECT_TRUE(saved.complete);
  EXPECT_EQ(saved.writes, 2 + 3);
  std::wstring text = FileText(path);
  EXPECT_NE(text.find(L"3=C:\\D<|>0D:\\D"), std::wstring::npos);
  EXPECT_EQ(text.find(L"2="), std::wstring::npos);
  Load(path);
  ASSERT_EQ(RowCount(), 3);
  EXPECT_EQ(Row(0), (PairRow{L"C:\\A", L"D:\\A", L"0", L"", true}));
  EXPECT_EQ(Row(1), (PairRow{L"C:\\B", L"D:\\B", L"1", L"", true}));
  EXPECT_EQ(Row(2), (PairRow{L"C:\\D", L"D:\\D", L"3", L"", false}));
}

TEST_F(SettingsFileTest, DestinationsBeginningWithMarkCharactersKeepThem) {
  AddRow(L"C:\\A", L"1abc", true);
  AddRow(L"C:\\B", L"0abc", true);
  AddRow(L"C:\\C", L"0abc", false);
  AddRow(L"C:\\D", L"1abc", false);
  std::wstring path = tree_.Path(L"marks.hbak");
  ASSERT_TRUE(Save(path).complete);
  std::wstring text = FileText(path);
  EXPECT_NE(text.find(L"0=C:\\A<|>11abc"), std::wstring::npos);
  EXPECT_NE(text.find(L"1=C:\\B<|>10abc"), std::wstring::npos);
  ClearRows();
  Load(path);
  ASSERT_EQ(RowCount(), 4);
  EXPECT_EQ(Row(0), (PairRow{L"C:\\A", L"1abc", L"0", L"", true}));
  EXPECT_EQ(Row(1), (PairRow{L"C:\\B", L"0abc", L"1", L"", true}));
  EXPECT_EQ(Row(2), (PairRow{L"C:\\C", L"0abc", L"2", L"", false}));
  EXPECT_EQ(Row(3), (PairRow{L"C:\\D", L"1abc", L"3", L"", false}));
}

TEST_F(SettingsFileTest, LineWithoutEqualsIsSkippedAndLaterPairsLoad) {
  std::wstring path = tree_.Path(L"malformed.hbak");
  WriteUnicodeFile(path,
                   L"[Settings]\r\nversion=1\r\n[Folders]\r\n0=C:\\A<|>D:\\A\r\n"
                   L"this line has no equals sign\r\n2=C:\\C<|>D:\\C\r\n3=C:\\D<|>0D:\\D\r\n");
  Load(path);
  ASSERT_EQ(RowCount(), 3);
  EXPECT_EQ(Cell(1, kSourceColumn), L"C:\\C");
  EXPECT_EQ(Cell(2, kSourceColumn), L"C:\\D");
  ASSERT_TRUE(Save(path).complete);
  Load(path);
  EXPECT_EQ(RowCount(), 3);
}

TEST_F(SettingsFileTest, SectionLongerThanThePlatformBufferLoadsWhole) {
  // 400 pairs of about 250 characters: far beyond 32,767 characters.
  std::wstring text = L"[Settings]\r\nversion=1\r\n[Folders]\r\n";
  for (int i = 0; i < 400; ++i)
    text += std::to_wstring(i) + L"=C:\\" + std::wstring(120, L's') + std::to_wstring(i) +
            L"<|>E:\\" + std::wstring(120, L'd') + std::to_wstring(i) + L"\r\n";
  ASSERT_GT(text.size(), 0x7FFFu * 3);
  std::wstring path = tree_.Path(L"long.hbak");
  WriteUnicodeFile(path, text);
  Load(path);
  ASSERT_EQ(RowCount(), 400);
  EXPECT_EQ(Cell(399, kSourceColumn), L"C:\\" + std::wstring(120, L's') + L"399");
  EXPECT_EQ(Cell(399, kDestinationColumn), L"E:\\" + std::wstring(120, L'd') + L"399");
  ASSERT_TRUE(Save(path).complete);
  Load(path);
  EXPECT_EQ(RowCount(), 400);
}

TEST_F(SettingsFileTest, AnsiFileReadsAndKeepsItsTextWhenSavedWithWiderPaths) {
  // Text of the system's 8-bit code page, as another tool writes it.
  std::wstring accented = L"C:\\Caf\u00e9";
  std::string ansi = ToCodePage(L"[Settings]\r\nversion=1\r\nFlag=1\r\n[Other]\r\nKey=" + accented +
                                L"\r\n[Folders]\r\n0=" + accented + L"<|>D:\\Backup\r\n");
  ASSERT_FALSE(ansi.empty()) << "the code page cannot hold the test text";
  std::wstring path = tree_.Path(L"ansi.hbak");
  tree_.WriteFile(L"ansi.hbak", ansi);
  EXPECT_EQ(Load(path), 1u);
  ASSERT_EQ(RowCount(), 1);
  EXPECT_EQ(Cell(0, kSourceColumn), accented);

  AddRow(L"C:\\Документы", L"E:\\写真", true);
  ASSERT_TRUE(Save(path).complete);
  ClearRows();
  Load(path);
  ASSERT_EQ(RowCount(), 2);
  EXPECT_EQ(Cell(0, kSourceColumn), accented);
  EXPECT_EQ(Cell(1, kSourceColumn), L"C:\\Документы");
  EXPECT_EQ(Cell(1, kDestinationColumn), L"E:\\写真");
  EXPECT_EQ(ProfileValue(path, L"Other", L"Key"), accented);
}

TEST_F(SettingsFileTest, ForeignKeysAndSectionsSurviveEverySave) {
  std::wstring path = tree_.Path(L"foreign.hbak");
  WriteUnicodeFile(path,
                   L"[History]\r\nLastSrcFolder=C:\\Src\r\nLastDstFolder=E:\\Dst\r\n"
                   L"[Settings]\r\nversion=1\r\nSkipStrictWarning=1\r\nTheme=dark\r\n"
                   L"[Folders]\r\n0=C:\\A<|>D:\\A\r\n[Plugins]\r\nftp=on\r\n");
  Load(path);
  AddRow(L"C:\\B", L"D:\\B", true);
  ASSERT_TRUE(Save(path).complete);
  ClearRows();
  ASSERT_TRUE(Save(path).complete);
  EXPECT_EQ(ProfileValue(path, L"History", L"LastSrcFolder"), L"C:\\Src");
  EXPECT_EQ(ProfileValue(path, L"History", L"LastDstFolder"), L"E:\\Dst");
  EXPECT_EQ(ProfileValue(path, L"Settings", L"SkipStrictWarning"), L"1");
  EXPECT_EQ(ProfileValue(path, L"Settings", L"Theme"), L"dark");
  EXPECT_EQ(ProfileValue(path, L"Plugins", L"ftp"), L"on");
  EXPECT_EQ(ProfileValue(path, L"Folders", L"0"), L"<absent>");
}

TEST_F(SettingsFileTest, SaveIntoFileThatCannotBeWrittenIsNotComplete) {
  std::wstring path = tree_.Path(L"blocked.hbak");
  WriteUnicodeFile(path, L"[Settings]\r\nversion=1\r\n[Folders]\r\n0=C:\\Keep<|>D:\\Keep\r\n");
  AddRow(L"C:\\A", L"D:\\A", true);
  SettingsSaveResult saved;
  {
    WriteBlock block(path);
    ASSERT_TRUE(block.Holds());
    saved = Save(path);
  }
  EXPECT_FALSE(saved.complete);
  EXPECT_EQ(saved.writes, 0);
  EXPECT_EQ(ProfileValue(path, L"Folders", L"0"), L"C:\\Keep<|>D:\\Keep");
}

TEST_F(SettingsFileTest, SaveIntoMissingFolderIsNotComplete) {
  AddRow(L"C:\\A", L"D:\\A", true);
  SettingsSaveResult saved = Save(tree_.Path(L"no such folder\\job.hbak"));
  EXPECT_FALSE(saved.complete);
  EXPECT_EQ(saved.writes, 0);
}

TEST_F(SettingsFileTest, SaveWithoutTheListWritesNothing) {
  std::wstring path = tree_.Path(L"nolist.hbak");
  WriteUnicodeFile(path, L"[Settings]\r\nversion=1\r\n[Folders]\r\n0=C:\\Keep<|>D:\\Keep\r\n");
  for (int notAList : {0, options_.skipHidden + 100, modes_.common}) {
    SettingsSaveResult saved = SaveSettingsFile(path.c_str(), ui(), notAList, modes_, options_);
    EXPECT_FALSE(saved.complete);
    EXPECT_EQ(saved.writes, 0);
  }
  EXPECT_EQ(ProfileValue(path, L"Folders", L"0"), L"C:\\Keep<|>D:\\Keep");
}

TEST_F(SettingsFileTest, RelativePathIsTheCurrentFolder) {
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(tree_.Root().c_str()));
  AddRow(L"C:\\A", L"D:\\A", true);
  SettingsSaveResult saved = Save(L"relative.hbak");
  ClearRows();
  Load(L"relative.hbak");
  SetCurrentDirectoryW(previous);
  EXPECT_TRUE(saved.complete);
  EXPECT_TRUE(IsFile(tree_.Path(L"relative.hbak")));
  EXPECT_EQ(RowCount(), 1);
}

}  // namespace

namespace {

// The section as the platform hands it over: every line and its terminator.
std::wstring SectionOfLength(size_t total, int& lines) {
  std::wstring section;
  lines = 0;
  size_t used = 0;
  const size_t line = 200;  // line length with its terminator
  while (total - used > 2 * line) {
    std::wstring key = std::to_wstring(lines++);
    std::wstring value =
        L"C:\\" + std::wstring(line - 1 - key.size() - 1 - 3 - 6, L'x') + L"<|>D:\\y";
    section += key + L"=" + value + L"\r\n";
    used += key.size() + 1 + value.size() + 1;
  }
  std::wstring key = std::to_wstring(lines++);
  size_t rest = total - used - key.size() - 1 - 1;  // key, "=", terminator
  section += key + L"=C:\\" + std::wstring(rest - 3 - 6, L'z') + L"<|>D:\\y\r\n";
  return section;
}

TEST_F(SettingsFileTest, SectionsAroundTheFirstBufferSizeLoadWhole) {
  for (size_t total : {0x7FFDu, 0x7FFEu, 0x7FFFu, 0x8000u, 0x8001u, 0x10000u}) {
    SCOPED_TRACE("section of " + std::to_string(total) + " characters");
    int lines = 0;
    std::wstring path = tree_.Path(L"edge" + std::to_wstring(total) + L".hbak");
    WriteUnicodeFile(path,
                     L"[Settings]\r\nversion=1\r\n[Folders]\r\n" + SectionOfLength(total, lines));
    Load(path);
    ASSERT_EQ(RowCount(), lines);
    EXPECT_EQ(Cell(lines - 1, kDestinationColumn), L"D:\\y");
    EXPECT_EQ(Cell(lines - 1, kItemIdColumn), std::to_wstring(lines - 1));
  }
}

TEST_F(SettingsFileTest, AnsiFileWithTextItCanHoldStaysAnsi) {
  std::string ansi =
      ToCodePage(L"[Settings]\r\nversion=1\r\n[Folders]\r\n0=C:\\Caf\u00e9<|>D:\\B\r\n");
  ASSERT_FALSE(ansi.empty());
  tree_.WriteFile(L"plain.hbak", ansi);
  std::wstring path = tree_.Path(L"plain.hbak");
  Load(path);
  AddRow(L"C:\\Second", L"D:\\Second", true);
  ASSERT_TRUE(Save(path).complete);
  EXPECT_NE(ReadWholeFile(path).substr(0, 2), std::string("\xFF\xFE"));
  ClearRows();
  Load(path);
  ASSERT_EQ(RowCount(), 2);
  EXPECT_EQ(Cell(0, kSourceColumn), L"C:\\Caf\u00e9");
  EXPECT_EQ(Cell(1, kSourceColumn), L"C:\\Second");
}

}  // namespace
