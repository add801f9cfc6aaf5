// The toolkit's window object. Every window of the program is a UiWindow: it
// creates one top-level window, keeps the table of child controls made on it
// and turns the window's messages into events. All windows of the application
// write their events into one shared event record (the main window's); loops
// call PumpEvent and compare the event's source and code with their own window
// and control indices.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <cstdint>

#include "base/wide_string.h"
#include "ui/ui_control.h"

namespace Gdiplus {
class GpBitmap;
}

// Negative event codes. A positive code is the index of the control that was
// activated; 0 means no event.
enum UiEventCode : int32_t {
  PositionChanging = -2,
  Resized = -3,
  FilesDropped = -4,
  Close = -5,
  MinimizeRequested = -6,
  RestoreRequested = -7,
  MaximizeRequested = -8,
  LeftButtonDown = -9,
  LeftButtonUp = -10,
  RightButtonDown = -11,
  RightButtonUp = -12,
  DoubleClicked = -13,
  RightDoubleClicked = -14,
  MouseMoved = -15,
  MouseWheel = -16,
  CaptionDoubleClicked = -17,
  Activated = -18,
  Deactivated = -19,
  Hover = -20,
  ContextMenu = -21,
  FrameMouseLeft = -22,
  Moving = -24,
  Moved = -25,
  ReturnPressed = -26,
  FrameButtonDown = -27,
  FrameButtonUp = -28,
  FrameActivated = -29,
  FrameDeactivated = -30,
  SessionEnding = -31,
  ItemSelected = -45,
  ItemDeselected = -46,
  ItemChecked = -47,
  ItemUnchecked = -48,
  ItemDeleted = -49,
  ListScrollBegin = -50,
  ListScrollEnd = -51,
  ItemFocusLost = -52,
  ItemLabelEdited = -53,
  SelectionChanged = -65,
  DropDownOpened = -66,
  DropDownClosed = -67,
  ComboFocused = -68,
  ComboDoubleClicked = -69,
  EditUpdating = -75,
  EditChanged = -76,
  EditFocused = -77,
  EditFocusLost = -78,
  Character = -201,
  Quit = -300,
};

// Posted by a window to itself instead of closing: the event loops see it as
// Close and decide what happens; the toolkit never destroys a window for it.
inline constexpr UINT kPrivateCloseMessage = 0x0CAE;

// Window and control styles of -1 ask for the toolkit's default style.
inline constexpr DWORD kDefaultStyle = 0xFFFFFFFF;

inline constexpr int kAttachedWindowSlots = 48;

// Bits of SetControlState, applied in this order; the first of each pair wins.
enum ControlStateFlags : uint32_t {
  kStateHide = 0x01,
  kStateShow = 0x02,
  kStateCheck = 0x04,
  kStateUncheck = 0x08,
  kStateIndeterminate = 0x10,
  kStateEnable = 0x20,
  kStateDisable = 0x40,
  kStateFocus = 0x80,
  kStateFocusWindow = 0x100,
};

// Flags of AddMenuItem.
enum MenuItemFlags : uint32_t {
  kMenuChecked = 0x01,
  kMenuRadioChecked = 0x02,
  kMenuSubMenu = 0x04,
  kMenuSeparator = 0x08,
  kMenuNoBitmap = 0x10,
};

// Font given to each new control. Style bits: 2 italic, 4 underline, 8 strike-out.
struct UiFontSettings {
  double size;  // points
  int32_t weight;
  uint8_t style;
  wchar_t face[32];
  uint8_t quality;  // 0 means ClearType
};

class UiWindow {
 public:
  UiWindow();
  // Resets the object and creates the window at once (see Create).
  UiWindow(const wchar_t* className, const wchar_t* title, int clientWidth, int clientHeight, int x,
           int y, DWORD style, UiWindow* eventRecord, HWND owner);
  ~UiWindow();  // Dispose
  UiWindow(const UiWindow&) = delete;
  UiWindow& operator=(const UiWindow&) = delete;

  // --- Window ---------------------------------------------------------------
  // Registers the class (or reuses it) and creates the top-level window with
  // the given client size. style kDefaultStyle: caption, system menu and
  // minimize box. x = y = -1 centres it on the owner or the work area. Without
  // an event record the window is its own. Returns the handle or null.
  HWND Create(const wchar_t* className, const wchar_t* title, int clientWidth, int clientHeight,
              int x, int y, DWORD style, UiWindow* eventRecord, HWND owner);
  // Destroys the window and every control; the object stays reusable.
  void Destroy();
  // Destroy, then free the control table and the text.
  void Dispose();

  // Empties the event and the message it came from (used in the record).
  void ClearEvent();
  // Writes an event into the window's event record and marks it pending.
  void RaiseEvent(int32_t code, UINT message, HWND window, int32_t param1, intptr_t param2);
  // Null clears the event record's active window; otherwise this window
  // becomes the active one when handle is the foreground window.
  bool ClaimActive(HWND handle);
  // Stores a window that moves along with this one; slot 1..48 or 0.
  int AttachWindow(HWND window);
  // The window owns the icons it is given and destroys those they replace.
  void SetIcons(HICON big, HICON small);

  // --- Control table --------------------------------------------------------
  bool IsValidControl(int index) const;
  int ControlFromHandle(HWND handle) const;
  ControlKind ControlKindOf(int index) const;
  // The slot of a control (-1: the latest), or null when the index is invalid.
  UiControl* Control(int index);
  HWND ControlHandle(int index);
  int RegisterControl(ControlKind kind, HWND handle);
  bool RemoveControl(int index);

  // --- Standard controls ----------------------------------------------------
  int AddStatic(const wchar_t* text, int x, int y, int width, int height,
                DWORD style = kDefaultStyle);
  int AddButton(const wchar_t* text, int x, int y, int width, int height,
                DWORD style = kDefaultStyle);
  int AddCheckBox(const wchar_t* text, int x, int y, int width);
  int AddRadioButton(const wchar_t* text, int y, int width);
  // items: one text, items separated by "\n"; the first is selected.
  int AddComboBox(const wchar_t* items, int x, int y, int width, int height);
  int AddEdit(int y);
  // The control shows and owns a copy of the icon or bitmap (none allowed).
  int AddIconImage(HICON icon);
  int AddBitmapImage(HBITMAP bitmap);
  // Image resources of type "IMAGE", loaded at 20 x 20.
  int AddImageButton(int normalImageId, int hotImageId, int x);
  // The same from decoded images, which stay the caller's.
  int AddImageButton(Gdiplus::GpBitmap* normal, Gdiplus::GpBitmap* hot, int x);

  bool SetControlState(int index, uint32_t flags);
  // 4 when checked, else 0.
  int GetCheckState(int index);
  bool SetControlText(int index, const wchar_t* text);
  // A new text owned by the caller (buf null for an invalid index).
  WideString GetControlText(int index);
  bool SetControlTextColour(int index, int32_t colour);
  bool SetControlCursor(int index, HCURSOR cursor);
  void SetFontForNewControls(double size, int32_t weight, uint8_t style);
  bool SetLastControlFontSize(double size);
  bool SetControlBounds(int index, int x, int y, int width, int height);
  bool CaptureLastControlGeometry();
  LRESULT SendToControl(int index, UINT message, WPARAM wParam, LPARAM lParam);
  bool AddTooltip(int index, const wchar_t* text);
  HMENU AttachPopupMenu(int index);
  // parentIndex 0: the window menu; -1: the latest entry. The bitmap stays the
  // caller's and must outlive the menu item.
  int AddMenuItem(int parentIndex, const wchar_t* text, int position, uint32_t flags,
                  HBITMAP bitmap);

  // --- Image buttons --------------------------------------------------------
  bool SetImageButtonState(int index, int state);
  // Normal and hot images from decoded images (kept by the caller); the
  // focused and disabled images are cleared and the normal one is shown.
  bool SetImageButtonImages(int index, Gdiplus::GpBitmap* normal, Gdiplus::GpBitmap* hot);
  // Gives one state its image (none clears it); shown at once when current.
  bool SetImageButtonStateImage(int index, int state, Gdiplus::GpBitmap* image);

  // --- List view ------------------------------------------------------------
  // Report view with check boxes; titles separated by "\n".
  int AddListView(const wchar_t* columnTitles, int x, int y, int width, int height);
  // Row number or -1.
  int AddListRow(int index, const wchar_t* text);
  bool SetRowChecked(int index, int row, bool checked);
  // The whole cell text, owned by the caller (buf null for an invalid index).
  WideString GetRowText(int index, int row, int column);
  bool SetListSortable(int index, bool on);
  bool SetListIcon(int index, HICON icon);

  // --- Event record (used in the window that is the record) -----------------
  int32_t eventCode = 0;
  HWND eventWindow = nullptr;
  UINT eventMessage = 0;
  int32_t eventParam1 = 0;
  intptr_t eventParam2 = 0;
  MSG lastMessage{};
  UiWindow* eventSource = nullptr;
  UiWindow* activeWindow = nullptr;
  bool eventPending = false;

  // --- Window state ---------------------------------------------------------
  UiControl* controls = nullptr;  // slot 0 never used
  int32_t controlCount = 0;       // highest slot in use
  int32_t controlCapacity = 0;
  int32_t attachedCount = 0;
  HWND attachedWindows[kAttachedWindowSlots] = {};
  // Scratch text: the program path of an ownerless window, the paths of the
  // last file drop, the text of the last edited list label.
  WideString text;
  HINSTANCE instance = nullptr;
  int32_t laidOutWidth = 0;
  int32_t laidOutHeight = 0;
  UiFontSettings newControlFont{};
  UiWindow* events = nullptr;  // the event record this window writes into
  HBITMAP backgroundBitmap = nullptr;
  HDC memoryDc = nullptr;
  int32_t defaultButton = 0;
  uint32_t newControlFlags = 0;  // LayoutFlags
  HBRUSH backgroundBrush = nullptr;
  HBRUSH controlAreaBrush = nullptr;  // last brush cut from the background for a control
  int32_t backgroundMode = 0;         // 0 solid brush, 1 pattern brush of the background bitmap
  ATOM classAtom = 0;
  HDROP dropHandle = nullptr;
  POINT dropPoint{};
  int32_t referenceWidth = 0;
  int32_t referenceHeight = 0;
  HCURSOR windowCursor = nullptr;
  int32_t newControlTextColour = -1;  // -1: system button-text colour
  int32_t newControlBackColour = -1;  // -1 transparent, -2 hollow
  HWND handle = nullptr;
  HWND newControlParent = nullptr;
  HWND tooltip = nullptr;
  HACCEL accelerators = nullptr;
  uint8_t classOwnership = 0;  // 0 registered by this window, 1 existed already
  int32_t mouseX = 0;
  int32_t mouseY = 0;
  uint32_t mouseKeys = 0;
  int32_t hoveredControl = 0;
  HMENU windowMenu = nullptr;
  // The memory context's own first bitmap, put back before the context and
  // the background bitmap are deleted.
  HBITMAP memoryDcFirstBitmap = nullptr;

 private:
  // All handles null, counts 0, default colours; table storage and text stay.
  void Reset();
};

// Fetches and dispatches one message for the windows of the calling thread
// and leaves the event in the record. mode 0 blocks and answers non-zero while
// the loop should go on (0 after Quit); mode 1 polls and answers the event
// code, 0 when the queue was empty or the message made no event.
int PumpEvent(UiWindow& eventRecord, int mode);

// Thread routine: posts WM_NULL to the window (a HWND) every 20 ms while it
// exists, so that a blocking loop on it wakes at least that often.
DWORD WINAPI WakeTicker(void* window);
