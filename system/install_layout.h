// Where an installation lives: the install folder below the program-files
// folder, the installed program and default settings file, the two desktop
// shortcuts and the registry keys. Built afresh from the system each time.
#pragma once

#include "base/wide_string.h"

inline constexpr wchar_t kProductName[] = L"Harborline Backup";
inline constexpr wchar_t kUninstallKey[] =
    L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Harborline Backup";
inline constexpr wchar_t kFileExtension[] = L".hbak";
inline constexpr wchar_t kFileTypeName[] = L"HarborlineFile";

struct InstallLayout {
  WideString installFolder;       // program files + "\Harborline Backup"
  WideString installedProgram;    // + "\Harborline.exe"
  WideString installedSettings;   // + "\" + console user + ".hbak"
  WideString unattendedShortcut;  // desktop + "\Update Backup (unattended).lnk"
  WideString normalShortcut;      // desktop + "\Harborline Backup.lnk"
};

// False when the program-files or the desktop folder cannot be found: every
// path would then begin at the root of a drive, where nothing may be
// installed or deleted.
bool BuildInstallLayout(const wchar_t* consoleUserName, InstallLayout& layout);
// The same from given folders; false when either is not a complete path.
bool BuildInstallLayoutFrom(const wchar_t* programFiles, const wchar_t* desktop,
                            const wchar_t* consoleUserName, InstallLayout& layout);

// Does this program run as the installed program?
bool RunsAsInstalledProgram(const wchar_t* programPath, InstallLayout& layout);
