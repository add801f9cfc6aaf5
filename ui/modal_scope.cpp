#include "ui/modal_scope.h"

#include <algorithm>

#include "ui/ui_window.h"

ModalScope::ModalScope(UiWindow& modal) : modal_(modal) {
  if (modal.handle) owner_ = GetWindow(modal.handle, GW_OWNER);
  // An owner disabled already belongs to an outer modal loop, which enables
  // it again when it ends.
  if (owner_ && IsWindowEnabled(owner_)) {
    EnableWindow(owner_, FALSE);
    disabledOwner_ = true;
  }
  if (modal.events) modal.events->modalWindows.push_back(&modal);
}

ModalScope::~ModalScope() {
  if (UiWindow* record = modal_.events) std::erase(record->modalWindows, &modal_);
  if (!owner_ || !IsWindow(owner_)) return;
  // Enabled before the modal window goes, so that the system hands the
  // activation back to the owner rather than to some other program.
  if (disabledOwner_) EnableWindow(owner_, TRUE);
  HWND active = GetActiveWindow();
  if (IsWindowVisible(owner_) && IsWindowEnabled(owner_) && (!active || active == modal_.handle))
    SetForegroundWindow(owner_);
}

bool BringModalToFront(UiWindow& record) {
  for (auto modal = record.modalWindows.rbegin(); modal != record.modalWindows.rend(); ++modal) {
    HWND window = (*modal)->handle;
    if (!window || !IsWindowVisible(window)) continue;
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(window);
    SetActiveWindow(window);
    (*modal)->RestoreFocus();
    record.activeWindow = *modal;
    return true;
  }
  return false;
}
