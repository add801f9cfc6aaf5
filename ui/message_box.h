// The program's own message box: a small framed window with a text and one to
// three buttons, run by a loop of its own on the owner's event record while the
// owner stays enabled.
#pragma once

class UiWindow;

// Button sets.
enum class MessageBoxType : int {
  Ok = 0,           // "OK"
  YesNo = 1,        // "Yes", "No"
  YesNoCancel = 3,  // "Yes", "No", "Cancel"
};

// Answers.
enum class MessageBoxAnswer : int {
  Cancel = -1,
  No = 0,   // also: the box was closed
  Yes = 1,  // also: OK
  LoopEnded = 50,
};

// Shows the text and waits for an answer. height is the client height; a width
// below 160 means 360. An owner without a window (before the program's first
// window exists) still gets a box, centred on the work area.
// Keys: Return presses the focused button ("Yes" or "OK" at first); Escape
// answers Cancel, No or OK by type, never Yes. Closing the box otherwise
// answers No. Events of other windows are ignored while the box is open, except
// that a Close of another window is kept for that window's loop.
MessageBoxAnswer ShowMessageBox(UiWindow& owner, const wchar_t* text, MessageBoxType type,
                                int height, int width);
