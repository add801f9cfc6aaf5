#include "system/uninstaller.h"

#include <windows.h>

#include <sddl.h>

#include <vector>

#include "base/path.h"
#include "engine/find_handle.h"
#include "engine/force_delete.h"
#include "engine/handle_holder.h"
#include "engine/item_queries.h"
#include "system/file_type.h"
#include "system/installer.h"
#include "system/process_control.h"
#include "system/process_launch.h"
#include "system/registry_key.h"
#include "system/shell_link.h"
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
constexpr int kKeptHeight = 170;
constexpr int kKeptWidth = 420;

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

void AskWide(const InstallContext& context, const wchar_t* text, int height, int width) {
  if (context.mainWindow) {
    ShowMessageBox(*context.mainWindow, text, MessageBoxType::Ok, height, width);
    return;
  }
  UiWindow owner;
  ShowMessageBox(owner, text, MessageBoxType::Ok, height, width);
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

SecondStageStart StartSecondStage(const wchar_t* programPath) {
  WideString folder, copy;
  if (!TemporaryUninstallerPath(folder, copy)) return SecondStageStart::kNotStarted;
  // A link there is someone else's: neither followed nor removed.
  DWORD attributes = GetFileAttributesW(folder.CStr());
  if (attributes != INVALID_FILE_ATTRIBUTES && IsLinkPath(folder.CStr(), attributes))
    return SecondStageStart::kFolderIsLink;
  // The copy of an earlier "/Uninstall" still waiting for its answer.
  if (ProgramIsRunning(copy.CStr())) return SecondStageStart::kAlreadyRunning;
  // Whatever another user may have put there goes first; what cannot go
  // stops the uninstaller.
  if (ForceDelete(folder.CStr(), DeleteOption::DeleteRepairAccess |
                                     DeleteOption::DeleteOnlyInPlace |
                                     DeleteOption::DeleteNoShellNotice) != DeleteResult::Deleted)
    return SecondStageStart::kNotStarted;
  if (!CreatePrivateFolder(folder.CStr())) return SecondStageStart::kNotStarted;
  if (!CopyFileW(programPath, copy.CStr(), TRUE)) return SecondStageStart::kNotStarted;
  // Held without write or delete sharing from the check until the start, so
  // the file that was checked is the file that runs.
  HandleHolder held(
      CreateFileW(copy.CStr(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!held.Valid() || !SameContents(programPath, held.Get())) return SecondStageStart::kNotStarted;
  WideString commandLine;
  commandLine.AssignConcat(L"\"", copy.CStr(), L"\" /Uninstall");
  // Its current folder is the temporary folder, which it does not delete.
  WideString parent;
  parent.Substring(folder.CStr(), 1,
                   folder.Length() - static_cast<int32_t>(wcslen(kUninstallerFolder)));
  HandleHolder process(StartProcess(commandLine.CStr(), parent.CStr(), SW_SHOW, 0, copy.CStr()));
  return process.Valid() ? SecondStageStart::kStarted : SecondStageStart::kNotStarted;
}

namespace {

// Job files and run logs: what users keep in the install folder is theirs.
bool IsUsersFile(const wchar_t* name) {
  WideString extension(name);
  ExtensionPart(extension);
  return EqualsNoCase(extension.CStr(), L".hbak") || EqualsNoCase(extension.CStr(), L".log");
}

// Deletes the program's items below folder (long form), each in place: a
// link goes as a link, and one that cannot (a host system's link, which Wine
// shows as a plain item: deleting it would reach its target) stays, as does
// anything that resolves outside the folder. True when something stays in
// the folder, which then stays as well.
bool RemoveProgramItems(const wchar_t* folder, InstallRemoval& removal) {
  WideString search, child;
  JoinPath(search, folder, L"*");
  FindHandle find;
  bool found = FirstEntry(find, search.CStr());
  if (!found && find.lastError != ERROR_FILE_NOT_FOUND && find.lastError != ERROR_NO_MORE_FILES) {
    removal.incomplete = true;
    return true;
  }
  bool stays = false;
  FolderFinalPath folderFinal(folder);
  for (; found; found = NextEntry(find)) {
    JoinPath(child, folder, find.Name());
    bool gone = false;
    if (!child.ok) {
      gone = false;
    } else if (find.IsLink()) {
      gone = find.ReparseTag() != 0 &&
             (find.IsFolder() ? RemoveDirectoryW(child.CStr()) : DeleteFileW(child.CStr()));
    } else if (find.IsFolder()) {
      // What stays below was counted there already.
      if (RemoveProgramItems(child.CStr(), removal)) {
        stays = true;
        continue;
      }
      AccessList list;
      gone = ForceRemoveFolder(child.CStr(), DeleteOption::DeleteRepairAccess, list) ==
             DeleteResult::Deleted;
    } else if (IsUsersFile(find.Name())) {
      removal.usersFilesKept = true;
      stays = true;
      continue;
    } else {
      gone = ResolvesInPlace(child.CStr(), folderFinal) &&
             ForceDelete(child.CStr(),
                         DeleteOption::DeleteRepairAccess | DeleteOption::DeleteOnlyInPlace |
                             DeleteOption::DeleteNoShellNotice) == DeleteResult::Deleted;
    }
    if (!gone) {
      removal.incomplete = true;
      stays = true;
    }
  }
  return stays;
}

}  // namespace

InstallRemoval RemoveInstallFolder(const wchar_t* installFolder) {
  InstallRemoval removal;
  WideString folder(installFolder);
  AddLongPathPrefix(folder);
  DWORD attributes = GetFileAttributesW(folder.CStr());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    removal.incomplete =
        GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND;
    return removal;
  }
  // The install folder itself a link: nothing behind it is the program's to
  // delete.
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || IsLinkPath(folder.CStr(), attributes)) {
    removal.incomplete = true;
    return removal;
  }
  AccessList list;
  if (!RemoveProgramItems(folder.CStr(), removal) &&
      ForceRemoveFolder(folder.CStr(), DeleteOption::DeleteRepairAccess, list) !=
          DeleteResult::Deleted)
    removal.incomplete = true;
  if (!removal.usersFilesKept && !removal.incomplete)
    SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW, installFolder, nullptr);
  else
    NotifyFolderChanged(installFolder);
  return removal;
}

InstallRemoval RemoveInstallation(InstallLayout& layout) {
  InstallRemoval removal = RemoveInstallFolder(layout.installFolder.CStr());
  DeleteShortcut(layout.unattendedShortcut.CStr());
  DeleteShortcut(layout.normalShortcut.CStr());
  {
    RegistryKey key;
    key.DeleteTree(kUninstallKey);
  }
  UnregisterFileType();
  return removal;
}

bool RunUninstall(const InstallContext& context) {
  WideString folder, copy;
  if (!TemporaryUninstallerPath(folder, copy)) return false;
  if (!EqualsNoCase(context.programPath, copy.CStr())) {
    const SecondStageStart start = StartSecondStage(context.programPath);
    if (start == SecondStageStart::kStarted) return true;
    // Nothing was removed: say why, and end with a failure.
    WideString text;
    if (start == SecondStageStart::kAlreadyRunning)
      text.Assign(kUninstallerAlreadyRunning);
    else
      text.AssignConcat(start == SecondStageStart::kFolderIsLink ? kUninstallerFolderIsLink
                                                                 : kUninstallerNotPrepared,
                        folder.CStr());
    AskWide(context, text.CStr(), kKeptHeight, kKeptWidth);
    if (context.exitCode) *context.exitCode = kExitUninstallNotStarted;
    return false;
  }

  if (context.runMode != 0) return false;
  if (Ask(context, kUninstallQuestion, MessageBoxType::YesNo, kQuestionHeight) !=
      MessageBoxAnswer::Yes)
    return false;
  InstallLayout layout;
  InstallRemoval removal;
  if (BuildInstallLayout(context.consoleUserName, layout))
    removal = RemoveInstallation(layout);
  else
    removal.incomplete = true;
  if (removal.incomplete) {
    Ask(context, kUninstallIncompleteMessage, MessageBoxType::Ok, kIncompleteHeight);
  } else if (removal.usersFilesKept) {
    WideString text;
    text.AssignConcat(kUninstalledMessage, kUsersFilesKeptMessage, layout.installFolder.CStr());
    AskWide(context, text.CStr(), kKeptHeight, kKeptWidth);
  } else {
    Ask(context, kUninstalledMessage, MessageBoxType::Ok, kDoneHeight);
  }
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
