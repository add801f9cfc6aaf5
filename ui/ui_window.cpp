#include "ui/ui_window.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>

#include "base/module_path.h"
#include "ui/drawing.h"
#include "ui/graphics_holders.h"
#include "ui/ui_internal.h"

namespace {

constexpr COLORREF kWindowBackground = 0xFEFEFE;
// Room for DefDlgProcW's private words, which it keeps in the window's extra
// bytes, and for whatever a class shared with other code may expect.
constexpr int kClassExtraBytes = 512;
constexpr int kWindowExtraBytes = 512;
// The longest class name the platform accepts.
constexpr int kClassNameLength = 256;

}  // namespace

SIZE ClientSize(HWND window) {
  RECT client{};
  if (!window || !GetClientRect(window, &client)) return SIZE{0, 0};
  return SIZE{client.right - client.left, client.bottom - client.top};
}

UiWindow::UiWindow() { Reset(); }

UiWindow::UiWindow(const wchar_t* className, const wchar_t* title, int clientWidth,
                   int clientHeight, int x, int y, DWORD style, UiWindow* eventRecord, HWND owner) {
  Reset();
  Create(className, title, clientWidth, clientHeight, x, y, style, eventRecord, owner);
}

UiWindow::~UiWindow() { Dispose(); }

void UiWindow::Reset() {
  event = UiEvent{};
  lastMessage = MSG{};
  activeWindow = nullptr;
  queuedEvents.clear();
  modalWindows.clear();
  controlCount = 0;
  attachedCount = 0;
  for (HWND& attached : attachedWindows) attached = nullptr;
  instance = nullptr;
  laidOutWidth = laidOutHeight = 0;
  newControlFont = UiFontSettings{};
  events = nullptr;
  defaultButton = 0;
  newControlFlags = LayoutFlags::None;
  background.Release();
  classAtom = 0;
  dropHandle = nullptr;
  dropPoint = POINT{};
  referenceWidth = referenceHeight = 0;
  windowCursor = nullptr;
  newControlTextColour = kSystemTextColour;
  newControlBackColour = kTransparentBackground;
  handle = nullptr;
  newControlParent = nullptr;
  tooltip = nullptr;
  accelerators = nullptr;
  classOwnership = 0;
  mouseX = mouseY = 0;
  mouseKeys = 0;
  hoveredControl = 0;
  windowMenu = nullptr;
  savedFocus = nullptr;
  holdsUnsavedWork = false;
  closeOnEscape = false;
  muteDepth = 0;
}

HWND UiWindow::Create(const wchar_t* className, const wchar_t* title, int clientWidth,
                      int clientHeight, int x, int y, DWORD style, UiWindow* eventRecord,
                      HWND owner) {
  if (handle) Destroy();
  if (!instance) instance = GetModuleHandleW(nullptr);
  events = eventRecord ? eventRecord : this;

  WNDCLASSEXW info{};
  info.cbSize = sizeof info;
  if (GetClassInfoExW(instance, className, &info)) {
    classOwnership = 1;
  } else {
    info = WNDCLASSEXW{};
    info.cbSize = sizeof info;
    info.style = CS_DBLCLKS;
    info.lpfnWndProc = DefWindowProcW;
    info.cbClsExtra = kClassExtraBytes;
    info.cbWndExtra = kWindowExtraBytes;
    info.hInstance = instance;
    info.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    GdiObjectHolder<HBRUSH> classBrush(CreateSolidBrush(kWindowBackground));
    info.hbrBackground = classBrush.Get();
    info.lpszClassName = className;
    classAtom = RegisterClassExW(&info);
    if (!classAtom) return nullptr;
    // Owned by the class from here on: the platform deletes it with the class.
    classBrush.Release();
    classOwnership = 0;
  }

  if (style == kDefaultStyle) style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_ACCEPTFILES);
  handle =
      CreateWindowExW(WS_EX_ACCEPTFILES, className, title, style, x, y, frame.right - frame.left,
                      frame.bottom - frame.top, owner, nullptr, instance, nullptr);
  if (!handle) return nullptr;

  // The record is shared: events still queued in it and the active window
  // belong to the other windows and stay.
  closeOnEscape = owner != nullptr;
  SetWindowSubclass(handle, UiWindowProc, reinterpret_cast<UINT_PTR>(this),
                    reinterpret_cast<DWORD_PTR>(this));

  if (x == kCentred && y == kCentred) CenterWindow(handle, owner);

  SetFontForNewControls(9.0, FW_NORMAL, kFontPlain);

  if (!owner) {
    text = ModulePath();
    if (text.buf) {
      HICON big = nullptr, small = nullptr;
      UINT sizes = MAKELONG(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CXSMICON));
      if (SHDefExtractIconW(text.buf, 0, 0, &big, &small, sizes) == S_OK) SetIcons(big, small);
    }
  } else {
    HICON big = reinterpret_cast<HICON>(SendMessageW(owner, WM_GETICON, ICON_BIG, 0));
    if (!big) big = reinterpret_cast<HICON>(GetClassLongPtrW(owner, GCLP_HICON));
    HICON small = reinterpret_cast<HICON>(SendMessageW(owner, WM_GETICON, ICON_SMALL, 0));
    if (!small) small = reinterpret_cast<HICON>(GetClassLongPtrW(owner, GCLP_HICONSM));
    // Borrowed from the owner, so not given to SetIcons, which would own them.
    SendMessageW(handle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    SendMessageW(handle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  }

  background.Prepare(handle, kWindowBackground);
  newControlParent = handle;
  SIZE client = ClientSize(handle);
  referenceWidth = laidOutWidth = client.cx;
  referenceHeight = laidOutHeight = client.cy;
  return handle;
}

void UiWindow::Destroy() {
  if (handle) {
    ShowWindow(handle, SW_HIDE);
    // Images first: a static control may have made copies of its own, which
    // only come back while its window still exists.
    for (int index = controlCount; index >= 1; --index)
      if (IsValidControl(index)) DetachControlImages(controls[index]);
    // An ownerless window extracted its icons itself; a dialog borrows its owner's.
    if (!GetWindow(handle, GW_OWNER)) SetIcons(nullptr, nullptr);
    wchar_t className[kClassNameLength + 1] = {};
    GetClassNameW(handle, className, kClassNameLength + 1);
    DropQueuedMessages(handle);
    DestroyWindow(handle);
    if (classOwnership == 0 && className[0]) UnregisterClassW(className, instance);
  }
  for (int index = controlCount; index >= 1; --index)
    if (IsValidControl(index)) RemoveControl(index);
  if (tooltip) DestroyWindow(tooltip);
  background.Release();
  // The window owns its menu and accelerator table (set by the program).
  if (windowMenu) DestroyMenu(windowMenu);
  if (accelerators) DestroyAcceleratorTable(accelerators);
  // The record may outlive this window: it must not keep pointing here, nor
  // hand out events of a window that is gone.
  if (events && events != this) {
    if (events->activeWindow == this) events->activeWindow = nullptr;
    if (events->event.source == this) events->event.source = nullptr;
    std::erase(events->modalWindows, this);
    std::erase_if(events->queuedEvents,
                  [this](const UiEvent& queued) { return queued.source == this; });
  }
  Reset();
}

void UiWindow::Dispose() {
  Destroy();
  free(controls);
  controls = nullptr;
  controlCapacity = 0;
  text.Clear();
}

bool UiWindow::Present(int focusIndex) {
  if (!handle) return false;
  ShowWindow(handle, SW_SHOW);
  UpdateWindow(handle);
  BringWindowToTop(handle);
  SetForegroundWindow(handle);
  SendMessageW(handle, WM_ACTIVATE, WA_CLICKACTIVE, 0);
  EnableWindow(handle, TRUE);
  // Keys only reach this thread while one of its windows is in front, and
  // then they belong to the window just presented, whether or not the system
  // let it take the foreground yet.
  if (events) events->activeWindow = this;
  if (focusIndex) SetControlState(focusIndex, kStateFocus);
  return GetForegroundWindow() == handle;
}

void UiWindow::RestoreFocus() {
  if (!handle) return;
  if (savedFocus && IsWindow(savedFocus) && IsChild(handle, savedFocus) &&
      IsWindowVisible(savedFocus) && IsWindowEnabled(savedFocus))
    SetFocus(savedFocus);
  else if (!GetFocus() || !IsChild(handle, GetFocus()))
    SetFocus(handle);
}

bool UiWindow::ClaimActive(HWND window) {
  if (!events) return false;
  if (!window) {
    events->activeWindow = nullptr;
    return true;
  }
  if (window != GetForegroundWindow()) return false;
  events->activeWindow = this;
  return true;
}

int UiWindow::AttachWindow(HWND window) {
  for (int slot = 0; slot < kAttachedWindowSlots; ++slot) {
    HWND held = attachedWindows[slot];
    if (held && IsWindow(held)) continue;
    attachedWindows[slot] = window;
    if (attachedCount < slot + 1) attachedCount = slot + 1;
    return slot + 1;
  }
  return 0;
}

void UiWindow::SetIcons(HICON big, HICON small) {
  if (!handle) return;
  HICON oldSmall = reinterpret_cast<HICON>(
      SendMessageW(handle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small)));
  HICON oldBig = reinterpret_cast<HICON>(
      SendMessageW(handle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big)));
  if (oldSmall && oldSmall != small && oldSmall != big) DestroyIcon(oldSmall);
  if (oldBig && oldBig != big && oldBig != small && oldBig != oldSmall) DestroyIcon(oldBig);
}
