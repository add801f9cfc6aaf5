// The settings dialog of the main window's "  Settings" button: installs the
// program on this PC, creates or removes the desktop shortcuts and the
// uninstall entry, and associates ".hbak" files with the program.
#pragma once

#include "system/installer.h"

class UiWindow;

// The dialog's controls, in the order they are made.
struct InstallDialogControls {
  int heading = 0;
  int install = 0;
  int unattendedShortcut = 0;
  int normalShortcut = 0;
  int uninstallEntry = 0;
  int association = 0;
  int ok = 0;
  int cancel = 0;
  // Not part of the installation: the user's "SkipStrictWarning" preference,
  // so that the strict-mode warning can be switched back on.
  int strictWarning = 0;
};

inline constexpr wchar_t kInstallDialogClass[] = L"Harborline_MsgBox";
inline constexpr int kInstallDialogWidth = 450;
inline constexpr int kInstallDialogHeight = 280;

// Creates the dialog's controls on a created window.
InstallDialogControls AddInstallDialogControls(UiWindow& dialog);
// Sets the boxes from the system's state.
void ShowInstallState(UiWindow& dialog, const InstallDialogControls& controls,
                      const InstallChoices& state);

// Runs the dialog in the main window's event loop. Does nothing when the
// program runs unattended. True when the program must end: an installed copy
// took over (or the uninstaller's first stage started), or the main window's
// close button was pressed.
bool RunInstallDialog(const InstallContext& context, const wchar_t* commandLine, int showCommand);
