#include "system/installer.h"

#include <windows.h>

#include <psapi.h>
#include <shlobj.h>

#include <vector>

#include "engine/directory_creation.h"
#include "engine/file_size.h"
#include "engine/force_delete.h"
#include "engine/handle_holder.h"
#include "system/file_type.h"
#include "system/process_control.h"
#include "system/process_launch.h"
#include "system/registry_key.h"
#include "system/shell_link.h"
#include "system/uninstaller.h"

namespace {

bool FileExists(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Writes or removes one shortcut. result is the running result of the
// apply: a shortcut is only written while everything before succeeded.
void ApplyShortcut(ShellLink& link, bool wanted, bool& result, const wchar_t* path,
                   const wchar_t* program, const wchar_t* arguments) {
  if (!wanted) {
    DeleteShortcut(path);
    return;
  }
  if (result && link.OpenLink(path)) result = link.Save(program, arguments, program);
}

void QuotedProgram(WideString& text, const wchar_t* program, const wchar_t* arguments) {
  text.AssignConcat(L"\"", program, L"\"", arguments);
}

}  // namespace

InstallChoices ReadInstallState(InstallLayout& layout) {
  InstallChoices state;
  state.install = FileExists(layout.installedProgram.CStr());
  if (state.install) {
    state.unattendedShortcut = FileExists(layout.unattendedShortcut.CStr());
    state.normalShortcut = FileExists(layout.normalShortcut.CStr());
    RegistryKey entry;
    state.uninstallEntry = entry.OpenKey(kUninstallKey, kKeyRead);
  }
  state.association = IsFileTypeRegistered();
  return state;
}

namespace {
StopHook g_beforeStop = nullptr;
}  // namespace

void SetBeforeStopHook(StopHook hook) { g_beforeStop = hook; }

void StopRunningCopies(const wchar_t* program) {
  WideString image;
  for (DWORD id : RunningProcessIds()) {
    bool canTerminate = false;
    HandleHolder process(OpenProcessToCheck(id, canTerminate));
    if (!process.Valid() || !ProcessImagePath(process.Get(), image) ||
        !EqualsNoCase(image.CStr(), program))
      continue;
    if (g_beforeStop) g_beforeStop(id);
    StopOpenProcess(process.Get(), id, canTerminate);
  }
}

bool WriteUninstallEntry(InstallLayout& layout, const wchar_t* versionText) {
  RegistryKey key;
  if (!key.OpenKey(kUninstallKey, kOpenOrCreate)) return false;
  WideString uninstall;
  QuotedProgram(uninstall, layout.installedProgram.CStr(), L" /Uninstall /Quiet");
  WideString size;
  size.FromInt(static_cast<int32_t>(GetFolderSize(layout.installFolder.CStr()) >> 10));
  // Each value on its own: one that cannot be written leaves the others.
  key.SetValue(L"DisplayName", REG_SZ, kProductName);
  key.SetValue(L"DisplayVersion", REG_SZ, versionText);
  key.SetValue(L"InstallLocation", REG_SZ, layout.installFolder.CStr());
  key.SetValue(L"UninstallString", REG_SZ, uninstall.CStr());
  key.SetValue(L"DisplayIcon", REG_SZ, layout.installedProgram.CStr());
  key.SetValue(L"EstimatedSize", REG_SZ, size.CStr());
  key.SetValue(L"Publisher", REG_SZ, kPublisher);
  return true;
}

bool ApplyInstallation(const InstallContext& context, const InstallChoices& choices,
                       const wchar_t* commandLine, int showCommand) {
  InstallLayout layout;
  if (!BuildInstallLayout(context.consoleUserName, layout)) return false;
  bool result = true;
  bool runsInstalled = RunsAsInstalledProgram(context.programPath, layout);
  bool wantUnattended = false;
  if (choices.install) {
    result = CreateDirectoryTree(layout.installFolder.CStr());
    if (result && !runsInstalled) {
      result = CopyFileW(context.programPath, layout.installedProgram.CStr(), FALSE) != FALSE;
      // The user's existing settings are never overwritten.
      if (result && !FileExists(layout.installedSettings.CStr()))
        CopyFileW(context.defaultSettingsPath, layout.installedSettings.CStr(), FALSE);
    }
    wantUnattended = choices.unattendedShortcut;
  } else {
    if (runsInstalled) return RunUninstall(context);
    StopRunningCopies(layout.installedProgram.CStr());
    RemoveInstallFolder(layout.installFolder.CStr());
  }

  {
    ShellLink link;
    ApplyShortcut(link, wantUnattended, result, layout.unattendedShortcut.CStr(),
                  layout.installedProgram.CStr(), kUnattendedArguments);
    ApplyShortcut(link, choices.install && choices.normalShortcut, result,
                  layout.normalShortcut.CStr(), layout.installedProgram.CStr(), L"");
  }

  if (!(choices.install && choices.uninstallEntry)) {
    RegistryKey key;
    key.DeleteTree(kUninstallKey);
  } else if (result) {
    result = WriteUninstallEntry(layout, context.versionText);
  }

  if (choices.association) {
    WideString command;
    QuotedProgram(command, choices.install ? layout.installedProgram.CStr() : context.programPath,
                  L" \"%1\"");
    RegisterFileType(command.CStr());
  } else {
    UnregisterFileType();
  }
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);

  if (!(choices.install && result && !runsInstalled)) return false;
  WideString handOver;
  QuotedProgram(handOver, layout.installedProgram.CStr(), L" ");
  handOver.Append(commandLine);
  // Only a started copy may take over: otherwise the program stays open.
  return RunProcess(handOver.CStr(), layout.installFolder.CStr(), showCommand, kNoFsRedirection) !=
         0;
}
