// A modal loop's hold on the window that opened it. While a dialog, a message
// box or the progress window of a run waits for its answer, its owner is
// disabled, so that a click on it does nothing, and whenever the owner is
// activated or clicked the modal window comes back to the front with the
// focus. Without this a window manager that raises the clicked owner (Wine's
// own, when no other runs) hides the dialog behind a window that ignores
// every click, because the dialog's loop owns the events.
#pragma once

#include <windows.h>

class UiWindow;

class ModalScope {
 public:
  // The modal window must exist (and is usually shown already); its owner is
  // the window it was created with. The scope must end before the modal
  // window is destroyed: the owner then takes the activation back.
  explicit ModalScope(UiWindow& modal);
  ~ModalScope();
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;

 private:
  UiWindow& modal_;
  HWND owner_ = nullptr;
  bool disabledOwner_ = false;
};

// Brings the innermost modal window of the record that is shown to the front,
// activates it and gives the focus back to the control that had it; false
// when no modal loop runs.
bool BringModalToFront(UiWindow& record);
