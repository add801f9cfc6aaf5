// Creation of the standard controls and the operations on them.
#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <cwchar>

#include "ui/drawing.h"
#include "ui/ui_internal.h"

namespace {

constexpr int kCheckBoxHeight = 18;
constexpr int kRadioButtonX = 30;
constexpr int kCheckBoxTextGap = 6;
constexpr int kEditX = 10;
constexpr int kEditWidth = 365;
constexpr int kEditHeight = 20;
constexpr int kImageEdge = 48;
constexpr int32_t kBoldWeight = 800;
constexpr wchar_t kControlFace[] = L"Arial";

RECT RectInParent(HWND control) {
  RECT area{};
  GetWindowRect(control, &area);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&area), 2);
  return area;
}

void StoreGeometry(UiControl& control, int x, int y, int width, int height) {
  control.x = x;
  control.y = y;
  control.width = width;
  control.height = height;
  SIZE parent = ClientSize(GetParent(control.handle));
  control.referenceWidth = parent.cx;
  control.referenceHeight = parent.cy;
}

void StoreRealGeometry(UiControl& control) {
  RECT area = RectInParent(control.handle);
  StoreGeometry(control, area.left, area.top, area.right - area.left, area.bottom - area.top);
}

// Adds "\n"-separated items to a combo box and selects the first.
bool FillComboBox(HWND combo, const wchar_t* items) {
  SplitList list(items, L"\n");
  for (int i = 0; i < list.Count(); ++i) {
    LRESULT added = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(list.Item(i)));
    if (added == CB_ERR || added == CB_ERRSPACE) return false;
  }
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  return true;
}

}  // namespace

bool UiWindow::SetDefaultButton(int index) {
  UiControl* next = index ? Control(index) : nullptr;
  if (index && (!next || next->kind != ControlKind::PushButton)) return false;
  if (next) index = next->index;
  if (defaultButton == index) return true;
  if (UiControl* previous = Control(defaultButton);
      previous && defaultButton > 0 && previous->kind == ControlKind::PushButton) {
    LONG style = GetWindowLongW(previous->handle, GWL_STYLE);
    SetWindowLongW(previous->handle, GWL_STYLE, style & ~BS_DEFPUSHBUTTON);
    InvalidateRect(previous->handle, nullptr, TRUE);
  }
  if (next) {
    LONG style = GetWindowLongW(next->handle, GWL_STYLE);
    SetWindowLongW(next->handle, GWL_STYLE, (style & ~BS_TYPEMASK) | BS_DEFPUSHBUTTON);
    InvalidateRect(next->handle, nullptr, TRUE);
  }
  defaultButton = index;
  return true;
}

int UiWindow::AddStatic(const wchar_t* text, int x, int y, int width, int height, DWORD style) {
  if (style == kDefaultStyle) style = WS_VISIBLE | SS_NOTIFY;
  return CreateChildControl(*this, ControlKind::StaticText, 0, L"Static", text, style, x, y, width,
                            height);
}

int UiWindow::AddButton(const wchar_t* text, int x, int y, int width, int height, DWORD style) {
  bool makesDefault = false;
  if (style == kDefaultStyle) {
    style = WS_VISIBLE | WS_TABSTOP;
  } else {
    makesDefault = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    style |= WS_TABSTOP;
  }
  int index = CreateChildControl(*this, ControlKind::PushButton, 0, L"Button", text, style, x, y,
                                 width, height);
  if (index && makesDefault) SetDefaultButton(index);
  return index;
}

int UiWindow::AddCheckBox(const wchar_t* text, int x, int y, int width) {
  return CreateChildControl(*this, ControlKind::CheckBox, 0, L"Button", text,
                            WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, x, y, width,
                            kCheckBoxHeight);
}

int UiWindow::AddRadioButton(const wchar_t* text, int y, int width) {
  return CreateChildControl(*this, ControlKind::RadioButton, 0, L"Button", text,
                            WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON, kRadioButtonX, y, width,
                            kCheckBoxHeight);
}

int UiWindow::AddComboBox(const wchar_t* items, int x, int y, int width, int height) {
  int index = CreateChildControl(*this, ControlKind::ComboBox, 0, L"ComboBox", nullptr,
                                 WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST, x, y, width, height);
  if (!index) return 0;
  UiControl& control = controls[index];
  StoreRealGeometry(control);
  if (items) FillComboBox(control.handle, items);
  return index;
}

int UiWindow::AddEdit(int y) {
  return CreateChildControl(*this, ControlKind::Edit, WS_EX_CLIENTEDGE, L"Edit", nullptr,
                            WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, kEditX, y, kEditWidth,
                            kEditHeight);
}

int UiWindow::AddProgressBar(int x, int y, int width, int height, int maximum, DWORD style) {
  int index = CreateChildControl(*this, ControlKind::ProgressBar, 0, PROGRESS_CLASSW, nullptr,
                                 WS_VISIBLE | style, x, y, width, height);
  if (!index) return 0;
  SendMessageW(controls[index].handle, PBM_SETRANGE32, 0, maximum);
  SendMessageW(controls[index].handle, PBM_SETPOS, 0, 0);
  return index;
}

int UiWindow::AddIconImage(HICON icon) {
  int index = CreateChildControl(*this, ControlKind::IconImage, 0, L"Static", nullptr,
                                 WS_VISIBLE | SS_ICON | SS_REALSIZECONTROL | SS_NOTIFY, 6, 6,
                                 kImageEdge, kImageEdge);
  if (!index || !icon) return index;
  UiControl& control = controls[index];
  control.kindData.icon = static_cast<HICON>(CopyImage(icon, IMAGE_ICON, 0, 0, 0));
  if (control.kindData.icon)
    SendMessageW(control.handle, STM_SETIMAGE, IMAGE_ICON,
                 reinterpret_cast<LPARAM>(control.kindData.icon));
  return index;
}

int UiWindow::AddBitmapImage(HBITMAP bitmap) {
  int index = CreateChildControl(*this, ControlKind::BitmapImage, 0, L"Static", nullptr,
                                 WS_VISIBLE | SS_BITMAP | SS_REALSIZECONTROL | SS_NOTIFY, 10, 10,
                                 kImageEdge, kImageEdge);
  if (!index || !bitmap) return index;
  UiControl& control = controls[index];
  // A section keeps the alpha channel of the program's 32-bit images.
  control.kindData.bitmap =
      static_cast<HBITMAP>(CopyImage(bitmap, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (control.kindData.bitmap)
    SendMessageW(control.handle, STM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(control.kindData.bitmap));
  return index;
}

int CreateChildControl(UiWindow& window, ControlKind kind, DWORD exStyle, const wchar_t* className,
                       const wchar_t* caption, DWORD style, int x, int y, int width, int height) {
  if (!window.handle || !GrowControlTable(window)) return 0;
  auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(window.controlCount + 1));
  HWND control = CreateWindowExW(exStyle, className, caption, style | WS_CHILD, x, y, width, height,
                                 window.newControlParent, id, window.instance, nullptr);
  if (!control) return 0;
  int index = window.RegisterControl(kind, control);
  if (!index) {
    DestroyWindow(control);
    return 0;
  }
  StoreGeometry(window.controls[index], x, y, width, height);
  return index;
}

bool UiWindow::SetControlState(int index, uint32_t flags) {
  UiControl* control = Control(index);
  if (!control) return false;
  if (IsMenuEntry(*control)) return SetMenuEntryState(*this, control->index, flags);
  HWND window = control->handle;
  if (flags & kStateHide)
    ShowWindow(window, SW_HIDE);
  else if (flags & kStateShow)
    ShowWindow(window, SW_SHOW);
  if (flags & kStateCheck)
    SendMessageW(window, BM_SETCHECK, BST_CHECKED, 0);
  else if (flags & kStateUncheck)
    SendMessageW(window, BM_SETCHECK, BST_UNCHECKED, 0);
  else if (flags & kStateIndeterminate)
    SendMessageW(window, BM_SETCHECK, BST_INDETERMINATE, 0);
  if (flags & kStateEnable)
    EnableWindow(window, TRUE);
  else if (flags & kStateDisable)
    EnableWindow(window, FALSE);
  if (flags & kStateFocus)
    SetFocus(window);
  else if (flags & kStateFocusWindow)
    SetFocus(handle);
  return true;
}

int UiWindow::GetCheckState(int index) {
  UiControl* control = Control(index);
  if (!control) return 0;
  if (IsMenuEntry(*control)) {
    HMENU menu = MenuHolding(*this, control->index);
    UINT state = menu ? GetMenuState(menu, control->index, MF_BYCOMMAND) : 0xFFFFFFFF;
    return state != 0xFFFFFFFF && (state & MF_CHECKED) ? static_cast<int>(kStateCheck) : 0;
  }
  if (control->kind != ControlKind::CheckBox && control->kind != ControlKind::RadioButton) return 0;
  return SendMessageW(control->handle, BM_GETCHECK, 0, 0) == BST_CHECKED
             ? static_cast<int>(kStateCheck)
             : 0;
}

bool UiWindow::SetControlText(int index, const wchar_t* newText) {
  UiControl* control = Control(index);
  if (!control) return false;
  if (control->kind == ControlKind::ComboBox) {
    SendMessageW(control->handle, CB_RESETCONTENT, 0, 0);
    if (!newText || !*newText) {
      SendMessageW(control->handle, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
      return true;
    }
    return FillComboBox(control->handle, newText);
  }
  if (IsMenuEntry(*control)) {
    HMENU menu = MenuHolding(*this, control->index);
    if (!menu) return false;
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STRING;
    item.dwTypeData = const_cast<wchar_t*>(newText ? newText : L"");
    return SetMenuItemInfoW(menu, control->index, FALSE, &item) != FALSE;
  }
  if (!SendMessageW(control->handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(newText)))
    return false;
  // A transparent label only repaints cleanly over a freshly erased background.
  InvalidateInParent(control->handle);
  return true;
}

WideString UiWindow::GetControlText(int index) {
  WideString result;
  UiControl* control = Control(index);
  if (!control) return result;
  if (IsMenuEntry(*control)) {
    HMENU menu = MenuHolding(*this, control->index);
    int length = menu ? GetMenuStringW(menu, control->index, nullptr, 0, MF_BYCOMMAND) : 0;
    wchar_t* buffer = result.AssignN(length > 0 ? length : 0, nullptr);
    if (buffer && length > 0)
      GetMenuStringW(menu, control->index, buffer, length + 1, MF_BYCOMMAND);
    return result;
  }
  LRESULT length = SendMessageW(control->handle, WM_GETTEXTLENGTH, 0, 0);
  if (length < 0) length = 0;
  wchar_t* buffer = result.AssignN(static_cast<int32_t>(length), nullptr);
  if (buffer && length > 0)
    SendMessageW(control->handle, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(buffer));
  return result;
}

bool UiWindow::SetControlTextColour(int index, int32_t colour) {
  UiControl* control = Control(index);
  if (!control) return false;
  control->textColour = colour;
  if (control->kind == ControlKind::ProgressBar)
    SendMessageW(control->handle, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(colour));
  if (control->handle)
    RedrawWindow(
        control->handle, nullptr, nullptr,
        RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_ERASENOW | RDW_FRAME);
  return true;
}

bool UiWindow::SetControlCursor(int index, HCURSOR cursor) {
  UiControl* control = Control(index);
  if (!control) return false;
  control->cursor = cursor;
  return true;
}

void UiWindow::SetFontForNewControls(double size, int32_t weight, uint8_t style) {
  newControlFont.size = size;
  newControlFont.weight = weight;
  newControlFont.style = style;
  newControlFont.quality = 0;
  wcscpy(newControlFont.face, kControlFace);
}

bool UiWindow::SetLastControlFontSize(double size) {
  UiControl* control = Control(-1);
  if (!control || !control->handle) return false;
  HFONT font = CreateControlFont(newControlFont, size, kBoldWeight);
  if (!font) return false;
  SendMessageW(control->handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  if (control->font) DeleteObject(control->font);
  control->font = font;
  return true;
}

bool UiWindow::SetControlBounds(int index, int x, int y, int width, int height) {
  UiControl* control = Control(index);
  if (!control || !control->handle) return false;
  StoreGeometry(*control, x, y, width, height);
  return SetWindowPos(control->handle, nullptr, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

int UiWindow::TextWidthOf(int index) {
  UiControl* control = Control(index);
  if (!control || !control->handle) return 0;
  WideString shown = GetControlText(index);
  if (!shown.CStr()) return 0;
  HDC dc = GetDC(control->handle);
  if (!dc) return 0;
  HGDIOBJ before =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control->handle, WM_GETFONT, 0, 0)));
  RECT box{0, 0, 0, 0};
  // Measured as the control draws it: "&" marks a mnemonic and takes no room.
  DrawTextW(dc, shown.CStr(), -1, &box, DT_CALCRECT | DT_SINGLELINE);
  SelectObject(dc, before);
  ReleaseDC(control->handle, dc);
  return box.right - box.left;
}

bool UiWindow::WidenToText(int index) {
  UiControl* control = Control(index);
  if (!control || !control->handle) return false;
  const int text = TextWidthOf(index);
  if (text <= 0) return false;
  // The box and the gap the button class leaves between box and text.
  const int needed =
      text + GetSystemMetrics(SM_CXMENUCHECK) + 2 * GetSystemMetrics(SM_CXEDGE) + kCheckBoxTextGap;
  if (control->width >= needed) return true;
  return SetControlBounds(index, control->x, control->y, needed, control->height);
}

bool UiWindow::CaptureLastControlGeometry() {
  UiControl* control = Control(-1);
  if (!control || !control->handle) return false;
  control->flags = LayoutFlags::KeepsOwnBackground;
  StoreRealGeometry(*control);
  return true;
}

LRESULT UiWindow::SendToControl(int index, UINT message, WPARAM wParam, LPARAM lParam) {
  UiControl* control = Control(index);
  if (!control || !control->handle) return 0;
  return SendMessageW(control->handle, message, wParam, lParam);
}

bool UiWindow::AddTooltip(int index, const wchar_t* tip) {
  UiControl* control = Control(index);
  if (!control || !control->handle) return false;
  if (!tooltip) {
    tooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle,
                              nullptr, instance, nullptr);
    if (!tooltip) return false;
    SetWindowPos(tooltip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  // Long tips are broken at their own line breaks only.
  SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, 100000);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = control->handle;
  tool.uId = reinterpret_cast<UINT_PTR>(control->handle);
  tool.hinst = instance;
  tool.lpszText = const_cast<wchar_t*>(tip);
  return SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) == 1;
}
