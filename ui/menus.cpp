// Menu entries in the control table: the window menu, popups attached to
// controls, their items and submenus.
#include <windows.h>

#include <cstring>

#include "ui/drawing.h"
#include "ui/graphics_holders.h"
#include "ui/ui_internal.h"

namespace {

bool HoldsCommand(HMENU menu, int command) {
  return menu && GetMenuState(menu, command, MF_BYCOMMAND) != 0xFFFFFFFF;
}

}  // namespace

bool IsMenuEntry(const UiControl& control) {
  return control.kind == ControlKind::SubMenu || control.kind == ControlKind::MenuItem;
}

HMENU MenuHolding(UiWindow& window, int index) {
  UiControl* entry = window.Control(index);
  if (!entry) return nullptr;
  if (entry->kind == ControlKind::MenuItem) return entry->menu;
  // A submenu's own menu is not where its item lives: search the top menus,
  // whose by-command lookups reach every level below them.
  if (HoldsCommand(window.windowMenu, index)) return window.windowMenu;
  for (int i = 1; i <= window.controlCount; ++i) {
    const UiControl& control = window.controls[i];
    if (control.index && !IsMenuEntry(control) && HoldsCommand(control.menu, index))
      return control.menu;
  }
  return nullptr;
}

void RemoveMenuTree(UiWindow& window, UiControl& entry) {
  HMENU menu = entry.menu;
  if (!menu) return;
  // From the last position down, so that deleting an item moves none still to visit.
  for (int position = GetMenuItemCount(menu) - 1; position >= 0; --position) {
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID;
    if (!GetMenuItemInfoW(menu, position, TRUE, &item)) continue;
    int command = static_cast<int>(item.wID);
    if (!window.IsValidControl(command)) continue;
    UiControl& child = window.controls[command];
    if (child.kind == ControlKind::SubMenu) RemoveMenuTree(window, child);
    DeleteMenu(menu, position, MF_BYPOSITION);
    ReleaseKindData(child);
    memset(&child, 0, sizeof child);
  }
  if (!IsMenuEntry(entry)) DestroyMenu(menu);
  entry.menu = nullptr;
}

bool SetMenuEntryState(UiWindow& window, int index, uint32_t flags) {
  HMENU menu = MenuHolding(window, index);
  if (!menu) return false;
  MENUITEMINFOW item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_STATE;
  if (!GetMenuItemInfoW(menu, index, FALSE, &item)) return false;
  if (flags & kStateCheck)
    item.fState |= MFS_CHECKED;
  else if (flags & kStateUncheck)
    item.fState &= ~MFS_CHECKED;
  if (flags & kStateEnable)
    item.fState &= ~MFS_DISABLED;
  else if (flags & kStateDisable)
    item.fState |= MFS_DISABLED;
  if (flags & kStateFocus)
    item.fState |= MFS_DEFAULT;
  else if (flags & kStateFocusWindow)
    item.fState &= ~MFS_DEFAULT;
  return SetMenuItemInfoW(menu, index, FALSE, &item) != FALSE;
}

HMENU UiWindow::AttachPopupMenu(int index) {
  UiControl* control = Control(index);
  if (!control || IsMenuEntry(*control)) return nullptr;
  if (control->menu) {
    RemoveMenuTree(*this, *control);
    LowerControlCount(*this);
  }
  control->menu = CreatePopupMenu();
  return control->menu;
}

int UiWindow::AddMenuItem(int parentIndex, const wchar_t* caption, int position, uint32_t flags,
                          HBITMAP bitmap) {
  HMENU menu = windowMenu;
  if (parentIndex != 0) {
    UiControl* parent = Control(parentIndex);
    menu = parent ? parent->menu : nullptr;
  }
  if (!menu || !GrowControlTable(*this)) return 0;

  int command = controlCount + 1;
  // Both are released on the way out unless the menu takes them.
  MenuHolder submenu;
  GdiObjectHolder<HBITMAP> shown;
  MENUITEMINFOW item{};
  item.cbSize = sizeof item;
  item.wID = static_cast<UINT>(command);
  if (flags & kMenuSeparator) {
    item.fMask = MIIM_FTYPE | MIIM_ID;
    item.fType = MFT_SEPARATOR;
  } else {
    item.fMask = MIIM_ID | MIIM_STRING;
    item.dwTypeData = const_cast<wchar_t*>(caption ? caption : L"");
    if (flags & kMenuSubMenu) {
      submenu.Reset(CreatePopupMenu());
      if (!submenu.Valid()) return 0;
      item.fMask |= MIIM_SUBMENU;
      item.hSubMenu = submenu.Get();
    }
    // Check marks are drawn without blending: the image goes in flattened
    // onto the menu's colour, a copy that the entry owns.
    if (bitmap && !(flags & kMenuNoBitmap))
      shown.Reset(FlattenOntoColour(bitmap, GetSysColor(COLOR_MENU)));
    if (flags & (kMenuChecked | kMenuRadioChecked)) {
      item.fMask |= MIIM_STATE | MIIM_CHECKMARKS | MIIM_FTYPE;
      item.fState = MFS_CHECKED;
      item.fType = (flags & kMenuRadioChecked) ? MFT_RADIOCHECK : MFT_STRING;
      item.hbmpUnchecked = shown.Get();
    } else if (flags & kMenuNoBitmap) {
      item.fMask |= MIIM_BITMAP;
      item.hbmpItem = nullptr;
    } else if (shown.Valid()) {
      // Shown beside the text in the check-mark column.
      item.fMask |= MIIM_CHECKMARKS;
      item.hbmpUnchecked = shown.Get();
    }
  }
  int count = GetMenuItemCount(menu);
  if (position < 0 || position > count) position = count;
  if (!InsertMenuItemW(menu, static_cast<UINT>(position), TRUE, &item)) return 0;
  // The item now holds the submenu: deleting the item destroys it.
  HMENU own = submenu.Release();
  int index = RegisterControl(own ? ControlKind::SubMenu : ControlKind::MenuItem, nullptr);
  if (!index) {
    DeleteMenu(menu, static_cast<UINT>(position), MF_BYPOSITION);
    return 0;
  }
  controls[index].menu = own ? own : menu;
  controls[index].kindData.bitmap = shown.Release();
  return index;
}
