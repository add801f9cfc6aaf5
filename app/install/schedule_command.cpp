#include "app/install/schedule_command.h"

#include <shlwapi.h>

#include "app/console/console_output.h"
#include "jobfile/job_settings.h"
#include "system/install_layout.h"

void ScheduledProgramPath(const Application& app, WideString& program) {
  InstallLayout layout;
  if (BuildInstallLayout(app.consoleUserName.buf ? app.consoleUserName.buf : L"", layout) &&
      PathFileExistsW(layout.installedProgram.CStr())) {
    program.Assign(layout.installedProgram.CStr());
    return;
  }
  program.Assign(app.programPath.buf ? app.programPath.buf : L"");
}

TaskOutcome ScheduleJob(const Application& app, const wchar_t* jobFile, const Schedule& schedule) {
  WideString program;
  ScheduledProgramPath(app, program);
  TaskAction action;
  action.program = program.CStr();
  action.jobFile = jobFile;
  action.userId = app.consoleUserName.buf;
  TaskOutcome outcome = ApplySchedule(schedule, action);
  if (outcome != TaskOutcome::kDone) return outcome;
  return WriteJobSchedule(jobFile, ScheduleSettingText(schedule)) ? TaskOutcome::kDone
                                                                  : TaskOutcome::kRefused;
}

std::wstring ScheduleSettingText(const Schedule& schedule) {
  if (schedule.kind == ScheduleKind::kNone) return std::wstring();
  WideString text;
  FormatSchedule(schedule, text);
  return std::wstring(text.CStr());
}

Schedule JobFileSchedule(const wchar_t* jobFile) {
  Schedule schedule;
  ParseSchedule(ReadJobSchedule(jobFile).c_str(), schedule);
  return schedule;
}

int RunScheduleCommand(Application& app) {
  Schedule schedule;
  if (!ParseSchedule(app.scheduleText.CStr(), schedule)) {
    WideString line;
    line.AssignConcat(L"harborline: not a schedule: \"", app.scheduleText.CStr(),
                      L"\" (daily@HH:MM, mon,wed,fri@HH:MM, logon or none)");
    WriteConsoleLine(line.CStr());
    return kScheduleBadArgument;
  }
  if (app.missingSettingsFile.Length() > 0) {
    WideString line;
    line.AssignConcat(L"harborline: the settings file ", app.missingSettingsFile.CStr(),
                      L" does not exist; nothing was scheduled.");
    WriteConsoleLine(line.CStr());
    return kScheduleJobMissing;
  }
  // The user's default settings file is never taken silently: the task would
  // run whatever job it holds at the time.
  if (app.currentSettingsPath.Length() == 0) {
    WriteConsoleLine(L"harborline: /Schedule needs the job file to schedule.");
    return kScheduleBadArgument;
  }
  TaskOutcome outcome = ScheduleJob(app, app.currentSettingsPath.CStr(), schedule);
  if (outcome == TaskOutcome::kDone) return kScheduleDone;
  if (outcome == TaskOutcome::kNameTaken)
    WriteConsoleLine(
        L"harborline: the task of that name runs another job file of the same name; "
        L"nothing was changed.");
  else
    WriteConsoleLine(
        outcome == TaskOutcome::kNoScheduler
            ? L"harborline: the Task Scheduler cannot be reached; nothing was scheduled."
            : L"harborline: the Task Scheduler refused the task.");
  return kScheduleRefused;
}
