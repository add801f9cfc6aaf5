// Removes the installation in two stages. The first stage copies the program
// into a folder of its own below the temporary folder and starts that copy;
// the second stage, running from there, asks, removes the installation and
// has the command processor delete the copy once it has ended.
#pragma once

#include "base/wide_string.h"
#include "system/install_layout.h"

struct InstallContext;

inline constexpr wchar_t kUninstallQuestion[] =
    L"Are you sure you want to uninstall Harborline Backup?";
inline constexpr wchar_t kUninstalledMessage[] = L"Harborline Backup was uninstalled.";
inline constexpr wchar_t kUninstallIncompleteMessage[] =
    L"Harborline Backup could not be uninstalled completely.\r\n\r\nSome of its files are in use "
    L"or protected.";

inline constexpr wchar_t kUsersFilesKeptMessage[] =
    L"\r\n\r\nYour job files and run logs were kept in:\r\n";

// What removing the install folder left.
struct InstallRemoval {
  bool usersFilesKept = false;  // job files or run logs stay, and the folders holding them
  bool incomplete = false;      // something of the program's stayed
};

// First stage: true once the second stage has started (the caller then ends
// the program); when it cannot start, says why and sets the exit code. Second stage: false when
// declined or run unattended; after a confirmed removal it does not return.
bool RunUninstall(const InstallContext& context);

inline constexpr wchar_t kUninstallerAlreadyRunning[] =
    L"Harborline Backup is already being uninstalled.\r\n\r\nAnswer the uninstaller's open "
    L"question first. Nothing was removed.";
inline constexpr wchar_t kUninstallerFolderIsLink[] =
    L"Harborline Backup was not uninstalled: in place of the uninstaller's temporary folder "
    L"there is a link, which it neither follows nor removes:\r\n";
inline constexpr wchar_t kUninstallerNotPrepared[] =
    L"Harborline Backup was not uninstalled: the uninstaller could not be prepared in its "
    L"temporary folder:\r\n";
// The process's exit code when "/Uninstall" could not go ahead.
inline constexpr int kExitUninstallNotStarted = 4;

enum class SecondStageStart {
  kStarted,         // the temporary copy runs and asks
  kAlreadyRunning,  // an earlier copy runs there still, nothing was touched
  kFolderIsLink,    // a link stands where the folder goes, nothing was touched
  kNotStarted,      // the folder could not be made afresh or the copy failed
};

// The temporary uninstaller's folder and program file.
bool TemporaryUninstallerPath(WideString& folder, WideString& program);
// The first stage: recreates the temporary uninstaller's folder, for
// administrators and the system only, copies the program into it, checks the
// copy and starts exactly that file with "/Uninstall". Anything but kStarted:
// nothing was started.
SecondStageStart StartSecondStage(const wchar_t* programPath);
// Removes the program's items from the install folder, in place: links go as
// links (one that cannot go so stays), nothing outside the folder changes,
// and the users' job files (".hbak") and run logs (".log") stay, with the
// folders that hold them.
InstallRemoval RemoveInstallFolder(const wchar_t* installFolder);
// The removals of the second stage: the install folder as above, the
// shortcuts, the uninstall entry and the file type.
InstallRemoval RemoveInstallation(InstallLayout& layout);
// Has the command processor delete this program (and the temporary
// uninstaller's folder when it runs from there) and ends the process.
[[noreturn]] void SelfDelete();
