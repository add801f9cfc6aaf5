// The toolkit's window object. Every window of the program is a UiWindow: it
// creates one top-level window, keeps the table of child controls made on it
// and turns the window's messages into events. All windows of the application
// write their events into one shared event record (the main window's); loops
// call PumpEvent and compare the event's source and code with their own window
// and control indices.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>

#include <deque>
#include <vector>

#include "base/wide_string.h"
#include "ui/ui_control.h"
#include "ui/ui_event.h"
#include "ui/window_background.h"

namespace Gdiplus {
class GpBitmap;
}

// Posted by a window to itself instead of closing: the event loops see it as
// Close and decide what happens; the toolkit never destroys a window for it.
inline constexpr UINT kPrivateCloseMessage = 0x0CAE;
// Posted by a disabled owner that was activated or clicked while a modal loop
// runs: the modal window comes back to the front once the activation is over.
inline constexpr UINT kPrivateRaiseModalMessage = 0x0CAF;

// Window and control styles of -1 ask for the toolkit's default style.
inline constexpr DWORD kDefaultStyle = 0xFFFFFFFF;
// x and y of UiWindow::Create: centre the window on its owner (or the work area).
inline constexpr int kCentred = -1;

// Colours for new controls (colour references otherwise).
inline constexpr int32_t kSystemTextColour = -1;       // text: the system button-text colour
inline constexpr int32_t kTransparentBackground = -1;  // background: the parent's shows through
inline constexpr int32_t kHollowBackground = -2;       // background: not painted at all

// Font style bits of the settings for new controls.
enum FontStyle : uint8_t {
  kFontPlain = 1,
  kFontItalic = 2,
  kFontUnderline = 4,
  kFontStrikeOut = 8,
};

// How PumpEvent fetches.
enum class PumpMode : int {
  Wait = 0,  // blocks until a message arrives
  Poll = 1,  // answers at once, also when the queue is empty
};

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
  // minimize box. x = y = kCentred centres it on the owner or the work area.
  // Without an event record the window is its own. A window with an owner
  // (a dialog) closes on Escape (closeOnEscape). Creating a window leaves the
  // event record as it is. Returns the handle or null.
  HWND Create(const wchar_t* className, const wchar_t* title, int clientWidth, int clientHeight,
              int x, int y, DWORD style, UiWindow* eventRecord, HWND owner);
  // Destroys the window and every control; the object stays reusable. Only
  // what belongs to this window is dropped: its queued messages and the events
  // it raised that no loop has taken yet.
  void Destroy();
  // Destroy, then free the control table and the text.
  void Dispose();
  // Shows the window, brings it to the front, activates it and makes it the
  // window whose Tab, arrow, Return and Escape keys the toolkit serves; then
  // gives the control focusIndex (0: none) the keyboard focus. True when the
  // window is now the foreground window.
  bool Present(int focusIndex = 0);
  // Gives the focus back to the control that had it when the window was last
  // deactivated (the window itself when there is none).
  void RestoreFocus();

  // Queues an event in the window's event record, with this window as its
  // source, and answers it; nothing (null) while the window's events are muted
  // (UiEventMute). A text is copied into the event.
  UiEvent* RaiseEvent(int32_t code, UINT message, HWND window, int32_t param1, intptr_t param2,
                      const wchar_t* text = nullptr);
  UiEvent* RaiseEvent(UiEventCode code, UINT message, HWND window, int32_t param1, intptr_t param2,
                      const wchar_t* text = nullptr) {
    return RaiseEvent(ToCode(code), message, window, param1, param2, text);
  }
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
  // Registers a control window made elsewhere; it takes the settings for new
  // controls. Radio buttons group themselves: the first of each run of radio
  // buttons and the control after the run start a new group (WS_GROUP), so
  // that arrow keys stay inside one set of choices.
  int RegisterControl(ControlKind kind, HWND handle);
  // Removes the control; only its own queued messages are dropped.
  bool RemoveControl(int index);

  // --- Standard controls ----------------------------------------------------
  int AddStatic(const wchar_t* text, int x, int y, int width, int height,
                DWORD style = kDefaultStyle);
  // With BS_DEFPUSHBUTTON in style the button becomes the default button.
  int AddButton(const wchar_t* text, int x, int y, int width, int height,
                DWORD style = kDefaultStyle);
  int AddCheckBox(const wchar_t* text, int x, int y, int width);
  int AddRadioButton(const wchar_t* text, int y, int width);
  // items: one text, items separated by "\n"; the first is selected.
  int AddComboBox(const wchar_t* items, int x, int y, int width, int height);
  int AddEdit(int y);
  // A progress bar (smooth unless style says otherwise) with the range
  // 0..maximum, at 0. Its colour is set with SetControlTextColour.
  int AddProgressBar(int x, int y, int width, int height, int maximum = 1000,
                     DWORD style = PBS_SMOOTH);
  // The control shows and owns a copy of the icon or bitmap (none allowed).
  int AddIconImage(HICON icon);
  int AddBitmapImage(HBITMAP bitmap);
  // Image resources of type "IMAGE", loaded at 20 x 20.
  int AddImageButton(int normalImageId, int hotImageId, int x);
  // The same from decoded images, which stay the caller's.
  int AddImageButton(Gdiplus::GpBitmap* normal, Gdiplus::GpBitmap* hot, int x);

  // The push button that Return presses when the focus is on no other push
  // button (0: none). It takes the default look; the previous one loses it.
  bool SetDefaultButton(int index);

  bool SetControlState(int index, uint32_t flags);
  // kStateCheck (4) when checked, else 0.
  int GetCheckState(int index);
  bool IsChecked(int index) { return GetCheckState(index) == kStateCheck; }
  bool SetControlText(int index, const wchar_t* text);
  // A new text owned by the caller (buf null for an invalid index).
  WideString GetControlText(int index);
  bool SetControlTextColour(int index, int32_t colour);
  bool SetControlCursor(int index, HCURSOR cursor);
  void SetFontForNewControls(double size, int32_t weight, uint8_t style);
  bool SetLastControlFontSize(double size);
  bool SetControlBounds(int index, int x, int y, int width, int height);
  bool CaptureLastControlGeometry();
  // The width of the control's text in its own font, as drawn (0 when it
  // has none).
  int TextWidthOf(int index);
  // Makes a check box or radio button wide enough for its box and its whole
  // text (never narrower). False for an invalid index or an empty text.
  bool WidenToText(int index);
  LRESULT SendToControl(int index, UINT message, WPARAM wParam, LPARAM lParam);
  bool AddTooltip(int index, const wchar_t* text);
  HMENU AttachPopupMenu(int index);
  // parentIndex 0: the window menu; -1: the latest entry. A bitmap (32-bit,
  // with alpha) is shown in the check-mark column; the entry keeps a copy of
  // its own laid over the menu's colour, so the caller may delete it.
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
  bool IsRowChecked(int index, int row);
  // The whole cell text, owned by the caller (buf null for an invalid index).
  WideString GetRowText(int index, int row, int column);
  bool SetRowText(int index, int row, int column, const wchar_t* text);
  bool DeleteRow(int index, int row);
  // Number of rows (0 for an invalid index).
  int ListRowCount(int index);
  // The selected row, or -1 when none is.
  int SelectedRow(int index);
  // Selects the row, gives it the list's focus mark and scrolls it into view;
  // -1 clears the selection.
  bool SelectRow(int index, int row);
  bool SetListSortable(int index, bool on);
  bool SetListIcon(int index, HICON icon);

  // --- Event record (used in the window that is the record) -----------------
  // The event PumpEvent delivered last. Loops take a copy (NextEvent).
  UiEvent event;
  // The message most recently fetched by PumpEvent.
  MSG lastMessage{};
  // Toolkit window whose keys PumpEvent hands to the dialog manager.
  UiWindow* activeWindow = nullptr;
  // Raised and not yet delivered, oldest first.
  std::deque<UiEvent> queuedEvents;
  bool EventPending() const { return !queuedEvents.empty(); }
  // The windows whose modal loops run now, innermost last (ModalScope).
  std::vector<UiWindow*> modalWindows;

  // --- Window state ---------------------------------------------------------
  UiControl* controls = nullptr;  // slot 0 never used
  int32_t controlCount = 0;       // highest slot in use
  int32_t controlCapacity = 0;
  int32_t attachedCount = 0;
  HWND attachedWindows[kAttachedWindowSlots] = {};
  // The program path of an ownerless window.
  WideString text;
  HINSTANCE instance = nullptr;
  int32_t laidOutWidth = 0;
  int32_t laidOutHeight = 0;
  UiFontSettings newControlFont{};
  UiWindow* events = nullptr;  // the event record this window writes into
  int32_t defaultButton = 0;
  LayoutFlags newControlFlags = LayoutFlags::None;
  // Brush, background image and memory context, and the brush last cut for
  // a control (ui/window_background.*).
  WindowBackground background;
  ATOM classAtom = 0;
  HDROP dropHandle = nullptr;
  POINT dropPoint{};
  int32_t referenceWidth = 0;
  int32_t referenceHeight = 0;
  HCURSOR windowCursor = nullptr;
  int32_t newControlTextColour = kSystemTextColour;
  int32_t newControlBackColour = kTransparentBackground;  // or kHollowBackground
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
  // The control that had the focus when the window was last deactivated.
  HWND savedFocus = nullptr;
  // Escape raises Close of this window (dialogs, message boxes; never the
  // main window), unless the focused control wants the key.
  bool closeOnEscape = false;
  // Above 0 while a UiEventMute covers the window: its events are dropped.
  int32_t muteDepth = 0;
  // The window holds work that would be lost: it refuses the end of the
  // session (WM_QUERYENDSESSION) and its loop asks the user instead.
  bool holdsUnsavedWork = false;

 private:
  // All handles null, counts 0, default colours; table storage and text stay.
  void Reset();
};

// Fetches and dispatches one message for the windows of the calling thread
// and leaves the next event in the record (record.event). Events already
// queued are delivered first, one per call, without fetching. Wait answers
// non-zero while the loop should go on (0 after Quit); Poll answers the event
// code, 0 when the queue was empty or the message made no event. A quit
// message is posted again after it was seen, so that the loop around a nested
// loop ends too.
int PumpEvent(UiWindow& eventRecord, PumpMode mode);

// Waits for the next event (PumpEvent, Wait) and hands the caller its own copy
// of it. False once the loop should end (the copy then says Quit). A wake-up
// without event answers true with code 0.
bool NextEvent(UiWindow& eventRecord, UiEvent& event);

// A modal loop (a message box, a dialog) holds back the Close events of other
// windows that it meets instead of using them up, and gives them back to the
// record when it ends, ahead of anything queued meanwhile: the window that was
// closed still sees its Close once the modal loop is over.
class HeldCloses {
 public:
  explicit HeldCloses(UiWindow& record);
  ~HeldCloses();
  HeldCloses(const HeldCloses&) = delete;
  HeldCloses& operator=(const HeldCloses&) = delete;
  // True when the event is another window's Close, now held.
  bool Hold(const UiEvent& event, const UiWindow& own);

 private:
  UiWindow& record_;
  std::vector<UiEvent> held_;
};

// Mutes the events a window raises while the program changes it itself
// (loading a job into a list, swapping rows, filling a dialog), so that no loop
// takes them for the user's. Nothing may pump messages inside the scope.
class UiEventMute {
 public:
  explicit UiEventMute(UiWindow& window) : window_(window) { ++window_.muteDepth; }
  ~UiEventMute() { --window_.muteDepth; }
  UiEventMute(const UiEventMute&) = delete;
  UiEventMute& operator=(const UiEventMute&) = delete;

 private:
  UiWindow& window_;
};

// Sets the window's settings for new controls (font, layout flags, colours,
// parent) for a run of creation calls and puts the previous ones back when the
// scope ends.
class NewControlSettings {
 public:
  explicit NewControlSettings(UiWindow& window);
  ~NewControlSettings();
  NewControlSettings(const NewControlSettings&) = delete;
  NewControlSettings& operator=(const NewControlSettings&) = delete;

  NewControlSettings& Font(double size, int32_t weight, uint8_t style = kFontPlain);
  NewControlSettings& Flags(LayoutFlags flags);
  NewControlSettings& TextColour(int32_t colour);
  NewControlSettings& BackColour(int32_t colour);
  NewControlSettings& Parent(HWND parent);

 private:
  UiWindow& window_;
  UiFontSettings font_;
  LayoutFlags flags_;
  int32_t textColour_;
  int32_t backColour_;
  HWND parent_;
};
