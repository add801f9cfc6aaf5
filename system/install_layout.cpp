#include "system/install_layout.h"

#include <windows.h>

#include <shlobj.h>

namespace {

// A known folder, or false when the system has none: an empty or relative
// answer is no folder to build on.
bool KnownFolder(int csidl, WideString& folder) {
  // The lookup writes at most the classic path length.
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return false;
  folder.Assign(buffer);
  if (folder.Length() < 3) return false;
  const wchar_t* text = folder.CStr();
  bool drivePath = text[1] == L':' && text[2] == L'\\';
  bool networkPath = text[0] == L'\\' && text[1] == L'\\';
  return drivePath || networkPath;
}

}  // namespace

bool BuildInstallLayout(const wchar_t* consoleUserName, InstallLayout& layout) {
  WideString programFiles;
  WideString desktop;
  if (!KnownFolder(CSIDL_PROGRAM_FILES, programFiles) ||
      !KnownFolder(CSIDL_DESKTOPDIRECTORY, desktop))
    return false;
  layout.installFolder.AssignConcat(programFiles.CStr(), L"\\", kProductName);
  layout.installedProgram.AssignConcat(layout.installFolder.CStr(), L"\\Harborline.exe");
  layout.installedSettings.AssignConcat(layout.installFolder.CStr(), L"\\",
                                        consoleUserName ? consoleUserName : L"", kFileExtension);
  layout.unattendedShortcut.AssignConcat(desktop.CStr(), L"\\Update Backup (unattended).lnk");
  layout.normalShortcut.AssignConcat(desktop.CStr(), L"\\", kProductName, L".lnk");
  return layout.installFolder.ok && layout.installedProgram.ok && layout.installedSettings.ok &&
         layout.unattendedShortcut.ok && layout.normalShortcut.ok;
}

bool RunsAsInstalledProgram(const wchar_t* programPath, InstallLayout& layout) {
  return EqualsNoCase(programPath, layout.installedProgram.CStr());
}
