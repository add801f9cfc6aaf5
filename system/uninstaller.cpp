#include "system/uninstaller.h"

#include <windows.h>

#include <sddl.h>

#include <vector>

#include "engine/force_delete.h"
#include "engine/handle_holder.h"
#include "system/file_type.h"
#include "system/installer.h"
#include "system/process_launch.h"
#include "system/registry_key.h"
#include "system/shell_link.h"
#include "system/task_schedule.h"
#include "ui/message_box.h"
#include "ui/ui_window.h"

namespace {

const wchar_t kUninstallerFolder[] = L"Harborline Uninstall";
const wchar_t kUninstallerProgram[] = L"Harborline Uninst.exe";
// Full access for the system and the administrators, nobody else; not
// inherited from the temporary folder, which every user may write.
const wchar_t kAdministratorsOnly[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr int kQuestionHeight = 130;
constexpr int kDoneHeight = 120;
constexpr int kIncompleteHeight = 150;

// A platform call that writes a path into the caller's buffer and answers its
// length, or the size it needs when the buffer is too small.
template <typename Call>
bool PathFromCall(WideString& path, Call call) {
  DWORD size = MAX_PATH;
  for (int attempt = 0; attempt < 8; ++attempt) {
    wchar_t* buffer = path.AssignN(static_cast<int32_t>(size), nullptr);
    if (!buffer) return false;
    DWORD length = call(buffer, size + 1);
    if (length == 0) return false;
    if (length <= size) {
      path.len = static_cast<int32_t>(length);
      path.ok = true;
      return true;
    }
    size = length;
  }
  return false;
}

bool ModulePath(WideString& path) {
  for (DWORD size = MAX_PATH; size <= 0x10000; size *= 2) {
    wchar_t* buffer = path.AssignN(static_cast<int32_t>(size), nullptr);
    if (!buffer) return false;
    DWORD length = GetModuleFileNameW(nullptr, buffer, size);
    if (length == 0) return false;
    if (length < size) {
      path.len = static_cast<int32_t>(length);
      path.ok = true;
      return true;
    }
  }
  return false;
}

bool CreatePrivateFolder(const wchar_t* folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1,
                                                            &descriptor, nullptr))
    return false;
  SECURITY_ATTRIBUTES security = {sizeof(security), descriptor, FALSE};
  // A folder that is there already was made by someone else since the removal.
  bool created = CreateDirectoryW(folder, &security) != FALSE;
  LocalFree(descriptor);
  return created;
}

// Whether the open file holds exactly the bytes of the program file.
bool SameContents(const wchar_t* programPath, HANDLE copy) {
  HandleHolder original(CreateFileW(programPath, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!original.Valid()) return false;
  LARGE_INTEGER a = {}, b = {};
  if (!GetFileSizeEx(original.Get(), &a) || !GetFileSizeEx(copy, &b) || a.QuadPart != b.QuadPart)
    return false;
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(copy, start, nullptr, FILE_BEGIN)) return false;
  std::vector<char> left(1 << 16), right(1 << 16);
  for (;;) {
    DWORD gotLeft = 0, gotRight = 0;
    if (!ReadFile(original.Get(), left.data(), static_cast<DWORD>(left.size()), &gotLeft,
                  nullptr) ||
        !ReadFile(copy, right.data(), static_cast<DWORD>(right.size()), &gotRight, nullptr))
      return false;
    if (gotLeft != gotRight || memcmp(left.data(), right.data(), gotLeft) != 0) return false;
    if (gotLeft == 0) return true;
  }
}

MessageBoxAnswer Ask(const InstallContext& context, const wchar_t* text, MessageBoxType type,
                     int height) {
  if (context.mainWindow) return ShowMessageBox(*context.mainWindow, text, type, height, 0);
  UiWindow owner;  // before the main window exists: a box on its own
  return ShowMessageBox(owner, text, type, height, 0);
}

}  // namespace

bool TemporaryUninstallerPath(WideString& folder, WideString& program) {
  WideString temporary;
  if (!PathFromCall(temporary,
                    [](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); }))
    return false;
  WideString longForm;
  if (!PathFromCall(longForm, [&](wchar_t* buffer, DWORD size) {
        return GetLongPathNameW(temporary.CStr(), buffer, size);
      }))
    return false;
  // Only a complete folder path will do: the folder below it is deleted.
  if (longForm.Length() < 3 || longForm.CStr()[longForm.Length() - 1] != L'\\') return false;
  folder.AssignConcat(longForm.CStr(), kUninstallerFolder);
  program.AssignConcat(folder.CStr(), L"\\", kUninstallerProgram);
  return folder.ok && program.ok;
}

bool StartSecondStage(const wchar_t* programPath) {
  WideString folder, copy;
  if (!TemporaryUninstallerPath(folder, copy)) return false;
  // Whatever another user may have put there goes first; what cannot go
  // stops the uninstaller.
  if (ForceDelete(folder.CStr(), DeleteOption::DeleteRepairAccess |
                                     DeleteOption::DeleteNoShellNotice) != DeleteResult::Deleted)
    return false;
  if (!CreatePrivateFolder(folder.CStr())) return false;
  if (!CopyFileW(programPath, copy.CStr(), TRUE)) return false;
  // Held without write or delete sharing from the check until the start, so
  // the file that was checked is the file that runs.
  HandleHolder held(
      CreateFileW(copy.CStr(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!held.Valid() || !SameContents(programPath, held.Get())) return false;
  WideString commandLine;
  commandLine.AssignConcat(L"\"", copy.CStr(), L"\" /Uninstall");
  // Its current folder is the temporary folder, which it does not delete.
  WideString parent;
  parent.Substring(folder.CStr(), 1,
                   folder.Length() - static_cast<int32_t>(wcslen(kUninstallerFolder)));
  HandleHolder process(StartProcess(commandLine.CStr(), parent.CStr(), SW_SHOW, 0, copy.CStr()));
  return process.Valid();
}

bool RemoveInstallation(InstallLayout& layout) {
  bool removed = ForceDelete(layout.installFolder.CStr(), DeleteOption::DeleteRepairAccess) ==
                 DeleteResult::Deleted;
  DeleteShortcut(layout.unattendedShortcut.CStr());
  DeleteShortcut(layout.normalShortcut.CStr());
  {
    RegistryKey key;
    key.DeleteTree(kUninstallKey);
  }
  UnregisterFileType();
  // A task left behind would start a program that is no longer there, every
  // night, with an error nobody sees.
  RemoveAllScheduledTasks();
  return removed;
}

bool RunUninstall(const InstallContext& context) {
  WideString folder, copy;
  if (!TemporaryUninstallerPath(folder, copy)) return false;
  if (!EqualsNoCase(context.programPath, copy.CStr())) return StartSecondStage(context.programPath);

  if (context.runMode != 0) return false;
  if (Ask(context, kUninstallQuestion, MessageBoxType::YesNo, kQuestionHeight) !=
      MessageBoxAnswer::Yes)
    return false;
  InstallLayout layout;
  bool removed = BuildInstallLayout(context.consoleUserName, layout) && RemoveInstallation(layout);
  if (removed)
    Ask(context, kUninstalledMessage, MessageBoxType::Ok, kDoneHeight);
  else
    Ask(context, kUninstallIncompleteMessage, MessageBoxType::Ok, kIncompleteHeight);
  SelfDelete();
}

void SelfDelete() {
  WideString self, folder, copy;
  WideString command;
  if (ModulePath(self)) {
    if (TemporaryUninstallerPath(folder, copy) && EqualsNoCase(self.CStr(), copy.CStr())) {
      // The folder goes with the copy; each attempt fails while the process
      // still runs, a later one succeeds.
      command.AssignConcat(L"%ComSpec% /c for /l %i in (1,1,100) do rmdir /s /q \"", folder.CStr(),
                           L"\"");
    } else {
      command.AssignConcat(L"%ComSpec% /c for /l %i in (1,1,100) do del /f /q \"", self.CStr(),
                           L"\"");
    }
    LaunchCommandLine(command.CStr(), SW_HIDE);
  }
  ExitProcess(0);
}
