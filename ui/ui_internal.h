// Pieces of the window toolkit shared between its source files; not for
// application code.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "ui/ui_window.h"

// Subclass procedure of every toolkit window; the reference data is the UiWindow.
LRESULT CALLBACK UiWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                              DWORD_PTR self);
// Subclass procedure of image buttons; id is the control index.
LRESULT CALLBACK ImageButtonProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                                 UINT_PTR id, DWORD_PTR window);

// The toolkit window whose image button this is, or null.
UiWindow* ImageButtonOwner(HWND control);
// Edge of an image button and of the images it shows.
inline constexpr int kImageButtonEdge = 20;
// Asks an image button for a state; focusLeaving lets the focused look go
// even while the button still has the focus.
bool RequestImageButtonState(UiWindow& window, int index, int state, bool focusLeaving);
// Shows an image on a control (STM_SETIMAGE or BM_SETIMAGE of the type; null
// takes the shown one away) and deletes what the control hands back, unless
// that is the image itself or kept(back) says the toolkit owns it elsewhere:
// anything else is the control's own copy (a static control copies 32-bit
// bitmaps with alpha) or an image nobody else holds.
template <typename Kept>
void SwapControlImage(HWND control, UINT message, UINT type, HANDLE image, Kept kept) {
  auto back = reinterpret_cast<HANDLE>(
      SendMessageW(control, message, type, reinterpret_cast<LPARAM>(image)));
  if (!back || back == image || kept(back)) return;
  if (type == IMAGE_ICON)
    DestroyIcon(static_cast<HICON>(back));
  else
    DeleteObject(back);
}
inline bool KeepsNothing(HANDLE) { return false; }

// Takes the shown image back from a control before its images are deleted,
// deleting any copy the control made of its own.
void DetachControlImages(UiControl& control);
// Deletes what a control owns through its kind data.
void ReleaseKindData(UiControl& control);

bool IsMenuEntry(const UiControl& control);
// The top menu (window menu or an attached popup) that holds a menu entry.
HMENU MenuHolding(UiWindow& window, int index);
void RemoveMenuTree(UiWindow& window, UiControl& entry);
bool SetMenuEntryState(UiWindow& window, int index, uint32_t flags);
// Lowers the control count past the free slots at the top, after removals
// (a removed menu tree may free slots above the entry it hangs from).
void LowerControlCount(UiWindow& window);

// List-view notifications; answers true when the message is consumed.
bool HandleListNotify(UiWindow& window, int index, NMHDR* header, LRESULT& answer);

// Makes room for one more control; false when the storage cannot grow.
bool GrowControlTable(UiWindow& window);
// A control font from the window's font settings with the given size and weight.
HFONT CreateControlFont(const UiFontSettings& settings, double size, int32_t weight);

// Creates a child window with the next index as identifier and registers it;
// stores the requested geometry. 0 on failure, leaving no slot behind.
int CreateChildControl(UiWindow& window, ControlKind kind, DWORD exStyle, const wchar_t* className,
                       const wchar_t* caption, DWORD style, int x, int y, int width, int height);

// Dispatches everything queued (PumpEvent polling until it answers 0 or a quit
// message, which PumpEvent posts again for the loop that runs afterwards).
// The events it produces stay queued in the record.
void DrainQueue(UiWindow& record);

// Drops the messages queued for a window and its children (before it is
// destroyed); a quit message met on the way is posted again.
void DropQueuedMessages(HWND window);

// Return and Escape for the active window (PumpEvent): Escape closes a window
// that closes on Escape, Return presses the focused or the default push button;
// a control that wants the key gets it. True when the key was handled.
bool RouteDialogKey(UiWindow& record, const MSG& message);

// Marks a wake-up of a WakeTicker as taken, so that it posts the next one.
void AcknowledgeWake(const MSG& message);

// Reports a control as activated, as a click on it would.
void PressControl(UiWindow& window, int index);

// Client size of a window (0, 0 when it cannot be read).
SIZE ClientSize(HWND window);
