#include "system/file_type.h"

#include <windows.h>

#include "system/install_layout.h"
#include "system/registry_key.h"

namespace {

const wchar_t kMachineClasses[] = L"HKLM64\\SOFTWARE\\Classes\\";
const wchar_t kUserClasses[] = L"HKCU\\Software\\Classes\\";
const wchar_t kUserFileExts[] =
    L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
const wchar_t kFileTypeDescription[] = L"Harborline settings file";

bool HoldsTwoPercents(const wchar_t* text) {
  int count = 0;
  for (; *text; ++text)
    if (*text == L'%') ++count;
  return count >= 2;
}

}  // namespace

bool RegisterFileType(const wchar_t* openCommand) {
  if (!openCommand) return false;
  RegistryKey key;
  WideString path;
  key.DeleteTree(path.AssignConcat(kUserClasses, kFileExtension).CStr());
  key.DeleteTree(path.AssignConcat(kUserClasses, kFileTypeName).CStr());

  bool ok1 = key.CreateAndSetDefault(path.AssignConcat(kMachineClasses, kFileExtension).CStr(),
                                     REG_SZ, kFileTypeName);
  bool ok2 = key.CreateAndSetDefault(path.AssignConcat(kMachineClasses, kFileTypeName).CStr(),
                                     REG_SZ, kFileTypeDescription);
  bool ok3 = key.CreateAndSetDefault(
      path.AssignConcat(kMachineClasses, kFileTypeName, L"\\Shell\\Open\\command").CStr(),
      HoldsTwoPercents(openCommand) ? REG_EXPAND_SZ : REG_SZ, openCommand);
  // The file type shows the icon of the program that opens it.
  key.DeleteTree(path.AssignConcat(kMachineClasses, kFileTypeName, L"\\DefaultIcon").CStr());
  bool result = ok1 && ok2 && ok3;
  if (!result) return false;

  // A protected user choice keeps its old value: these writes may fail.
  if (key.OpenKey(path.AssignConcat(kUserFileExts, kFileExtension, L"\\OpenWithProgids").CStr(),
                  kOpenOrCreate))
    key.SetValue(kFileTypeName, REG_NONE, nullptr);
  if (key.OpenKey(path.AssignConcat(kUserFileExts, kFileExtension, L"\\UserChoice").CStr(),
                  kOpenOrCreate))
    key.SetValue(L"Progid", REG_SZ, kFileTypeName);
  return true;
}

void UnregisterFileType() {
  RegistryKey key;
  WideString path;
  key.DeleteTree(path.AssignConcat(L"HKCR\\", kFileExtension).CStr());
  key.DeleteTree(path.AssignConcat(L"HKCR\\", kFileTypeName).CStr());
}

bool IsFileTypeRegistered() {
  RegistryKey key;
  WideString path;
  WideString type;
  return key.OpenKey(path.AssignConcat(L"HKCR\\", kFileExtension).CStr(), kKeyRead) &&
         key.ReadDefaultText(type) && EqualsNoCase(type.CStr(), kFileTypeName);
}
