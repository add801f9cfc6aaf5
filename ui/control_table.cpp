// The control table: registration, lookup and removal of controls.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

#include "ui/ui_internal.h"

namespace {

constexpr int32_t kFirstTableSize = 512;
constexpr double kSmallestFontSize = 8.5;

// The windowed control made before this one on the same parent (menu entries
// have no window), or null.
const UiControl* PreviousSibling(const UiWindow& window, int index, HWND parent) {
  for (int i = index - 1; i >= 1; --i) {
    const UiControl& control = window.controls[i];
    if (control.index && control.handle && GetParent(control.handle) == parent) return &control;
  }
  return nullptr;
}

// A run of radio buttons is one group, and the control after it starts the
// next one: the dialog manager's arrow keys then move only among the radio
// buttons of one run, and never check one from a neighbouring control.
void StartGroupIfNeeded(const UiWindow& window, const UiControl& control) {
  const UiControl* previous = PreviousSibling(window, control.index, GetParent(control.handle));
  const bool isRadio = control.kind == ControlKind::RadioButton;
  const bool afterRadio = previous && previous->kind == ControlKind::RadioButton;
  if (isRadio == afterRadio) return;
  LONG style = GetWindowLongW(control.handle, GWL_STYLE);
  if (!(style & WS_GROUP)) SetWindowLongW(control.handle, GWL_STYLE, style | WS_GROUP);
}

bool IsOwnedButtonImage(const ImageButtonImages& record, HBITMAP bitmap) {
  for (HBITMAP image : record.images)
    if (image == bitmap) return true;
  return false;
}

}  // namespace

bool GrowControlTable(UiWindow& window) {
  if (!window.controls) {
    auto* table = static_cast<UiControl*>(calloc(kFirstTableSize, sizeof(UiControl)));
    if (!table) return false;
    window.controls = table;
    window.controlCapacity = kFirstTableSize;
    return true;
  }
  // Two spare slots: the new control's and slot 0, which is never used.
  if (window.controlCapacity - 2 >= window.controlCount) return true;
  int32_t capacity = window.controlCapacity * 2;
  auto* table = static_cast<UiControl*>(realloc(window.controls, capacity * sizeof(UiControl)));
  if (!table) return false;
  memset(table + window.controlCapacity, 0,
         (capacity - window.controlCapacity) * sizeof(UiControl));
  window.controls = table;
  window.controlCapacity = capacity;
  return true;
}

HFONT CreateControlFont(const UiFontSettings& settings, double size, int32_t weight) {
  if (size < 1) size = kSmallestFontSize;
  int height = -static_cast<int>(size * 96 / 72);
  return CreateFontW(height, 0, 0, 0, weight > 0 ? weight : FW_NORMAL, (settings.style & 2) != 0,
                     (settings.style & 4) != 0, (settings.style & 8) != 0, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     settings.quality ? settings.quality : CLEARTYPE_QUALITY, DEFAULT_PITCH,
                     settings.face);
}

bool UiWindow::IsValidControl(int index) const {
  return controls && index >= 1 && index <= controlCount && controls[index].index == index;
}

int UiWindow::ControlFromHandle(HWND window) const {
  if (!window || !controls) return 0;
  LONG_PTR id = GetWindowLongPtrW(window, GWLP_ID);
  if (id < 1 || id > controlCount) return 0;
  int index = static_cast<int>(id);
  return IsValidControl(index) && controls[index].handle == window ? index : 0;
}

ControlKind UiWindow::ControlKindOf(int index) const {
  if (index == -1) index = controlCount;
  return IsValidControl(index) ? controls[index].kind : ControlKind::None;
}

UiControl* UiWindow::Control(int index) {
  if (index == -1) index = controlCount;
  return IsValidControl(index) ? &controls[index] : nullptr;
}

HWND UiWindow::ControlHandle(int index) {
  UiControl* control = Control(index);
  return control ? control->handle : nullptr;
}

int UiWindow::RegisterControl(ControlKind kind, HWND window) {
  if (!GrowControlTable(*this)) return 0;
  int index = ++controlCount;
  UiControl& control = controls[index];
  memset(&control, 0, sizeof control);
  control.handle = window;
  control.kind = kind;
  control.index = index;
  if (window) {
    // Indices are window identifiers: a control made elsewhere takes its index.
    if (GetWindowLongPtrW(window, GWLP_ID) != index) SetWindowLongPtrW(window, GWLP_ID, index);
    if (newControlFont.size != 0) {
      control.font = CreateControlFont(newControlFont, newControlFont.size, newControlFont.weight);
      if (control.font) SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(control.font), 0);
    }
    StartGroupIfNeeded(*this, control);
  }
  control.flags = newControlFlags;
  if (kind == ControlKind::ProgressBar)
    control.flags = control.flags & ~LayoutFlags::KeepsOwnBackground;
  control.textColour = newControlTextColour < 0 ? static_cast<int32_t>(GetSysColor(COLOR_BTNTEXT))
                                                : newControlTextColour;
  control.backColour = newControlBackColour;
  if (window && newControlBackColour >= 0 && kind != ControlKind::ProgressBar)
    control.brush = CreateSolidBrush(static_cast<COLORREF>(newControlBackColour));
  return index;
}

void DetachControlImages(UiControl& control) {
  if (!control.handle || !IsWindow(control.handle)) return;
  switch (control.kind) {
    case ControlKind::ImageButton:
      SwapControlImage(control.handle, STM_SETIMAGE, IMAGE_BITMAP, nullptr, [&](HANDLE back) {
        return control.kindData.imageButton &&
               IsOwnedButtonImage(*control.kindData.imageButton, static_cast<HBITMAP>(back));
      });
      break;
    case ControlKind::BitmapImage:
      SwapControlImage(control.handle, STM_SETIMAGE, IMAGE_BITMAP, nullptr,
                       [&](HANDLE back) { return back == control.kindData.bitmap; });
      break;
    case ControlKind::IconImage:
      SwapControlImage(control.handle, STM_SETIMAGE, IMAGE_ICON, nullptr,
                       [&](HANDLE back) { return back == control.kindData.icon; });
      break;
    case ControlKind::PushButton: {
      // Nothing is set directly any more; a bitmap that someone did set is
      // the button's to lose.
      SwapControlImage(control.handle, BM_SETIMAGE, IMAGE_BITMAP, nullptr, KeepsNothing);
      BUTTON_IMAGELIST list{};
      if (SendMessageW(control.handle, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&list)) &&
          list.himl) {
        BUTTON_IMAGELIST none{};
        none.himl = nullptr;
        SendMessageW(control.handle, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&none));
        ImageList_Destroy(list.himl);
      }
      break;
    }
    default:
      break;
  }
}

void ReleaseKindData(UiControl& control) {
  switch (control.kind) {
    case ControlKind::ImageButton:
      if (ImageButtonImages* record = control.kindData.imageButton) {
        for (HBITMAP image : record->images)
          if (image) DeleteObject(image);
        delete record;
      }
      break;
    case ControlKind::IconImage:
      if (control.kindData.icon) DestroyIcon(control.kindData.icon);
      break;
    case ControlKind::BitmapImage:
    case ControlKind::MenuItem:
    case ControlKind::SubMenu:
      // A menu entry's bitmap is its own flattened copy of the caller's image.
      if (control.kindData.bitmap) DeleteObject(control.kindData.bitmap);
      break;
    default:
      break;
  }
  control.kindData.listOptions = 0;
}

void LowerControlCount(UiWindow& window) {
  while (window.controlCount > 0 && window.controls[window.controlCount].index == 0)
    --window.controlCount;
}

bool UiWindow::RemoveControl(int index) {
  UiControl* control = Control(index);
  if (!control) return false;
  index = control->index;

  DetachControlImages(*control);
  if (control->kind == ControlKind::SubMenu) {
    RemoveMenuTree(*this, *control);
    if (HMENU holder = MenuHolding(*this, index)) DeleteMenu(holder, index, MF_BYCOMMAND);
  } else if (control->kind == ControlKind::MenuItem) {
    if (control->menu) RemoveMenu(control->menu, index, MF_BYCOMMAND);
  } else if (control->handle) {
    if (tooltip) {
      TTTOOLINFOW tool{};
      tool.cbSize = sizeof tool;
      tool.hwnd = control->handle;
      tool.uId = reinterpret_cast<UINT_PTR>(control->handle);
      SendMessageW(tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    ShowWindow(control->handle, SW_HIDE);
    DropQueuedMessages(control->handle);
    DestroyWindow(control->handle);
    if (control->menu) RemoveMenuTree(*this, *control);
  }
  // The table may not have moved, but the slot is looked up again to be sure.
  control = &controls[index];
  if (control->font) DeleteObject(control->font);
  if (control->brush) DeleteObject(control->brush);
  ReleaseKindData(*control);
  memset(control, 0, sizeof *control);
  if (defaultButton == index) defaultButton = 0;
  if (hoveredControl == index) hoveredControl = 0;
  LowerControlCount(*this);
  return true;
}
