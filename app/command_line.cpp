#include "app/command_line.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cwchar>
#include <utility>

#include "app/console/console_output.h"
#include "app/install/schedule_command.h"
#include "base/path.h"
#include "jobfile/profile_file.h"
#include "system/task_schedule.h"

namespace {

void RunUninstaller(Application& app) { app.RunUninstall(); }

UninstallHandler g_uninstall = RunUninstaller;

bool IsSwitch(const wchar_t* argument, const wchar_t* name) {
  if (argument[0] != L'/' && argument[0] != L'-') return false;
  return EqualsNoCase(argument + 1, name);
}

// The text after "/NAME:" (name given with its colon), or null.
const wchar_t* SwitchValue(const wchar_t* argument, const wchar_t* name) {
  if (argument[0] != L'/' && argument[0] != L'-') return nullptr;
  size_t length = wcslen(name);
  if (wcslen(argument + 1) < length || _wcsnicmp(argument + 1, name, length) != 0) return nullptr;
  return argument + 1 + length;
}

}  // namespace

void SetUninstallHandler(UninstallHandler handler) { g_uninstall = handler; }

UninstallHandler DefaultUninstallHandler() { return RunUninstaller; }

bool NamesSettingsFile(const wchar_t* argument) {
  WideString text(argument);
  int32_t at = text.Find(L".hbak", false, -1, 1, 0);
  return at > 0 && at == text.Length() - 4;
}

bool IsSettingsFileArgument(const wchar_t* argument) {
  // The name is looked at before the disk, which every switch would otherwise reach.
  return NamesSettingsFile(argument) && PathFileExistsW(argument);
}

bool ParseCommandLine(Application& app, const wchar_t* commandLine) {
  // The text comes without the program name, but the splitter parses its first
  // token by the program-name rules (and answers the program's own path for an
  // empty text), so a stand-in name goes first and is skipped.
  WideString line;
  line.AssignConcat(L"harborline ", commandLine);
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(line.CStr(), &count);
  if (!arguments) return true;
  bool goOn = true;
  for (int i = 1; i < count; ++i) {
    const wchar_t* argument = arguments[i];
    if (IsSwitch(argument, L"Passive")) {
      app.runMode = kPassive;
    } else if (IsSwitch(argument, L"Quiet")) {
      app.runMode = kQuiet;
    } else if (IsSwitch(argument, kScheduledSwitch + 1)) {
      app.scheduledRun = true;
    } else if (SwitchValue(argument, L"Schedule:")) {
      app.scheduleRequested = true;
      app.scheduleText.Assign(SwitchValue(argument, L"Schedule:"));
    } else if (IsSettingsFileArgument(argument)) {
      // The profile functions read a relative name in the Windows folder, not
      // in the current one where it was found.
      WideString full = FullSettingsPath(argument);
      if (full.ok)
        app.currentSettingsPath = std::move(full);
      else
        app.currentSettingsPath.Assign(argument);
      app.missingSettingsFile.Clear();
    } else if (NamesSettingsFile(argument)) {
      app.missingSettingsFile.Assign(argument);
    } else if (IsSwitch(argument, L"Uninstall")) {
      if (g_uninstall)
        g_uninstall(app);
      else
        WriteConsoleLine(L"harborline: the uninstaller is switched off; nothing was removed.");
      goOn = false;
      break;
    } else if (app.strayArgument.Length() == 0) {
      app.strayArgument.Assign(argument);
    }
  }
  LocalFree(arguments);
  if (goOn && app.scheduleRequested) {
    app.exitCode = RunScheduleCommand(app);
    goOn = false;
  }
  return goOn;
}
