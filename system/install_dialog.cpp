#include "system/install_dialog.h"

#include "ui/drawing.h"
#include "ui/ui_window.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr uint8_t kPlainFont = 1;

// The three boxes indented below Install follow it.
void FollowInstall(UiWindow& dialog, const InstallDialogControls& controls, bool install) {
  uint32_t state = install ? kStateCheck | kStateEnable : kStateUncheck | kStateDisable;
  for (int box : {controls.unattendedShortcut, controls.normalShortcut, controls.uninstallEntry})
    dialog.SetControlState(box, state);
}

bool IsChecked(UiWindow& dialog, int index) { return dialog.GetCheckState(index) == kStateCheck; }

InstallChoices ReadChoices(UiWindow& dialog, const InstallDialogControls& controls) {
  InstallChoices choices;
  choices.install = IsChecked(dialog, controls.install);
  choices.unattendedShortcut = IsChecked(dialog, controls.unattendedShortcut);
  choices.normalShortcut = IsChecked(dialog, controls.normalShortcut);
  choices.uninstallEntry = IsChecked(dialog, controls.uninstallEntry);
  choices.association = IsChecked(dialog, controls.association);
  return choices;
}

void Present(UiWindow& events, UiWindow& dialog, int focus) {
  ShowWindow(dialog.handle, SW_SHOWNORMAL);
  UpdateWindow(dialog.handle);
  BringWindowToTop(dialog.handle);
  SetForegroundWindow(dialog.handle);
  if (GetForegroundWindow() == dialog.handle) events.activeWindow = &dialog;
  dialog.SetControlState(focus, kStateFocus);
}

}  // namespace

InstallDialogControls AddInstallDialogControls(UiWindow& dialog) {
  InstallDialogControls controls;
  dialog.newControlTextColour = kBlack;
  dialog.SetFontForNewControls(12.0, 800, kPlainFont);
  controls.heading =
      dialog.AddStatic(L"Harborline Backup settings", 50, 20, 350, 20, WS_VISIBLE | SS_CENTER);
  dialog.SetFontForNewControls(9.0, 800, kPlainFont);
  controls.install =
      dialog.AddCheckBox(L"Install the application on this PC (recommended)", 20, 70, 330);
  controls.unattendedShortcut =
      dialog.AddCheckBox(L"Create desktop shortcut for unattended backup", 30, 100, 330);
  controls.normalShortcut = dialog.AddCheckBox(
      L"Create normal desktop shortcut to launch Harborline Backup", 30, 130, 370);
  controls.uninstallEntry = dialog.AddCheckBox(
      L"Create uninstall entry, to completely remove Harborline Backup", 30, 160, 380);
  controls.association =
      dialog.AddCheckBox(L"Associate the application with .hbak files", 20, 190, 380);
  controls.ok = dialog.AddButton(L"OK", 230, 245, 80, 26, WS_VISIBLE | BS_DEFPUSHBUTTON);
  controls.cancel = dialog.AddButton(L"Cancel", 340, 245, 80, 26);
  return controls;
}

void ShowInstallState(UiWindow& dialog, const InstallDialogControls& controls,
                      const InstallChoices& state) {
  if (state.install) {
    dialog.SetControlState(controls.install, kStateCheck);
    // A missing item leaves its box as made: unchecked and enabled.
    if (state.unattendedShortcut) dialog.SetControlState(controls.unattendedShortcut, kStateCheck);
    if (state.normalShortcut) dialog.SetControlState(controls.normalShortcut, kStateCheck);
    if (state.uninstallEntry) dialog.SetControlState(controls.uninstallEntry, kStateCheck);
  } else {
    dialog.SetControlState(controls.install, kStateUncheck);
    FollowInstall(dialog, controls, false);
  }
  dialog.SetControlState(controls.association, state.association ? kStateCheck : kStateUncheck);
}

bool RunInstallDialog(const InstallContext& context, const wchar_t* commandLine, int showCommand) {
  if (context.runMode != 0 || !context.mainWindow) return false;
  UiWindow& main = *context.mainWindow;
  UiWindow& events = main.events ? *main.events : main;
  UiWindow dialog;
  if (!dialog.Create(kInstallDialogClass, L"", kInstallDialogWidth, kInstallDialogHeight, -1, -1,
                     WS_POPUP, &events, main.handle))
    return false;
  ApplyDialogSkin(main, dialog, kInstallDialogHeight);
  InstallDialogControls controls = AddInstallDialogControls(dialog);
  InstallLayout layout;
  InstallChoices state;
  if (BuildInstallLayout(context.consoleUserName, layout)) state = ReadInstallState(layout);
  ShowInstallState(dialog, controls, state);
  Present(events, dialog, controls.ok);

  bool result = false;
  while (PumpEvent(events, 0)) {
    UiWindow* source = events.eventSource;
    int32_t code = events.eventCode;
    if (source == &main && code > 0) {
      // The main window's controls wait while the dialog is open, except the
      // header's minimise and close buttons.
      if (code == context.minimizeButtonId) {
        ShowWindow(main.handle, SW_MINIMIZE);
        UpdateWindow(main.handle);
      } else if (code == context.closeButtonId) {
        result = true;
        break;
      }
      continue;
    }
    if (source != &dialog) continue;
    if (code == Close || (code == controls.cancel && code > 0)) break;
    if (code == controls.install && code > 0) {
      FollowInstall(dialog, controls, IsChecked(dialog, controls.install));
    } else if (code == controls.ok && code > 0) {
      InstallChoices choices = ReadChoices(dialog, controls);
      ShowWindow(dialog.handle, SW_HIDE);
      result = ApplyInstallation(context, choices, commandLine, showCommand);
      break;
    }
  }
  dialog.Dispose();
  return result;
}
