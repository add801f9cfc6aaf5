#include "ui/list_view.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "tests/support/window_harness.h"
#include "ui/ui_window.h"

namespace {

constexpr wchar_t kPairTitles[] =
    L"  Backup source folder\n  Destination folder\n  Item ID\n  FTP encrypted info";

int Compare(const wchar_t* a, const wchar_t* b) {
  std::wstring first(a), second(b);
  return CompareCellTexts(first.data(), second.data());
}

class ListViewTest : public testing::Test {
 protected:
  void SetUp() override {
    list_ = ui().AddListView(kPairTitles, 15, 65, 620, 130);
    ASSERT_NE(list_, 0);
    DrainEvents(ui());
  }

  UiWindow& ui() { return window_.ui; }
  HWND List() { return ui().ControlHandle(list_); }

  int AddRow(const std::wstring& source, const std::wstring& destination = L"") {
    int row = ui().AddListRow(list_, source.c_str());
    LVITEMW cell{};
    cell.iSubItem = 1;
    cell.pszText = const_cast<wchar_t*>(destination.c_str());
    ui().SendToControl(list_, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
    return row;
  }

  std::wstring Cell(int row, int column) {
    WideString text = ui().GetRowText(list_, row, column);
    return text.buf ? std::wstring(text.CStr()) : L"<null>";
  }

  std::vector<std::wstring> Column(int column) {
    std::vector<std::wstring> cells;
    int rows = static_cast<int>(ui().SendToControl(list_, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) cells.push_back(Cell(row, column));
    return cells;
  }

  UINT State(int row, UINT mask) {
    return static_cast<UINT>(ui().SendToControl(list_, LVM_GETITEMSTATE, row, mask));
  }

  int SortFormat(int column) {
    HWND header = reinterpret_cast<HWND>(ui().SendToControl(list_, LVM_GETHEADER, 0, 0));
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item));
    return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
  }

  void ClickHeader(int column) {
    NMLISTVIEW click{};
    click.hdr.hwndFrom = List();
    click.hdr.idFrom = static_cast<UINT_PTR>(list_);
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    SendMessageW(ui().handle, WM_NOTIFY, list_, reinterpret_cast<LPARAM>(&click));
  }

  // An item-changed notification as the list sends it.
  void Changed(int row, UINT oldState, UINT newState) {
    NMLISTVIEW change{};
    change.hdr.hwndFrom = List();
    change.hdr.idFrom = static_cast<UINT_PTR>(list_);
    change.hdr.code = LVN_ITEMCHANGED;
    change.iItem = row;
    change.uChanged = LVIF_STATE;
    change.uOldState = oldState;
    change.uNewState = newState;
    SendMessageW(ui().handle, WM_NOTIFY, list_, reinterpret_cast<LPARAM>(&change));
  }

  // The event the last call raised (code 0 when none); earlier ones are dropped.
  UiEvent Raised() { return TakeLastRaised(ui()); }

  TestWindow window_{650, 300};
  int list_ = 0;
};

}  // namespace

TEST(CompareCellTexts, SizesCompareByTheirValue) {
  EXPECT_LT(Compare(L"2 KB", L"1 MB"), 0);
  EXPECT_LT(Compare(L"900 GB", L"1 TB"), 0);
  EXPECT_GT(Compare(L"1025 B", L"1 KB"), 0);
  EXPECT_LT(Compare(L"9", L"10"), 0);
  EXPECT_EQ(Compare(L"1,5 MB", L"1.5 MB"), 0);
  // Equal values fall through to the text comparison.
  EXPECT_GT(Compare(L"1536 KB", L"1.5 MB"), 0);
  // Lower-case units are no size suffix: the values differ.
  EXPECT_LT(Compare(L"2 kb", L"1 MB"), 0);
  EXPECT_LT(Compare(L"2 kb", L"1 KB"), 0);
}

TEST(CompareCellTexts, OtherTextsCompareWithoutCaseShorterFirst) {
  EXPECT_EQ(Compare(L"C:\\Data", L"c:\\data"), 0);
  EXPECT_LT(Compare(L"C:\\Data", L"C:\\Data2"), 0);
  EXPECT_GT(Compare(L"b", L"A"), 0);
  EXPECT_LT(Compare(L"1 MB", L"a"), 0);  // only one starts with a digit: text order
  EXPECT_LT(Compare(L"", L"a"), 0);
}

TEST_F(ListViewTest, FourTitlesGiveFourLeftAlignedColumnsOf150) {
  for (int column = 0; column < 4; ++column) {
    LVCOLUMNW info{};
    wchar_t title[64] = {};
    info.mask = LVCF_WIDTH | LVCF_FMT | LVCF_TEXT;
    info.pszText = title;
    info.cchTextMax = 64;
    ASSERT_TRUE(ui().SendToControl(list_, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&info)));
    EXPECT_EQ(info.cx, 150);
    EXPECT_EQ(info.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
  }
  LVCOLUMNW first{};
  wchar_t title[64] = {};
  first.mask = LVCF_TEXT;
  first.pszText = title;
  first.cchTextMax = 64;
  ui().SendToControl(list_, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&first));
  EXPECT_STREQ(title, L"  Backup source folder");
  DWORD styles = static_cast<DWORD>(ui().SendToControl(list_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  EXPECT_EQ(styles & (LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER),
            static_cast<DWORD>(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER));
  LONG style = GetWindowLongW(List(), GWL_STYLE);
  EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_TRUE(style & LVS_SINGLESEL);
  EXPECT_TRUE(style & LVS_SHOWSELALWAYS);
}

TEST_F(ListViewTest, RowsAppendAndReadBackWholeAndUnchecked) {
  EXPECT_EQ(AddRow(L"C:\\a", L"D:\\a"), 0);
  std::wstring longPath = L"C:\\" + std::wstring(6000, L'l');
  EXPECT_EQ(AddRow(longPath, L"D:\\b"), 1);
  EXPECT_EQ(Cell(1, 0), longPath);
  EXPECT_EQ(Cell(1, 1), L"D:\\b");
  EXPECT_EQ(Cell(0, 3), L"");
  EXPECT_EQ(State(0, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));
  EXPECT_TRUE(ui().SetRowChecked(list_, 0, true));
  EXPECT_EQ(State(0, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2));
  EXPECT_TRUE(ui().SetRowChecked(list_, 0, false));
  EXPECT_EQ(State(0, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = 0;
  item.lParam = 99;
  ui().SendToControl(list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_EQ(item.lParam, 0);
}

TEST_F(ListViewTest, HeaderClicksSortAscendingThenDescendingWithOneArrow) {
  for (const wchar_t* size : {L"1 MB", L"2 KB", L"1 TB", L"900 GB", L"1,5 MB"}) AddRow(L"x", size);
  ClickHeader(1);
  EXPECT_EQ(Column(1), (std::vector<std::wstring>{L"1 MB", L"2 KB", L"1 TB", L"900 GB", L"1,5 MB"}))
      << "sorting is off until it is switched on";
  ASSERT_TRUE(ui().SetListSortable(list_, true));
  ClickHeader(1);
  EXPECT_EQ(Column(1),
            (std::vector<std::wstring>{L"2 KB", L"1 MB", L"1,5 MB", L"900 GB", L"1 TB"}));
  EXPECT_EQ(SortFormat(1), HDF_SORTUP);
  EXPECT_EQ(SortFormat(0), 0);
  ClickHeader(1);
  EXPECT_EQ(Column(1),
            (std::vector<std::wstring>{L"1 TB", L"900 GB", L"1,5 MB", L"1 MB", L"2 KB"}));
  EXPECT_EQ(SortFormat(1), HDF_SORTDOWN);
  ClickHeader(0);
  EXPECT_EQ(SortFormat(0), HDF_SORTUP);
  EXPECT_EQ(SortFormat(1), 0);
  EXPECT_EQ(SortFormat(2), 0);
}

TEST_F(ListViewTest, SortByColumnAnswersTheDirectionAndFindsTheArrowColumn) {
  AddRow(L"b");
  AddRow(L"C");
  AddRow(L"a");
  EXPECT_EQ(SortByColumn(List(), 0), -1);
  EXPECT_EQ(Column(0), (std::vector<std::wstring>{L"a", L"b", L"C"}));
  // A negative column means the one with the arrow.
  EXPECT_EQ(SortByColumn(List(), -1), 1);
  EXPECT_EQ(Column(0), (std::vector<std::wstring>{L"C", L"b", L"a"}));
  EXPECT_EQ(SortFormat(0), HDF_SORTDOWN);
}

// Under Wine the list's own sort hands the callback positions that move
// while it sorts: a list of a few dozen rows came out unsorted.
TEST_F(ListViewTest, ManyRowsSortWholeAndEachKeepsItsItemData) {
  for (int i = 0; i < 41; ++i) {
    const int row = AddRow(i % 2 ? L"version" : L"delete", std::to_wstring(i));
    LVITEMW data{};
    data.mask = LVIF_PARAM;
    data.iItem = row;
    data.lParam = 1000 + i;
    ui().SendToControl(list_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&data));
  }
  EXPECT_EQ(SortByColumn(List(), 0), -1);
  const std::vector<std::wstring> actions = Column(0), numbers = Column(1);
  EXPECT_TRUE(std::is_sorted(actions.begin(), actions.end()));
  for (int row = 0; row < 41; ++row) {
    LVITEMW data{};
    data.mask = LVIF_PARAM;
    data.iItem = row;
    ui().SendToControl(list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
    EXPECT_EQ(data.lParam, 1000 + std::stoi(numbers[static_cast<size_t>(row)])) << "row " << row;
  }
}

TEST_F(ListViewTest, SwapRowsMovesTextsCheckStateAndSelection) {
  std::wstring longSource = L"C:\\" + std::wstring(3000, L's');
  AddRow(longSource, L"D:\\first");
  AddRow(L"C:\\second", L"D:\\" + std::wstring(2000, L'd'));
  LVITEMW id{};
  id.iSubItem = 2;
  id.pszText = const_cast<wchar_t*>(L"7");
  ui().SendToControl(list_, LVM_SETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&id));
  ui().SetRowChecked(list_, 0, true);
  LVITEMW select{};
  select.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  select.state = LVIS_SELECTED | LVIS_FOCUSED;
  ui().SendToControl(list_, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));

  ASSERT_TRUE(SwapRows(List(), 0, 1));
  EXPECT_EQ(Cell(0, 0), L"C:\\second");
  EXPECT_EQ(Cell(0, 1), L"D:\\" + std::wstring(2000, L'd'));
  EXPECT_EQ(Cell(0, 2), L"");
  EXPECT_EQ(Cell(1, 0), longSource);
  EXPECT_EQ(Cell(1, 1), L"D:\\first");
  EXPECT_EQ(Cell(1, 2), L"7");
  EXPECT_EQ(State(1, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2));
  EXPECT_EQ(State(0, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));
  EXPECT_EQ(State(1, LVIS_SELECTED), static_cast<UINT>(LVIS_SELECTED));
  EXPECT_EQ(State(0, LVIS_SELECTED), 0u);
  EXPECT_EQ(ui().SendToControl(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1);

  // The same row twice changes nothing.
  EXPECT_TRUE(SwapRows(List(), 1, 1));
  EXPECT_EQ(Cell(1, 0), longSource);
  EXPECT_EQ(State(1, LVIS_SELECTED), static_cast<UINT>(LVIS_SELECTED));
}

TEST_F(ListViewTest, SwapRowsFailsWithoutColumnsOrRows) {
  int bare = ui().AddListView(L"", 10, 200, 100, 50);
  for (int column = 0; ui().SendToControl(bare, LVM_DELETECOLUMN, 0, 0); ++column) {
  }
  ui().AddListRow(bare, L"a");
  EXPECT_FALSE(SwapRows(ui().ControlHandle(bare), 0, 1));
  AddRow(L"only");
  EXPECT_FALSE(SwapRows(List(), 0, 5));
  EXPECT_EQ(Cell(0, 0), L"only");
}

TEST_F(ListViewTest, RealStateChangesRaiseTheirEvents) {
  int row = AddRow(L"C:\\a");
  EXPECT_TRUE(PumpAllEvents(ui()).empty()) << "a new row reports nothing";
  ui().SetRowChecked(list_, row, true);
  UiEvent checked = Raised();
  EXPECT_EQ(checked.code, UiEventCode::ItemChecked);
  EXPECT_EQ(checked.param1, list_);
  EXPECT_EQ(checked.param2, row);
  EXPECT_EQ(checked.message, static_cast<UINT>(WM_NOTIFY));
  ui().SetRowChecked(list_, row, false);
  EXPECT_EQ(Raised().code, UiEventCode::ItemUnchecked);
  LVITEMW select{};
  select.stateMask = LVIS_SELECTED;
  select.state = LVIS_SELECTED;
  ui().SendToControl(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&select));
  EXPECT_EQ(Raised().code, UiEventCode::ItemSelected);
  select.state = 0;
  ui().SendToControl(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&select));
  EXPECT_EQ(Raised().code, UiEventCode::ItemDeselected);
  ui().SendToControl(list_, LVM_DELETEITEM, row, 0);
  UiEvent deleted = Raised();
  EXPECT_EQ(deleted.code, UiEventCode::ItemDeleted);
  EXPECT_EQ(deleted.param1, list_);
  DrainEvents(ui());
}

TEST_F(ListViewTest, OneNotificationReportsOneChangeInTheListsOrder) {
  const UINT checked = INDEXTOSTATEIMAGEMASK(2), unchecked = INDEXTOSTATEIMAGEMASK(1);
  Changed(3, unchecked, checked | LVIS_SELECTED);
  UiEvent selected = Raised();
  EXPECT_EQ(selected.code, UiEventCode::ItemSelected);
  EXPECT_EQ(selected.param2, 3);
  Changed(3, checked | LVIS_SELECTED, unchecked);
  EXPECT_EQ(Raised().code, UiEventCode::ItemDeselected);
  Changed(3, unchecked | LVIS_FOCUSED, checked);
  EXPECT_EQ(Raised().code, UiEventCode::ItemFocusLost);
  Changed(3, unchecked | LVIS_FOCUSED, unchecked | LVIS_FOCUSED);
  EXPECT_EQ(Raised().code, 0);
  Changed(3, 0, unchecked);
  EXPECT_EQ(Raised().code, 0) << "the first state image of a new row";
  Changed(3, 0, checked);
  EXPECT_EQ(Raised().code, UiEventCode::ItemChecked);
  Changed(3, checked | LVIS_FOCUSED, unchecked | LVIS_FOCUSED);
  EXPECT_EQ(Raised().code, UiEventCode::ItemUnchecked);
}

TEST_F(ListViewTest, OtherNotificationsOfTheList) {
  NMHDR header{List(), static_cast<UINT_PTR>(list_), static_cast<UINT>(NM_DBLCLK)};
  SendMessageW(ui().handle, WM_NOTIFY, list_, reinterpret_cast<LPARAM>(&header));
  UiEvent doubleClick = Raised();
  EXPECT_EQ(doubleClick.code, UiEventCode::DoubleClicked);
  EXPECT_EQ(doubleClick.param1, list_);
  header.code = static_cast<UINT>(NM_RETURN);
  SendMessageW(ui().handle, WM_NOTIFY, list_, reinterpret_cast<LPARAM>(&header));
  EXPECT_EQ(Raised().code, UiEventCode::ReturnPressed);

  NMLVSCROLL scroll{};
  scroll.hdr = {List(), static_cast<UINT_PTR>(list_), static_cast<UINT>(LVN_BEGINSCROLL)};
  scroll.dx = 3;
  scroll.dy = -20;
  SendMessageW(ui().handle, WM_NOTIFY, list_, reinterpret_cast<LPARAM>(&scroll));
  UiEvent scrolled = Raised();
  EXPECT_EQ(scrolled.code, UiEventCode::ListScrollBegin);
  EXPECT_EQ(scrolled.param2, MAKELONG(3, -20));

  NMLVDISPINFOW edit{};
  edit.hdr = {List(), static_cast<UINT_PTR>(list_), static_cast<UINT>(LVN_ENDLABELEDITW)};
  edit.item.iItem = 2;
  edit.item.pszText = const_cast<wchar_t*>(L"renamed");
  EXPECT_EQ(SendMessageW(ui().handle, WM_NOTIFY, list_, reinterpret_cast<LPARAM>(&edit)), TRUE);
  UiEvent edited = Raised();
  EXPECT_EQ(edited.code, UiEventCode::ItemLabelEdited);
  EXPECT_EQ(edited.param2, 2);
  EXPECT_STREQ(edited.text.CStr(), L"renamed") << "the event's own text";

  NMLVCUSTOMDRAW draw{};
  draw.nmcd.hdr = {List(), static_cast<UINT_PTR>(list_), static_cast<UINT>(NM_CUSTOMDRAW)};
  draw.nmcd.dwDrawStage = CDDS_PREPAINT;
  EXPECT_EQ(SendMessageW(ui().handle, WM_NOTIFY, list_, reinterpret_cast<LPARAM>(&draw)),
            CDRF_NOTIFYITEMDRAW);
  draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
  EXPECT_EQ(SendMessageW(ui().handle, WM_NOTIFY, list_, reinterpret_cast<LPARAM>(&draw)),
            CDRF_DODEFAULT);
}

TEST_F(ListViewTest, ListIconIsOneSharedImage) {
  AddRow(L"a");
  HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
  ASSERT_TRUE(ui().SetListIcon(list_, icon));
  auto images =
      reinterpret_cast<HIMAGELIST>(ui().SendToControl(list_, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
  ASSERT_NE(images, nullptr);
  EXPECT_EQ(ImageList_GetImageCount(images), 1);
  int width = 0, height = 0;
  ImageList_GetIconSize(images, &width, &height);
  EXPECT_EQ(width, 16);
  EXPECT_TRUE(ui().SetListIcon(list_, LoadIconW(nullptr, IDI_WARNING)));
  EXPECT_EQ(ImageList_GetImageCount(images), 1);
  EXPECT_EQ(ui().SendToControl(list_, LVM_GETIMAGELIST, LVSIL_SMALL, 0),
            reinterpret_cast<LRESULT>(images));
}

TEST_F(ListViewTest, RowHelpersCountSelectCheckWriteAndDelete) {
  EXPECT_EQ(ui().ListRowCount(list_), 0);
  EXPECT_EQ(ui().SelectedRow(list_), -1);
  for (const wchar_t* source : {L"C:\\a", L"C:\\b", L"C:\\c"}) AddRow(source);
  EXPECT_EQ(ui().ListRowCount(list_), 3);
  EXPECT_TRUE(ui().SelectRow(list_, 2));
  EXPECT_EQ(ui().SelectedRow(list_), 2);
  EXPECT_TRUE(ui().SetRowChecked(list_, 1, true));
  EXPECT_TRUE(ui().IsRowChecked(list_, 1));
  EXPECT_FALSE(ui().IsRowChecked(list_, 0));
  EXPECT_TRUE(ui().SetRowText(list_, 1, 1, L"E:\\backup of b"));
  EXPECT_EQ(Cell(1, 1), L"E:\\backup of b");
  EXPECT_TRUE(ui().DeleteRow(list_, 0));
  EXPECT_EQ(ui().ListRowCount(list_), 2);
  EXPECT_EQ(Cell(0, 0), L"C:\\b");
  EXPECT_TRUE(ui().IsRowChecked(list_, 0)) << "the check box moved up with its row";
  EXPECT_EQ(ui().SelectedRow(list_), 1);
  EXPECT_TRUE(ui().SelectRow(list_, -1));
  EXPECT_EQ(ui().SelectedRow(list_), -1);
  EXPECT_FALSE(ui().DeleteRow(list_, 7));
  // Not a list: nothing, and answers that say so.
  const int label = ui().AddStatic(L"x", 0, 0, 5, 5);
  EXPECT_EQ(ui().ListRowCount(label), 0);
  EXPECT_EQ(ui().SelectedRow(label), -1);
  EXPECT_FALSE(ui().SetRowText(label, 0, 0, L"x"));
  DrainEvents(ui());
}
