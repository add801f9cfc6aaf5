// The report-style list with check boxes that holds the folder pairs: rows,
// reordering, sorting on header clicks and its notifications.
#include "ui/list_view.h"

#include <windows.h>

#include <commctrl.h>

#include <cwchar>
#include <cwctype>
#include <vector>

#include "ui/ui_internal.h"

namespace {

// Inserting at this position appends: it is past any real row count.
constexpr int kAppendRow = 20000000;
constexpr int kColumnsWidth = 600;
constexpr int kFirstTextBuffer = 4096;
constexpr int kListIconEdge = 16;
constexpr UINT kChecked = 2;

UINT StateImage(UINT state) { return (state & LVIS_STATEIMAGEMASK) >> 12; }

// Reads a row's item (or one cell's text when mask is LVIF_TEXT) with a text
// buffer grown until the whole text fits.
bool ReadItem(HWND list, LVITEMW& item, std::vector<wchar_t>& text) {
  if (text.size() < kFirstTextBuffer) text.resize(kFirstTextBuffer);
  for (;;) {
    text[0] = 0;
    item.pszText = text.data();
    item.cchTextMax = static_cast<int>(text.size());
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return false;
    // The list may hand back its own buffer instead of filling ours.
    if (item.pszText != text.data()) {
      size_t length = item.pszText ? wcslen(item.pszText) : 0;
      if (length + 1 > text.size()) text.resize(length + 1);
      if (length) wmemcpy(text.data(), item.pszText, length);
      text[length] = 0;
      item.pszText = text.data();
      return true;
    }
    size_t length = wcsnlen(text.data(), text.size());
    if (length + 1 < text.size()) return true;
    text.resize(text.size() * 2);
  }
}

bool ReadCell(HWND list, int row, int column, std::vector<wchar_t>& text) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.iSubItem = column;
  return ReadItem(list, item, text);
}

double SizeFactor(const wchar_t* text) {
  size_t length = wcslen(text);
  if (length <= 3 || text[length - 3] != L' ' || text[length - 1] != L'B') return 1;
  switch (text[length - 2]) {
    case L'K':
      return 1024.0;
    case L'M':
      return 1024.0 * 1024;
    case L'G':
      return 1024.0 * 1024 * 1024;
    case L'T':
      return 1024.0 * 1024 * 1024 * 1024;
  }
  return 1;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The texts of the sorted column, read before the sort: while the list
// sorts, the positions its callback names move under it (Wine hands out
// positions of an array it is rearranging), so the callback compares rows by
// a number of our own kept in each row's item data.
struct SortContext {
  std::vector<std::vector<wchar_t>> texts;  // by row number before the sort
  int direction;                            // +1 ascending, -1 descending
  std::vector<wchar_t> first;
  std::vector<wchar_t> second;
};

int CALLBACK CompareRows(LPARAM firstRow, LPARAM secondRow, LPARAM context) {
  auto& sort = *reinterpret_cast<SortContext*>(context);
  // Compared on copies: the comparison rewrites decimal commas in place.
  sort.first = sort.texts[static_cast<size_t>(firstRow)];
  sort.second = sort.texts[static_cast<size_t>(secondRow)];
  int result = CompareCellTexts(sort.first.data(), sort.second.data());
  if (sort.direction < 0) result = result < 1 ? 1 : -1;
  return result;
}

bool ItemData(HWND list, int row, LPARAM& data) {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return false;
  data = item.lParam;
  return true;
}

bool SetItemData(HWND list, int row, LPARAM data) {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  item.lParam = data;
  return SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != FALSE;
}

// Sorts by the column's texts; every row keeps its own item data.
bool SortRows(HWND list, int column, int direction) {
  const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  SortContext sort{std::vector<std::vector<wchar_t>>(static_cast<size_t>(rows)), direction, {}, {}};
  std::vector<LPARAM> kept(static_cast<size_t>(rows));
  std::vector<wchar_t> cell;
  bool sorted = true;
  int numbered = 0;
  for (; numbered < rows && sorted; ++numbered) {
    const size_t i = static_cast<size_t>(numbered);
    sorted = ReadCell(list, numbered, column, cell) && ItemData(list, numbered, kept[i]) &&
             SetItemData(list, numbered, numbered);
    // A preview lists every item of a run: keep each text at its own length.
    if (sorted) sort.texts[i].assign(cell.data(), cell.data() + wcslen(cell.data()) + 1);
  }
  if (sorted)
    sorted = SendMessageW(list, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&sort),
                          reinterpret_cast<LPARAM>(CompareRows)) != FALSE;
  // Each row gets its own data back, wherever it went.
  for (int row = 0; row < numbered; ++row) {
    LPARAM number = 0;
    if (ItemData(list, row, number) && number >= 0 && number < numbered)
      SetItemData(list, row, kept[static_cast<size_t>(number)]);
  }
  return sorted;
}

HWND ListHandle(UiWindow& window, int index) {
  UiControl* control = window.Control(index);
  return control && control->kind == ControlKind::ListView ? control->handle : nullptr;
}

HWND HeaderOf(HWND list) { return reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)); }

int HeaderFormat(HWND header, int column) {
  HDITEMW item{};
  item.mask = HDI_FORMAT;
  if (!SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item))) return 0;
  return item.fmt;
}

}  // namespace

int CompareCellTexts(wchar_t* a, wchar_t* b) {
  if (IsDigit(a[0]) && IsDigit(b[0])) {
    for (wchar_t* c = a; *c; ++c)
      if (*c == L',') *c = L'.';
    for (wchar_t* c = b; *c; ++c)
      if (*c == L',') *c = L'.';
    double first = wcstod(a, nullptr) * SizeFactor(a);
    double second = wcstod(b, nullptr) * SizeFactor(b);
    if (first > second) return 1;
    if (first < second) return -1;
  }
  for (;; ++a, ++b) {
    auto x = static_cast<uint16_t>(towlower(*a));
    auto y = static_cast<uint16_t>(towlower(*b));
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
}

bool SwapRows(HWND list, int first, int second) {
  if (first == second) return true;
  int columns = static_cast<int>(SendMessageW(HeaderOf(list), HDM_GETITEMCOUNT, 0, 0));
  if (columns <= 0) return false;
  std::vector<wchar_t> firstText, secondText;
  LVITEMW items[2] = {};
  for (LVITEMW& item : items) {
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE | LVIF_INDENT | LVIF_GROUPID;
    item.stateMask = static_cast<UINT>(-1);
  }
  items[0].iItem = first;
  items[1].iItem = second;
  if (!ReadItem(list, items[0], firstText) || !ReadItem(list, items[1], secondText)) return false;
  items[0].iItem = second;
  items[1].iItem = first;
  // The second row's record goes first: in a single-selection list, writing
  // the selected row first would make the list drop that selection again.
  bool swapped = SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&items[1])) &&
                 SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&items[0]));
  if (swapped) {
    for (int column = 1; column < columns; ++column) {
      if (!ReadCell(list, first, column, firstText) ||
          !ReadCell(list, second, column, secondText)) {
        swapped = false;
        continue;
      }
      LVITEMW cell{};
      cell.iSubItem = column;
      cell.pszText = secondText.data();
      bool wrote = SendMessageW(list, LVM_SETITEMTEXTW, first, reinterpret_cast<LPARAM>(&cell));
      cell.pszText = firstText.data();
      wrote =
          SendMessageW(list, LVM_SETITEMTEXTW, second, reinterpret_cast<LPARAM>(&cell)) && wrote;
      if (!wrote) swapped = false;
    }
  }
  SendMessageW(list, LVM_UPDATE, first, 0);
  SendMessageW(list, LVM_UPDATE, second, 0);
  return swapped;
}

void ClearSortArrows(HWND list) {
  HWND header = HeaderOf(list);
  const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < columns; ++i) {
    const int format = HeaderFormat(header, i);
    if (!(format & (HDF_SORTUP | HDF_SORTDOWN))) continue;
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    item.fmt = format & ~(HDF_SORTUP | HDF_SORTDOWN);
    SendMessageW(header, HDM_SETITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
}

int SortByColumn(HWND list, int column) {
  if (SendMessageW(list, CCM_GETVERSION, 0, 0) < 6 &&
      SendMessageW(list, LVM_ISGROUPVIEWENABLED, 0, 0))
    return 0;
  HWND header = HeaderOf(list);
  int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  if (column < 0) {
    column = 0;
    for (int i = 0; i < columns; ++i)
      if (HeaderFormat(header, i) & (HDF_SORTUP | HDF_SORTDOWN)) {
        column = i;
        break;
      }
  }
  const int direction = (HeaderFormat(header, column) & HDF_SORTUP) ? -1 : 1;
  if (!SortRows(list, column, direction)) return 0;
  for (int i = 0; i < columns; ++i) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    item.fmt = HeaderFormat(header, i) & ~(HDF_SORTUP | HDF_SORTDOWN);
    if (i == column) item.fmt |= direction < 0 ? HDF_SORTDOWN : HDF_SORTUP;
    SendMessageW(header, HDM_SETITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  return direction < 0 ? 1 : -1;
}

int UiWindow::AddListView(const wchar_t* columnTitles, int x, int y, int width, int height) {
  int index = CreateChildControl(
      *this, ControlKind::ListView, 0, WC_LISTVIEWW, nullptr,
      WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, x, y,
      width, height);
  if (!index) return 0;
  HWND list = controls[index].handle;
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  SplitList titles(columnTitles ? columnTitles : L"", L"\n");
  int count = titles.Count();
  for (int i = 0; i < count; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    column.cx = kColumnsWidth / count;
    column.pszText = const_cast<wchar_t*>(titles.Item(i));
    SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
  return index;
}

int UiWindow::AddListRow(int index, const wchar_t* rowText) {
  UiControl* control = Control(index);
  if (!control || control->kind != ControlKind::ListView) return -1;
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = kAppendRow;
  item.pszText = const_cast<wchar_t*>(rowText ? rowText : L"");
  item.lParam = 0;
  return static_cast<int>(
      SendMessageW(control->handle, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

bool UiWindow::SetRowChecked(int index, int row, bool checked) {
  UiControl* control = Control(index);
  if (!control || control->kind != ControlKind::ListView) return false;
  LVITEMW item{};
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = INDEXTOSTATEIMAGEMASK(checked ? kChecked : 1);
  return SendMessageW(control->handle, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item)) != 0;
}

WideString UiWindow::GetRowText(int index, int row, int column) {
  WideString result;
  UiControl* control = Control(index);
  if (!control || control->kind != ControlKind::ListView) return result;
  std::vector<wchar_t> text;
  if (!ReadCell(control->handle, row, column, text)) text.assign(1, 0);
  result.Assign(text.data());
  return result;
}

bool UiWindow::IsRowChecked(int index, int row) {
  HWND list = ListHandle(*this, index);
  if (!list) return false;
  auto state = static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
  return StateImage(state) == kChecked;
}

bool UiWindow::SetRowText(int index, int row, int column, const wchar_t* cellText) {
  HWND list = ListHandle(*this, index);
  if (!list) return false;
  LVITEMW cell{};
  cell.iSubItem = column;
  cell.pszText = const_cast<wchar_t*>(cellText ? cellText : L"");
  return SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell)) != 0;
}

bool UiWindow::DeleteRow(int index, int row) {
  HWND list = ListHandle(*this, index);
  return list && SendMessageW(list, LVM_DELETEITEM, row, 0) != 0;
}

int UiWindow::ListRowCount(int index) {
  HWND list = ListHandle(*this, index);
  return list ? static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

int UiWindow::SelectedRow(int index) {
  HWND list = ListHandle(*this, index);
  if (!list) return -1;
  return static_cast<int>(
      SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

bool UiWindow::SelectRow(int index, int row) {
  HWND list = ListHandle(*this, index);
  if (!list) return false;
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  if (row < 0) {
    // Row -1 stands for every row.
    item.stateMask = LVIS_SELECTED;
    return SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(&item)) != 0;
  }
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  if (!SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item))) return false;
  SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
  return true;
}

bool UiWindow::SetListSortable(int index, bool on) {
  UiControl* control = Control(index);
  if (!control || control->kind != ControlKind::ListView) return false;
  if (on)
    control->kindData.listOptions |= kListSortsOnHeaderClick;
  else
    control->kindData.listOptions &= ~kListSortsOnHeaderClick;
  return true;
}

bool UiWindow::SetListIcon(int index, HICON icon) {
  UiControl* control = Control(index);
  if (!control || control->kind != ControlKind::ListView || !icon) return false;
  auto images =
      reinterpret_cast<HIMAGELIST>(SendMessageW(control->handle, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
  if (!images) {
    // The list destroys its image lists with itself.
    images = ImageList_Create(kListIconEdge, kListIconEdge, ILC_COLOR32 | ILC_MASK, 5, 3);
    if (!images) return false;
    SendMessageW(control->handle, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
  }
  int slot = ImageList_GetImageCount(images) == 0 ? -1 : 0;
  return ImageList_ReplaceIcon(images, slot, icon) >= 0;
}

bool HandleListNotify(UiWindow& window, int index, NMHDR* header, LRESULT& answer) {
  answer = 0;
  switch (header->code) {
    case LVN_ITEMCHANGED: {
      auto* change = reinterpret_cast<NMLISTVIEW*>(header);
      if (!(change->uChanged & LVIF_STATE)) break;
      UINT before = change->uOldState, after = change->uNewState;
      UiEventCode code = UiEventCode::None;
      if ((before ^ after) & LVIS_SELECTED)
        code = (after & LVIS_SELECTED) ? UiEventCode::ItemSelected : UiEventCode::ItemDeselected;
      else if ((before & LVIS_FOCUSED) && !(after & LVIS_FOCUSED))
        code = UiEventCode::ItemFocusLost;
      else if (StateImage(before) != kChecked && StateImage(after) == kChecked)
        code = UiEventCode::ItemChecked;
      else if (StateImage(before) == kChecked && StateImage(after) != kChecked)
        code = UiEventCode::ItemUnchecked;
      if (code != UiEventCode::None)
        window.RaiseEvent(code, WM_NOTIFY, window.handle, index, change->iItem);
      break;
    }
    case LVN_DELETEITEM:
      window.RaiseEvent(UiEventCode::ItemDeleted, WM_NOTIFY, window.handle, index, 0);
      break;
    case LVN_BEGINSCROLL:
    case LVN_ENDSCROLL: {
      auto* scroll = reinterpret_cast<NMLVSCROLL*>(header);
      window.RaiseEvent(header->code == LVN_BEGINSCROLL ? UiEventCode::ListScrollBegin
                                                        : UiEventCode::ListScrollEnd,
                        WM_NOTIFY, window.handle, index, MAKELONG(scroll->dx, scroll->dy));
      break;
    }
    case LVN_ENDLABELEDITW: {
      auto* edit = reinterpret_cast<NMLVDISPINFOW*>(header);
      window.RaiseEvent(UiEventCode::ItemLabelEdited, WM_NOTIFY, window.handle, index,
                        edit->item.iItem, edit->item.pszText ? edit->item.pszText : L"");
      // A label that was really edited keeps its new text.
      answer = edit->item.pszText != nullptr;
      break;
    }
    case LVN_KEYDOWN: {
      auto* key = reinterpret_cast<NMLVKEYDOWN*>(header);
      window.RaiseEvent(UiEventCode::ListKeyDown, WM_NOTIFY, window.handle, index, key->wVKey);
      break;
    }
    case LVN_COLUMNCLICK: {
      auto* click = reinterpret_cast<NMLISTVIEW*>(header);
      if (window.controls[index].kindData.listOptions & kListSortsOnHeaderClick)
        SortByColumn(header->hwndFrom, click->iSubItem);
      break;
    }
    case NM_CUSTOMDRAW: {
      auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
      if (draw->nmcd.dwDrawStage == CDDS_PREPAINT)
        answer = CDRF_NOTIFYITEMDRAW;
      else
        answer = CDRF_DODEFAULT;
      break;
    }
  }
  return true;
}
