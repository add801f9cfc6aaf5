// The program installs itself: the install folder with the program and the
// user's default settings file, two desktop shortcuts, the uninstall entry and
// the ".hbak" file type; and it removes them again when Install is cleared.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/wide_string.h"
#include "system/install_layout.h"

class UiWindow;

// What the installer and the uninstaller need to know of the running program.
struct InstallContext {
  uint8_t runMode = 0;  // 0 interactive; the installer does nothing otherwise
  const wchar_t* programPath = L"";
  const wchar_t* defaultSettingsPath = L"";
  const wchar_t* consoleUserName = L"";
  const wchar_t* versionText = L"";
  // The main window, whose event record the dialogs read, and its header's
  // minimise and close buttons. Without a window the boxes stand alone.
  UiWindow* mainWindow = nullptr;
  int minimizeButtonId = -1;
  int closeButtonId = -1;
  // Where a failure's exit code goes (the process's); may be null.
  int* exitCode = nullptr;
};

// The dialog's five boxes.
struct InstallChoices {
  bool install = false;
  bool unattendedShortcut = false;
  bool normalShortcut = false;
  bool uninstallEntry = false;
  bool association = false;
};

inline constexpr wchar_t kPublisher[] = L"Harborline Software";
inline constexpr wchar_t kUnattendedArguments[] = L" /Passive";

// The boxes as the system stands now.
InstallChoices ReadInstallState(InstallLayout& layout);

// Carries out the choices. True when the program must end: the installed
// copy was started with the program's own arguments (commandLine) and the
// show command, or the uninstaller's first stage started its copy.
bool ApplyInstallation(const InstallContext& context, const InstallChoices& choices,
                       const wchar_t* commandLine, int showCommand);

// Stops every running process whose program is the given file (never the
// calling process), each through the one handle its program was checked by.
void StopRunningCopies(const wchar_t* program);
// Told with the id of each process found running the program, before it is
// stopped; tests replace the process meanwhile. Null: nobody is told.
using StopHook = void (*)(DWORD processId);
void SetBeforeStopHook(StopHook hook);

// The seven values of the uninstall entry; false when the key cannot be
// created.
bool WriteUninstallEntry(InstallLayout& layout, const wchar_t* versionText);
