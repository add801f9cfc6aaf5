// Return and Escape in toolkit windows. The platform's dialog manager would
// turn them into commands for the identifiers 1 and 2, which here are control
// indices (in a message box, index 2 is "Yes"); the toolkit answers these two
// keys itself and leaves Tab, the arrows and mnemonics to the dialog manager.
#include <windows.h>

#include <commctrl.h>

#include "ui/ui_internal.h"

namespace {

bool IsComboBox(HWND window) {
  wchar_t name[16] = {};
  return window && GetClassNameW(window, name, 16) && lstrcmpiW(name, WC_COMBOBOXW) == 0;
}

// The focused control handles the key itself: a dropped-down list closes on
// Escape and takes its choice on Return, a multi-line edit wants Return.
bool ControlWantsKey(const MSG& message) {
  HWND focus = message.hwnd;
  LRESULT code = SendMessageW(focus, WM_GETDLGCODE, message.wParam,
                              reinterpret_cast<LPARAM>(const_cast<MSG*>(&message)));
  if (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) return true;
  HWND combo =
      IsComboBox(focus) ? focus : (IsComboBox(GetParent(focus)) ? GetParent(focus) : nullptr);
  return combo && SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0);
}

bool CanPress(UiWindow& window, int index) {
  UiControl* control = window.Control(index);
  return control && index > 0 && control->kind == ControlKind::PushButton &&
         IsWindowEnabled(control->handle) && IsWindowVisible(control->handle);
}

void Dispatch(const MSG& message) {
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace

void PressControl(UiWindow& window, int index) {
  UiControl* control = window.Control(index);
  if (!control || !control->handle) return;
  SendMessageW(GetParent(control->handle), WM_COMMAND, MAKEWPARAM(control->index, BN_CLICKED),
               reinterpret_cast<LPARAM>(control->handle));
}

bool RouteDialogKey(UiWindow& record, const MSG& message) {
  if (message.message != WM_KEYDOWN || (message.wParam != VK_RETURN && message.wParam != VK_ESCAPE))
    return false;
  const bool isReturn = message.wParam == VK_RETURN;
  // An image button of any window answers Return like a click.
  if (isReturn) {
    if (UiWindow* owner = ImageButtonOwner(message.hwnd)) {
      PressControl(*owner, owner->ControlFromHandle(message.hwnd));
      return true;
    }
  }
  UiWindow* window = record.activeWindow;
  if (!window || !window->handle ||
      (message.hwnd != window->handle && !IsChild(window->handle, message.hwnd)))
    return false;
  if (ControlWantsKey(message)) {
    Dispatch(message);
    return true;
  }
  if (!isReturn) {
    if (window->closeOnEscape)
      window->RaiseEvent(UiEventCode::Close, WM_KEYDOWN, window->handle,
                         static_cast<int32_t>(CloseCause::EscapeKey), 0);
    return true;
  }
  int focused = window->ControlFromHandle(message.hwnd);
  if (!focused) focused = window->ControlFromHandle(GetParent(message.hwnd));
  if (CanPress(*window, focused)) {
    PressControl(*window, focused);
    return true;
  }
  // A list reports Return as ReturnPressed (opening the selected row).
  if (window->ControlKindOf(focused) == ControlKind::ListView) {
    Dispatch(message);
    return true;
  }
  if (CanPress(*window, window->defaultButton)) PressControl(*window, window->defaultButton);
  return true;
}
