#include "system/install_dialog.h"

#include "jobfile/preferences.h"
#include "ui/drawing.h"
#include "ui/modal_scope.h"
#include "ui/ui_window.h"

namespace {

// The three boxes indented below Install follow it.
void FollowInstall(UiWindow& dialog, const InstallDialogControls& controls, bool install) {
  uint32_t state = install ? kStateCheck | kStateEnable : kStateUncheck | kStateDisable;
  for (int box : {controls.unattendedShortcut, controls.normalShortcut, controls.uninstallEntry})
    dialog.SetControlState(box, state);
}

InstallChoices ReadChoices(UiWindow& dialog, const InstallDialogControls& controls) {
  InstallChoices choices;
  choices.install = dialog.IsChecked(controls.install);
  choices.unattendedShortcut = dialog.IsChecked(controls.unattendedShortcut);
  choices.normalShortcut = dialog.IsChecked(controls.normalShortcut);
  choices.uninstallEntry = dialog.IsChecked(controls.uninstallEntry);
  choices.association = dialog.IsChecked(controls.association);
  return choices;
}

}  // namespace

InstallDialogControls AddInstallDialogControls(UiWindow& dialog) {
  InstallDialogControls controls;
  NewControlSettings settings(dialog);
  settings.TextColour(RGB(0, 0, 0)).Font(12, 800);
  controls.heading =
      dialog.AddStatic(L"Harborline Backup settings", 50, 20, 350, 20, WS_VISIBLE | SS_CENTER);
  settings.Font(9, 800);
  controls.install =
      dialog.AddCheckBox(L"&Install the application on this PC (recommended)", 20, 70, 330);
  controls.unattendedShortcut =
      dialog.AddCheckBox(L"Create desktop shortcut for &unattended backup", 30, 100, 330);
  controls.normalShortcut = dialog.AddCheckBox(
      L"Create &normal desktop shortcut to launch Harborline Backup", 30, 130, 370);
  controls.uninstallEntry = dialog.AddCheckBox(
      L"Create uninstall &entry, to completely remove Harborline Backup", 30, 160, 380);
  controls.association =
      dialog.AddCheckBox(L"Associate the application with .&hbak files", 20, 190, 380);
  controls.ok = dialog.AddButton(L"&OK", 230, 245, 80, 26, WS_VISIBLE | BS_DEFPUSHBUTTON);
  controls.cancel = dialog.AddButton(L"&Cancel", 340, 245, 80, 26);
  controls.strictWarning = dialog.AddCheckBox(L"&Warn before a strict backup", 20, 249, 200);
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
  if (!dialog.Create(kInstallDialogClass, L"", kInstallDialogWidth, kInstallDialogHeight, kCentred,
                     kCentred, WS_POPUP, &events, main.handle))
    return false;
  ApplyDialogSkin(main, dialog, kInstallDialogHeight);
  InstallDialogControls controls = AddInstallDialogControls(dialog);
  InstallLayout layout;
  InstallChoices state;
  if (BuildInstallLayout(context.consoleUserName, layout)) state = ReadInstallState(layout);
  const bool warnsBeforeStrict = !IsStrictWarningSkipped(context.defaultSettingsPath);
  {
    UiEventMute quiet(dialog);
    ShowInstallState(dialog, controls, state);
    dialog.SetControlState(controls.strictWarning, warnsBeforeStrict ? kStateCheck : kStateUncheck);
  }
  dialog.Present(controls.ok);

  bool result = false;
  {
    ModalScope modal(dialog);
    // A Close of the main window (Alt+F4 on it) is its own loop's to answer,
    // once the dialog is over.
    HeldCloses heldCloses(events);
    UiEvent event;
    while (NextEvent(events, event)) {
      if (heldCloses.Hold(event, dialog)) continue;
      if (IsCloseOf(event, dialog) || event.IsCommand(dialog, controls.cancel)) break;
      if (event.IsFrom(main)) {
        // The main window's controls wait while the dialog is open, except the
        // header's minimise and close buttons.
        if (event.IsCommand(main, context.minimizeButtonId)) {
          ShowWindow(main.handle, SW_MINIMIZE);
          UpdateWindow(main.handle);
        } else if (event.IsCommand(main, context.closeButtonId)) {
          result = true;
          break;
        }
      } else if (event.IsCommand(dialog, controls.install)) {
        FollowInstall(dialog, controls, dialog.IsChecked(controls.install));
      } else if (event.IsCommand(dialog, controls.ok)) {
        InstallChoices choices = ReadChoices(dialog, controls);
        const bool warn = dialog.IsChecked(controls.strictWarning);
        if (warn != warnsBeforeStrict) SetStrictWarning(context.defaultSettingsPath, warn);
        ShowWindow(dialog.handle, SW_HIDE);
        result = ApplyInstallation(context, choices, commandLine, showCommand);
        break;
      }
    }
  }
  if (events.activeWindow == &dialog) events.activeWindow = nullptr;
  dialog.Dispose();
  return result;
}
