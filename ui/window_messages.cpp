// Message routing of toolkit windows: every message of a window passes
// through here and becomes an event in the shared event record.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

#include "ui/drawing.h"
#include "ui/modal_scope.h"
#include "ui/ui_internal.h"

namespace {

// A drop target is searched among windows of at most this client height.
constexpr LONG kDropSearchBound = 500000;

struct DropSearch {
  POINT screenPoint;
  LONG bound;
  HWND found;
};

BOOL CALLBACK VisitDropCandidate(HWND window, LPARAM context) {
  auto& search = *reinterpret_cast<DropSearch*>(context);
  if (!IsWindowVisible(window)) return TRUE;
  LRESULT hit = DefWindowProcW(window, WM_NCHITTEST, 0,
                               MAKELPARAM(search.screenPoint.x, search.screenPoint.y));
  if (hit <= 0) return TRUE;
  // The smallest window that contains the point is the innermost one; a
  // later window wins a tie, as it lies above the earlier one.
  SIZE client = ClientSize(window);
  if (client.cy <= search.bound) {
    search.bound = client.cy;
    search.found = window;
  }
  return TRUE;
}

// A context menu opens at the pointer for a click. From the keyboard
// (Shift+F10 or the menu key, lParam -1) there is no pointer: it opens under
// the selected row of a list, else in the middle of the control (or of the
// window when no control is concerned). Screen coordinates.
POINT ContextMenuPoint(UiWindow& window, int index, LPARAM lParam) {
  if (lParam != -1) return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  HWND target = index ? window.ControlHandle(index) : window.handle;
  RECT area{};
  GetClientRect(target, &area);
  POINT point{(area.left + area.right) / 2, (area.top + area.bottom) / 2};
  if (window.ControlKindOf(index) == ControlKind::ListView) {
    constexpr LONG kInset = 12;
    point = POINT{area.left + kInset, area.top + kInset};
    const int row = window.SelectedRow(index);
    RECT rowArea{};
    rowArea.left = LVIR_BOUNDS;
    if (row >= 0 &&
        SendMessageW(target, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rowArea))) {
      point.x = rowArea.left + kInset;
      point.y = std::clamp(rowArea.bottom, area.top, area.bottom);
    }
  }
  ClientToScreen(target, &point);
  return point;
}

// A caption drag runs a modal loop that ends when the left button is
// released; started without a pressed button (a command sent by the program
// or a key) it would hold the window until the next click.
bool LeftButtonHeld() { return (GetKeyState(VK_LBUTTON) & 0x8000) != 0; }

bool IsButtonDown(UINT message) {
  return message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN ||
         message == WM_XBUTTONDOWN || message == WM_NCLBUTTONDOWN || message == WM_NCRBUTTONDOWN;
}

class MessageRouter {
 public:
  explicit MessageRouter(UiWindow& window) : w_(window) {}

  // True when the message is consumed with the answer; false to pass it on.
  bool Route(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& answer);

 private:
  UiEvent* Raise(UiEventCode code, UINT message, int32_t param1 = 0, intptr_t param2 = 0) {
    return w_.RaiseEvent(code, message, w_.handle, param1, param2);
  }
  void ClaimActive() { w_.ClaimActive(w_.handle); }
  // When this window waits, disabled, for a modal window: asks for that one
  // to come to the front once the message in hand is done (raising it from
  // inside an activation would start another one).
  bool RaiseModalLater() {
    if (IsWindowEnabled(w_.handle) || w_.events->modalWindows.empty()) return false;
    PostMessageW(w_.handle, kPrivateRaiseModalMessage, 0, 0);
    return true;
  }
  bool Command(WPARAM wParam, LPARAM lParam);
  bool Notify(NMHDR* header, LRESULT& answer);
  bool SetCursor(WPARAM wParam, LPARAM lParam);
  bool ControlColour(UINT message, HDC dc, HWND control, LRESULT& answer);
  void PaintBackground(HDC dc);
  void DropFiles(HDROP drop);
  int DropTarget(POINT clientPoint);
  void Relayout();
  void MoveAttachedWindows(const WINDOWPOS& position);
  void ChangeHover(int index);

  UiWindow& w_;
};

bool MessageRouter::Route(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& answer) {
  answer = 0;
  switch (message) {
    case WM_MOVE:
      Raise(UiEventCode::Moved, message);
      return false;
    case WM_SIZE:
      if (wParam == SIZE_RESTORED || wParam == SIZE_MAXIMIZED) {
        ClaimActive();
        Relayout();
      }
      Raise(UiEventCode::Resized, message);
      return true;
    case WM_ACTIVATE:
    case WM_ACTIVATEAPP:
      if (LOWORD(wParam) != 0) {
        if (w_.hoveredControl) RequestImageButtonState(w_, w_.hoveredControl, kImageNormal, false);
        ClaimActive();
        Raise(UiEventCode::Activated, message);
        w_.hoveredControl = 0;
        if (message == WM_ACTIVATE) {
          if (RaiseModalLater()) return false;
          // The default handling puts the focus on the window itself; the
          // control that had it gets it back, as in the system's dialogs.
          answer = DefSubclassProc(w_.handle, message, wParam, lParam);
          if (!HIWORD(wParam)) w_.RestoreFocus();  // not while minimised
          return true;
        }
        return false;
      }
      if (message == WM_ACTIVATE) {
        HWND focus = GetFocus();
        if (focus && IsChild(w_.handle, focus)) w_.savedFocus = focus;
      }
      w_.ClaimActive(nullptr);
      Raise(UiEventCode::Deactivated, message);
      w_.hoveredControl = 0;
      return false;
    case WM_MOUSEACTIVATE:
      // A click on an owner that waits for its modal window neither
      // activates nor raises it: the modal window comes to the front instead.
      if (!RaiseModalLater()) return false;
      answer = MA_NOACTIVATEANDEAT;
      return true;
    case kPrivateRaiseModalMessage:
      BringModalToFront(*w_.events);
      return true;
    case WM_CLOSE:
      ClaimActive();
      PostMessageW(w_.handle, kPrivateCloseMessage, 0, 0);
      return true;
    case kPrivateCloseMessage:
      // Raised here rather than where the message is fetched, so that a Close
      // names the window it closes and survives any pump that dispatches it.
      Raise(UiEventCode::Close, message, static_cast<int32_t>(CloseCause::Window));
      return true;
    case WM_QUERYENDSESSION:
      // Refused only while unsaved work waits for the user's answer, which
      // the loop asks for on this event; the program's own completion
      // actions log off, shut down and restart through here once answered.
      Raise(UiEventCode::SessionEnding, message, static_cast<int32_t>(lParam));
      answer = w_.holdsUnsavedWork ? FALSE : TRUE;
      return true;
    case WM_ENDSESSION:
      Raise(UiEventCode::SessionEnding, message, 0);
      return true;
    case WM_ERASEBKGND:
      PaintBackground(reinterpret_cast<HDC>(wParam));
      answer = 1;
      return true;
    case WM_SETCURSOR:
      // The system's answer to a click on a disabled window.
      if (IsButtonDown(HIWORD(lParam))) RaiseModalLater();
      if (!SetCursor(wParam, lParam)) return false;
      answer = TRUE;
      return true;
    case WM_NEXTDLGCTL:
    case WM_GETDLGCODE:
    case WM_INITDIALOG:
    case WM_ENTERIDLE:
    case WM_CTLCOLORDLG:
      answer = DefDlgProcW(w_.handle, message, wParam, lParam);
      return true;
    case WM_WINDOWPOSCHANGING: {
      auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
      if (position->hwnd != w_.handle || (position->flags & SWP_NOMOVE)) return false;
      MoveAttachedWindows(*position);
      Raise(UiEventCode::PositionChanging, message);
      return true;
    }
    case WM_WINDOWPOSCHANGED: {
      auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
      ClaimActive();
      if (position->flags & SWP_NOSIZE) return true;
      Relayout();
      Raise(UiEventCode::Resized, message);
      return true;
    }
    case WM_NOTIFY:
      ClaimActive();
      return Notify(reinterpret_cast<NMHDR*>(lParam), answer);
    case WM_CONTEXTMENU: {
      ClaimActive();
      int index = w_.ControlFromHandle(reinterpret_cast<HWND>(wParam));
      w_.hoveredControl = index;
      if (UiEvent* raised = Raise(UiEventCode::ContextMenu, message, index))
        raised->point = ContextMenuPoint(w_, index, lParam);
      return true;
    }
    case WM_NCLBUTTONDOWN:
      ClaimActive();
      Raise(UiEventCode::FrameButtonDown, message, static_cast<int32_t>(wParam));
      return false;
    case WM_NCLBUTTONUP:
      ClaimActive();
      Raise(UiEventCode::FrameButtonUp, message, static_cast<int32_t>(wParam));
      return false;
    case WM_NCLBUTTONDBLCLK:
      ClaimActive();
      Raise(UiEventCode::CaptionDoubleClicked, message, static_cast<int32_t>(wParam));
      return false;
    case WM_RBUTTONDOWN:
      ClaimActive();
      Raise(UiEventCode::RightButtonDown, message, static_cast<int32_t>(wParam));
      return false;
    case WM_NCACTIVATE:
      w_.ClaimActive(wParam ? w_.handle : nullptr);
      Raise(wParam ? UiEventCode::FrameActivated : UiEventCode::FrameDeactivated, message);
      return false;
    case WM_CHAR:
      ClaimActive();
      Raise(UiEventCode::Character, message, static_cast<int32_t>(wParam), lParam);
      return false;
    case WM_COMMAND:
      return Command(wParam, lParam);
    case WM_SYSCOMMAND:
      ClaimActive();
      switch (wParam & 0xFFF0) {
        case SC_MOVE:
          Raise(UiEventCode::Moving, message);
          break;
        case SC_MINIMIZE:
          Raise(UiEventCode::MinimizeRequested, message);
          break;
        case SC_MAXIMIZE:
          Raise(UiEventCode::MaximizeRequested, message);
          break;
        case SC_RESTORE:
          Raise(UiEventCode::RestoreRequested, message);
          break;
          // SC_CLOSE: the default handling sends WM_CLOSE, which is the one
          // close request; posting another here made every Alt+F4 ask twice.
      }
      return false;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      return ControlColour(message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                           answer);
    case WM_MOUSEMOVE:
      w_.mouseX = GET_X_LPARAM(lParam);
      w_.mouseY = GET_Y_LPARAM(lParam);
      w_.mouseKeys = static_cast<uint32_t>(wParam);
      Raise(UiEventCode::MouseMoved, message, static_cast<int32_t>(wParam));
      return false;
    case WM_LBUTTONDOWN: {
      POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      UiControl* control = w_.Control(w_.ControlFromHandle(ChildWindowFromPoint(w_.handle, point)));
      if (control && HasFlag(control->flags, LayoutFlags::DragsWindow)) {
        if (LeftButtonHeld()) {
          const POINT& cursor = w_.events->lastMessage.pt;
          SendMessageW(w_.handle, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(cursor.x, cursor.y));
        }
      } else {
        Raise(UiEventCode::LeftButtonDown, message);
      }
      return false;
    }
    case WM_LBUTTONUP:
      Raise(UiEventCode::LeftButtonUp, message, static_cast<int32_t>(wParam));
      return false;
    case WM_RBUTTONUP:
      Raise(UiEventCode::RightButtonUp, message, static_cast<int32_t>(wParam));
      return false;
    case WM_MOUSEWHEEL:
      Raise(UiEventCode::MouseWheel, message, static_cast<int32_t>(wParam));
      return false;
    case WM_LBUTTONDBLCLK:
      ClaimActive();
      Raise(UiEventCode::DoubleClicked, message, w_.hoveredControl);
      return false;
    case WM_RBUTTONDBLCLK:
      ClaimActive();
      Raise(UiEventCode::RightDoubleClicked, message, w_.hoveredControl);
      return false;
    case WM_SIZING:
      Raise(UiEventCode::PositionChanging, message);
      answer = TRUE;
      return true;
    case WM_MOVING:
      Raise(UiEventCode::Moving, message);
      answer = 1;
      return true;
    case WM_EXITSIZEMOVE:
      ClaimActive();
      Relayout();
      Raise(UiEventCode::Moved, message);
      return true;
    case WM_DROPFILES:
      DropFiles(reinterpret_cast<HDROP>(wParam));
      return true;
    case WM_NCMOUSELEAVE:
      Raise(UiEventCode::FrameMouseLeft, message, static_cast<int32_t>(wParam));
      return false;
    case DM_GETDEFID:
      ClaimActive();
      if (w_.defaultButton) answer = MAKELRESULT(w_.defaultButton, DC_HASDEFID);
      return true;
  }
  return false;
}

bool MessageRouter::Command(WPARAM wParam, LPARAM) {
  int index = LOWORD(wParam);
  int code = HIWORD(wParam);
  if (!w_.IsValidControl(index)) return false;
  UiControl& control = w_.controls[index];
  UiEventCode event = UiEventCode::None;
  if (control.kind == ControlKind::ComboBox) {
    switch (code) {
      case CBN_SELCHANGE:
        event = UiEventCode::SelectionChanged;
        break;
      case CBN_DBLCLK:
        event = UiEventCode::ComboDoubleClicked;
        break;
      case CBN_SETFOCUS:
        event = UiEventCode::ComboFocused;
        break;
      case CBN_DROPDOWN:
        event = UiEventCode::DropDownOpened;
        break;
      case CBN_CLOSEUP:
        event = UiEventCode::DropDownClosed;
        break;
    }
    if (event != UiEventCode::None)
      Raise(event, WM_COMMAND, index, reinterpret_cast<intptr_t>(control.handle));
    return true;
  }
  if (control.kind == ControlKind::Edit) {
    switch (code) {
      case EN_UPDATE:
        event = UiEventCode::EditUpdating;
        break;
      case EN_CHANGE:
        event = UiEventCode::EditChanged;
        break;
      case EN_SETFOCUS:
        event = UiEventCode::EditFocused;
        break;
      case EN_KILLFOCUS:
        event = UiEventCode::EditFocusLost;
        break;
    }
    if (event != UiEventCode::None)
      Raise(event, WM_COMMAND, index, reinterpret_cast<intptr_t>(control.handle));
    return true;
  }
  if (code != 0 && code != 1) return true;
  HWND controlWindow = control.handle;
  if (control.kind == ControlKind::ImageButton) SetFocus(controlWindow);
  if (HasFlag(control.flags, LayoutFlags::DragsWindow) && controlWindow && LeftButtonHeld()) {
    POINT cursor = w_.events->lastMessage.pt;
    POINT inControl = cursor;
    ScreenToClient(controlWindow, &inControl);
    SendMessageW(controlWindow, WM_LBUTTONUP, 0, MAKELPARAM(inControl.x, inControl.y));
    DefWindowProcW(w_.handle, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(cursor.x, cursor.y));
  }
  w_.RaiseEvent(index, WM_COMMAND, w_.handle, code, reinterpret_cast<intptr_t>(controlWindow));
  return true;
}

bool MessageRouter::Notify(NMHDR* header, LRESULT& answer) {
  int index = static_cast<int>(header->idFrom);
  if (header->idFrom > static_cast<UINT_PTR>(w_.controlCount) || !w_.IsValidControl(index) ||
      w_.controls[index].handle != header->hwndFrom)
    return false;
  switch (header->code) {
    case NM_DBLCLK:
      Raise(UiEventCode::DoubleClicked, WM_NOTIFY, index);
      return true;
    case NM_RETURN:
      Raise(UiEventCode::ReturnPressed, WM_NOTIFY, index);
      return true;
  }
  if (w_.controls[index].kind == ControlKind::ListView)
    return HandleListNotify(w_, index, header, answer);
  answer = 0;
  return true;
}

bool MessageRouter::SetCursor(WPARAM wParam, LPARAM lParam) {
  auto over = reinterpret_cast<HWND>(wParam);
  bool set = false;
  if (w_.windowCursor && over == w_.handle && LOWORD(lParam) == HTCLIENT) {
    ::SetCursor(w_.windowCursor);
    set = true;
  }
  int index = w_.ControlFromHandle(over);
  if (!set && index && w_.controls[index].cursor) {
    ::SetCursor(w_.controls[index].cursor);
    set = true;
  }
  ChangeHover(index);
  Raise(UiEventCode::Hover, WM_SETCURSOR, w_.hoveredControl);
  return set;
}

void MessageRouter::ChangeHover(int index) {
  if (index == w_.hoveredControl) return;
  if (w_.hoveredControl && IsWindowEnabled(w_.ControlHandle(w_.hoveredControl)))
    RequestImageButtonState(w_, w_.hoveredControl, kImageNormal, false);
  if (index && IsWindowEnabled(w_.ControlHandle(index)))
    RequestImageButtonState(w_, index, kImageHot, false);
  w_.hoveredControl = index;
  // The pointer may leave the window straight from an image button, and then
  // this window hears nothing more: the button reports the leaving itself.
  if (w_.ControlKindOf(index) == ControlKind::ImageButton) {
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, w_.ControlHandle(index), 0};
    TrackMouseEvent(&track);
  }
}

bool MessageRouter::ControlColour(UINT message, HDC dc, HWND controlWindow, LRESULT& answer) {
  int index = w_.ControlFromHandle(controlWindow);
  if (!index) return false;
  const UiControl& control = w_.controls[index];
  if (control.textColour != kSystemTextColour)
    SetTextColor(dc, static_cast<COLORREF>(control.textColour));
  if (message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX) {
    if (control.backColour >= 0) SetBkColor(dc, static_cast<COLORREF>(control.backColour));
    if (!control.brush) return false;
    answer = reinterpret_cast<LRESULT>(control.brush);
    return true;
  }
  HBRUSH brush = control.brush;
  if (control.backColour == kHollowBackground) {
    SetBkMode(dc, TRANSPARENT);
    brush = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  } else if (control.backColour == kTransparentBackground) {
    SetBkMode(dc, TRANSPARENT);
  } else {
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, static_cast<COLORREF>(control.backColour));
  }
  if (!brush) brush = ControlBackgroundBrush(w_, index, dc);
  if (!brush) return false;
  answer = reinterpret_cast<LRESULT>(brush);
  return true;
}

void MessageRouter::PaintBackground(HDC dc) {
  HBRUSH brush = w_.background.Brush();
  if (!brush) return;
  for (int index = 1; index <= w_.controlCount; ++index) {
    const UiControl& control = w_.controls[index];
    if (!control.index || !control.handle ||
        !HasFlag(control.flags, LayoutFlags::KeepsOwnBackground) ||
        control.backColour == kHollowBackground || GetParent(control.handle) != w_.handle ||
        !IsWindowVisible(control.handle))
      continue;
    RECT area;
    GetWindowRect(control.handle, &area);
    MapWindowPoints(nullptr, w_.handle, reinterpret_cast<POINT*>(&area), 2);
    ExcludeClipRect(dc, area.left, area.top, area.right, area.bottom);
  }
  RECT client;
  GetClientRect(w_.handle, &client);
  FillRect(dc, &client, brush);
  SelectClipRgn(dc, nullptr);
}

void MessageRouter::DropFiles(HDROP drop) {
  ClaimActive();
  w_.dropHandle = drop;
  POINT point{};
  bool inClient = DragQueryPoint(drop, &point) != FALSE;
  w_.dropPoint = point;
  if (!inClient) {
    DragFinish(drop);
    w_.dropHandle = nullptr;
    return;
  }
  WideString paths(L"");
  UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  WideString path;
  for (UINT i = 0; i < count; ++i) {
    UINT length = DragQueryFileW(drop, i, nullptr, 0);
    wchar_t* buffer = path.AssignN(static_cast<int32_t>(length), nullptr);
    if (!buffer) continue;
    DragQueryFileW(drop, i, buffer, length + 1);
    if (i > 0) paths.Append(L"\r\n");
    paths.Append(buffer);
  }
  // The drop handle is freed here; the stored one only names the last drop.
  DragFinish(drop);
  w_.dropHandle = nullptr;
  int target = DropTarget(point);
  if (UiEvent* dropped = w_.RaiseEvent(UiEventCode::FilesDropped, WM_DROPFILES, w_.handle, target,
                                       0, paths.CStr()))
    dropped->param2 = reinterpret_cast<intptr_t>(dropped->text.buf);
}

int MessageRouter::DropTarget(POINT clientPoint) {
  POINT screen = clientPoint;
  ClientToScreen(w_.handle, &screen);
  HWND found = nullptr;
  if (GetWindowLongW(w_.handle, GWL_STYLE) & WS_CLIPCHILDREN) {
    found = WindowFromPoint(screen);
  } else {
    DropSearch search{screen, kDropSearchBound, nullptr};
    EnumChildWindows(w_.handle, VisitDropCandidate, reinterpret_cast<LPARAM>(&search));
    found = search.found;
  }
  if (!found) return 0;
  int index = w_.ControlFromHandle(found);
  if (!index) index = w_.ControlFromHandle(GetParent(found));
  return index;
}

void MessageRouter::Relayout() {
  if (w_.controlCount == 0 || IsIconic(w_.handle)) return;
  SIZE client = ClientSize(w_.handle);
  // No control carries an anchoring flag, so only the new size is recorded.
  w_.laidOutWidth = client.cx;
  w_.laidOutHeight = client.cy;
}

void MessageRouter::MoveAttachedWindows(const WINDOWPOS& position) {
  RECT own;
  if (!GetWindowRect(w_.handle, &own)) return;
  int dx = position.x - own.left;
  int dy = position.y - own.top;
  if (dx == 0 && dy == 0) return;
  for (int slot = 0; slot < w_.attachedCount; ++slot) {
    HWND attached = w_.attachedWindows[slot];
    RECT area;
    if (!attached || !IsWindow(attached) || !GetWindowRect(attached, &area)) continue;
    SetWindowPos(attached, nullptr, area.left + dx, area.top + dy, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE);
  }
}

}  // namespace

LRESULT CALLBACK UiWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                              DWORD_PTR self) {
  auto& owner = *reinterpret_cast<UiWindow*>(self);
  if (message == WM_NULL) {
    // A wake-up dispatched by a pump other than PumpEvent is taken all the same.
    AcknowledgeWake(MSG{window, message, wParam, lParam, 0, {}});
    return 0;
  }
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, UiWindowProc, id);
    return DefSubclassProc(window, message, wParam, lParam);
  }
  if (owner.events && window == owner.handle) {
    LRESULT answer = 0;
    if (MessageRouter(owner).Route(message, wParam, lParam, answer)) return answer;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}
