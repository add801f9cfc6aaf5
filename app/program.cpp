#include "app/program.h"

#include "app/command_line.h"
#include "app/console_output.h"

int RunProgram(Application& app, const wchar_t* commandLine, int /*showCommand*/) {
  if (!ParseCommandLine(app, commandLine)) return 0;
  if (app.currentSettingsPath.Length() == 0)
    app.currentSettingsPath.Assign(app.defaultSettingsPath.CStr());

  // The main window is not part of this build yet: report what start-up found
  // instead of pretending to run a job.
  static const wchar_t* const kModeNames[] = {L"interactive", L"passive", L"", L"quiet"};
  WideString report;
  report.AssignConcat(L"harborline: started in ", kModeNames[app.runMode & 3],
                      L" mode with settings file ", app.currentSettingsPath.CStr(), L".");
  WriteConsoleLine(report.CStr());
  WriteConsoleLine(
      L"harborline: the main window is not built yet, so no backup was run. "
      L"For a backup from the command line use hbcopy.exe.");
  return app.exitCode;
}
