// The program's own message box: a small framed window with a text and one to
// three buttons, run by a loop of its own on the owner's event record while the
// owner stays enabled.
#pragma once

class UiWindow;

// Button sets.
enum MessageBoxType : int {
  kMessageOk = 0,           // "OK"
  kMessageYesNo = 1,        // "Yes", "No"
  kMessageYesNoCancel = 3,  // "Yes", "No", "Cancel"
};

// Answers.
enum MessageBoxAnswer : int {
  kAnswerCancel = -1,
  kAnswerNo = 0,   // also: the box was closed
  kAnswerYes = 1,  // also: OK
  kAnswerLoopEnded = 50,
};

// Shows the text and waits for an answer. height is the client height; a width
// below 160 means 360. An owner without a window (before the program's first
// window exists) still gets a box, centred on the work area.
int ShowMessageBox(UiWindow& owner, const wchar_t* text, int type, int height, int width);
