// Scheduling a job file: what "/Schedule:TEXT" does without a window and the
// schedule dialog does with one. The task goes to the platform's scheduler;
// the text stays in the job file too ("[Settings]" key "Schedule"), because
// the scheduler cannot always give the task back.
#pragma once

#include <string>

#include "app/application.h"
#include "system/task_schedule.h"

enum ScheduleExit : int {
  kScheduleDone = 0,
  kScheduleBadArgument = 2,  // not a schedule text, or no job file named
  kScheduleJobMissing = 3,   // the job file named does not exist
  // The scheduler cannot be reached or refused the task, or the task of
  // that name runs another job file of the same name.
  kScheduleRefused = 4,
};

// The program a task starts: the installed program when there is one, else
// the running one.
void ScheduledProgramPath(const Application& app, WideString& program);
// Registers (or for kNone removes) the job file's task and, when that
// worked, writes the schedule's text into the job file ("Schedule" key, gone
// for none).
TaskOutcome ScheduleJob(const Application& app, const wchar_t* jobFile, const Schedule& schedule);
// The job file's "Schedule" key as a schedule; kNone when absent or not
// readable as one.
Schedule JobFileSchedule(const wchar_t* jobFile);
// A schedule's text as the job's settings keep it: empty for none.
std::wstring ScheduleSettingText(const Schedule& schedule);
// "/Schedule:TEXT": the exit code.
int RunScheduleCommand(Application& app);
