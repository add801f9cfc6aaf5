#include "app/window/safety_net_dialog.h"

#include <windows.h>

#include <string>

#include "app/application.h"
#include "engine/deletion_guard.h"
#include "engine/versions.h"
#include "ui/drawing.h"
#include "ui/message_box.h"
#include "ui/modal_scope.h"
#include "ui/ui_window.h"

namespace {

constexpr wchar_t kDialogClass[] = L"Harborline_MsgBox";
constexpr int kDialogHeight = 215;
constexpr int kNoticeHeight = 120;
constexpr wchar_t kBadDays[] = L"Please enter a number of days from 1 to 36500.";
constexpr wchar_t kBadPercent[] = L"Please enter a percentage from 1 to 100.";

struct Controls {
  int keepVersions = 0, days = 0, guard = 0, percent = 0, ok = 0, cancel = 0;
};

int NumberEdit(UiWindow& dialog, int x, int y, int width, uint32_t value, uint32_t shown) {
  const int edit = dialog.AddEdit(y);
  dialog.SetControlBounds(edit, x, y, width, 22);
  HWND handle = dialog.ControlHandle(edit);
  SetWindowLongPtrW(handle, GWL_STYLE, GetWindowLongPtrW(handle, GWL_STYLE) | ES_NUMBER);
  dialog.SendToControl(edit, EM_SETLIMITTEXT, 5, 0);
  dialog.SetControlText(edit, std::to_wstring(value ? value : shown).c_str());
  return edit;
}

void Explain(UiWindow& dialog, const wchar_t* text, int y) {
  NewControlSettings grey(dialog);
  grey.TextColour(RGB(80, 80, 80));
  dialog.AddStatic(text, 42, y, 390, 32);
}

// An unticked option keeps its number for the next time it is ticked.
void ShowEnabled(UiWindow& dialog, const Controls& c) {
  dialog.SetControlState(c.days, dialog.IsChecked(c.keepVersions) ? kStateEnable : kStateDisable);
  dialog.SetControlState(c.percent, dialog.IsChecked(c.guard) ? kStateEnable : kStateDisable);
}

// False, with the reason shown, when a ticked option's number is unusable.
bool Collect(Application& app, UiWindow& dialog, const Controls& c, uint32_t& days,
             uint32_t& percent) {
  days = 0;
  percent = 0;
  if (dialog.IsChecked(c.keepVersions) &&
      !ParseCount(dialog.GetControlText(c.days).CStr(), kMaximumVersionDays, days)) {
    ShowMessageBox(app.mainWindow, kBadDays, MessageBoxType::Ok, kNoticeHeight, 0);
    return false;
  }
  if (dialog.IsChecked(c.guard) &&
      !ParseCount(dialog.GetControlText(c.percent).CStr(), kMaximumGuardPercent, percent)) {
    ShowMessageBox(app.mainWindow, kBadPercent, MessageBoxType::Ok, kNoticeHeight, 0);
    return false;
  }
  return true;
}

}  // namespace

bool ParseCount(const wchar_t* text, uint32_t maximum, uint32_t& value) {
  if (!text || !text[0]) return false;
  uint64_t number = 0;
  for (const wchar_t* c = text; *c; ++c) {
    if (*c < L'0' || *c > L'9') return false;
    number = number * 10 + static_cast<uint64_t>(*c - L'0');
    if (number > maximum) return false;
  }
  if (number == 0) return false;
  value = static_cast<uint32_t>(number);
  return true;
}

bool EditSafetyNet(Application& app, JobSettings& settings) {
  UiWindow& main = app.mainWindow;
  UiWindow& events = *main.events;
  UiWindow dialog;
  if (!CreateSkinnedDialog(main, dialog, kDialogClass, kDialogHeight)) return false;
  Controls c;
  dialog.SetFontForNewControls(10, 800, kFontPlain);
  {
    NewControlSettings blue(dialog);
    blue.TextColour(RGB(0, 0, 160));
    dialog.AddStatic(L"Safety net", 20, 14, 300, 20);
  }
  dialog.SetFontForNewControls(9, 400, kFontPlain);
  {
    NewControlSettings black(dialog);
    black.TextColour(RGB(0, 0, 0));
    c.keepVersions = dialog.AddCheckBox(L"&Keep replaced and deleted files for", 20, 46, 235);
    c.days = NumberEdit(dialog, 258, 43, 56, settings.versionDays, kNewJobVersionDays);
    dialog.AddStatic(L"days", 320, 46, 60, 18);
    Explain(dialog,
            L"Moved into a hidden \"Harborline Versions\" folder at the top of the folder "
            L"written, one folder per run; older runs are removed.",
            68);
    c.guard = dialog.AddCheckBox(L"&Deletion guard: ask before strict mode deletes more than", 20,
                                 110, 335);
    c.percent = NumberEdit(dialog, 358, 107, 44, settings.deletionGuard, kDefaultDeletionGuard);
    dialog.AddStatic(L"%", 408, 110, 20, 18);
    Explain(dialog,
            L"of the files in a destination folder. Unattended runs then delete nothing and "
            L"say why.",
            132);
  }
  dialog.SetControlState(c.keepVersions, settings.versionDays ? kStateCheck : kStateUncheck);
  dialog.SetControlState(c.guard, settings.deletionGuard ? kStateCheck : kStateUncheck);
  ShowEnabled(dialog, c);
  dialog.SetFontForNewControls(9, 800, kFontPlain);
  c.ok = dialog.AddButton(L"&OK", 250, kDialogHeight - 33, 80, 26);
  c.cancel = dialog.AddButton(L"&Cancel", 350, kDialogHeight - 33, 80, 26);
  dialog.SetDefaultButton(c.ok);
  dialog.Present(c.keepVersions);

  bool changed = false;
  ModalScope modal(dialog);
  HeldCloses heldCloses(events);
  UiEvent event;
  while (NextEvent(events, event)) {
    if (heldCloses.Hold(event, dialog)) continue;
    const int code = event.code;
    if (event.source == &main && code == app.closeButtonId) break;
    if (event.source != &dialog) continue;
    if (code == ToCode(UiEventCode::Close) || code == c.cancel) break;
    if (code == c.keepVersions || code == c.guard) ShowEnabled(dialog, c);
    if (code == c.ok || code == ToCode(UiEventCode::ReturnPressed)) {
      uint32_t days = 0, percent = 0;
      if (!Collect(app, dialog, c, days, percent)) {
        dialog.Present(c.ok);
        continue;
      }
      changed = days != settings.versionDays || percent != settings.deletionGuard;
      settings.versionDays = days;
      settings.deletionGuard = percent;
      break;
    }
  }
  DisposeDialog(main, dialog);
  return changed;
}
