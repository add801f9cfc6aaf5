// Toolkit events: the codes a window reports, and the event record entry that
// loops receive. A loop owns the UiEvent it is handed (NextEvent): whatever the
// toolkit raises while the loop handles it is queued behind it, never written
// over it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/wide_string.h"

class UiWindow;

// Negative event codes. A positive code is the index of the control that was
// activated; 0 means no event. Compare an event's code with them directly:
// `event.code == UiEventCode::Close`, or with a control index.
enum class UiEventCode : int32_t {
  None = 0,
  PositionChanging = -2,
  Resized = -3,
  FilesDropped = -4,  // param1 control under the drop point; the paths in text
  Close = -5,         // param1 a CloseCause; source the window asked to close
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
  ContextMenu = -21,  // param1 control; point where the menu belongs (screen)
  FrameMouseLeft = -22,
  Moving = -24,
  Moved = -25,
  ReturnPressed = -26,
  FrameButtonDown = -27,
  FrameButtonUp = -28,
  FrameActivated = -29,
  FrameDeactivated = -30,
  SessionEnding = -31,
  ItemSelected = -45,  // list events: param1 list control, param2 row
  ItemDeselected = -46,
  ItemChecked = -47,
  ItemUnchecked = -48,
  ItemDeleted = -49,
  ListScrollBegin = -50,
  ListScrollEnd = -51,
  ItemFocusLost = -52,
  ItemLabelEdited = -53,  // the new label in text
  ListKeyDown = -54,      // a key pressed in a list: param1 list control, param2 virtual key
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

constexpr int32_t ToCode(UiEventCode code) { return static_cast<int32_t>(code); }
// An event's code is an int32_t (a control index or a UiEventCode); these let
// the two be compared without casts (C++20 derives the other forms).
constexpr bool operator==(int32_t code, UiEventCode named) { return code == ToCode(named); }

// What made a window report Close (param1 of the event).
enum class CloseCause : int32_t {
  Window = 0,     // WM_CLOSE, the system menu's close, Alt+F4
  EscapeKey = 1,  // Escape in a window that closes on Escape
};

// One event. The text belongs to the event (dropped paths, an edited label);
// param2 of FilesDropped points at it, valid as long as this event object
// lives (a copy points at its own text).
struct UiEvent {
  int32_t code = 0;  // UiEventCode, a control index (> 0) or 0
  HWND window = nullptr;
  UINT message = 0;  // platform message that produced it
  int32_t param1 = 0;
  intptr_t param2 = 0;
  UiWindow* source = nullptr;  // window that raised it
  POINT point{};               // ContextMenu: screen point for the menu
  WideString text;

  UiEvent() = default;
  UiEvent(const UiEvent& other) { *this = other; }
  UiEvent& operator=(const UiEvent& other);
  UiEvent(UiEvent&& other) noexcept = default;
  UiEvent& operator=(UiEvent&& other) noexcept = default;

  bool Is(UiEventCode named) const { return code == named; }
  // The event's text; empty when it has none.
  const wchar_t* Text() const { return text.buf ? text.buf : L""; }
  // The control with this index of that window was activated.
  bool IsCommand(const UiWindow& window, int index) const {
    return index > 0 && code == index && source == &window;
  }
  bool IsFrom(const UiWindow& window) const { return source == &window; }
};

// The event asks that window to close (its close box, Alt+F4, the system menu,
// Escape in a dialog). A Close carries the window it closes as its source, so
// a loop that also watches another window (a dialog watching the main window)
// asks about each by name.
inline bool IsCloseOf(const UiEvent& event, const UiWindow& window) {
  return event.code == UiEventCode::Close && event.source == &window;
}
