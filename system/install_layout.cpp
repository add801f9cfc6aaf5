#include "system/install_layout.h"

#include <windows.h>

#include <shlobj.h>

#include <cwchar>

namespace {

// Only a drive or network path is a folder to build on: an empty or relative
// one would put the installation at the root of the current drive.
bool IsCompleteFolder(const wchar_t* folder) {
  if (!folder || wcslen(folder) < 3) return false;
  bool drivePath = folder[1] == L':' && folder[2] == L'\\';
  bool networkPath = folder[0] == L'\\' && folder[1] == L'\\';
  return drivePath || networkPath;
}

bool KnownFolder(int csidl, WideString& folder) {
  // The lookup writes at most the classic path length.
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return false;
  folder.Assign(buffer);
  return folder.ok;
}

}  // namespace

bool BuildInstallLayout(const wchar_t* consoleUserName, InstallLayout& layout) {
  WideString programFiles;
  WideString desktop;
  return KnownFolder(CSIDL_PROGRAM_FILES, programFiles) &&
         KnownFolder(CSIDL_DESKTOPDIRECTORY, desktop) &&
         BuildInstallLayoutFrom(programFiles.CStr(), desktop.CStr(), consoleUserName, layout);
}

bool BuildInstallLayoutFrom(const wchar_t* programFiles, const wchar_t* desktop,
                            const wchar_t* consoleUserName, InstallLayout& layout) {
  if (!IsCompleteFolder(programFiles) || !IsCompleteFolder(desktop)) return false;
  layout.installFolder.AssignConcat(programFiles, L"\\", kProductName);
  layout.installedProgram.AssignConcat(layout.installFolder.CStr(), L"\\Harborline.exe");
  layout.installedSettings.AssignConcat(layout.installFolder.CStr(), L"\\",
                                        consoleUserName ? consoleUserName : L"", kFileExtension);
  layout.unattendedShortcut.AssignConcat(desktop, L"\\Update Backup (unattended).lnk");
  layout.normalShortcut.AssignConcat(desktop, L"\\", kProductName, L".lnk");
  return layout.installFolder.ok && layout.installedProgram.ok && layout.installedSettings.ok &&
         layout.unattendedShortcut.ok && layout.normalShortcut.ok;
}

bool RunsAsInstalledProgram(const wchar_t* programPath, InstallLayout& layout) {
  return EqualsNoCase(programPath, layout.installedProgram.CStr());
}
