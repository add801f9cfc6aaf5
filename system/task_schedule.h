// A job that runs itself: one task of the platform's Task Scheduler per job
// file, in a task folder of the program's own, that runs the program with
// the job file and "/Quiet". The task is written as task XML by the program
// and registered through the scheduler's COM interface, so that what is
// registered can be read as text.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/wide_string.h"

inline constexpr wchar_t kTaskFolderName[] = L"Harborline Backup";
inline constexpr wchar_t kTaskNamePrefix[] = L"Harborline Backup - ";
// The task's marker: the run report names a run started with it as
// scheduled.
inline constexpr wchar_t kScheduledSwitch[] = L"/Scheduled";

enum class ScheduleKind : uint8_t {
  kNone,    // no task
  kDaily,   // every day at the time
  kWeekly,  // on the chosen days of the week at the time
  kLogon,   // when the user logs on
};

// Bits of Schedule::days, Monday first as the texts list them.
struct ScheduleDay {
  enum : uint8_t {
    Monday = 0x01,
    Tuesday = 0x02,
    Wednesday = 0x04,
    Thursday = 0x08,
    Friday = 0x10,
    Saturday = 0x20,
    Sunday = 0x40,
    All = 0x7f,
  };
};

struct Schedule {
  ScheduleKind kind = ScheduleKind::kNone;
  uint8_t days = 0;  // ScheduleDay bits; kWeekly only
  uint8_t hour = 0;  // local time; kDaily and kWeekly
  uint8_t minute = 0;
};

// The schedule's text, as the switch, the job file and the dialog give it:
// "daily@21:00", "mon,wed,fri@07:30", "logon", "none" (any case, blanks
// around the parts allowed). An empty text is "none". False, with the
// schedule untouched, for anything else (a day twice, a time out of range).
bool ParseSchedule(const wchar_t* text, Schedule& schedule);
// The schedule's text in the form ParseSchedule reads: days in the week's
// order, the time with two digits each.
void FormatSchedule(const Schedule& schedule, WideString& text);

// "Harborline Backup - " + the job file's name without ".hbak".
void ScheduledTaskName(const wchar_t* jobFile, WideString& name);

// What the task runs and as whom.
struct TaskAction {
  const wchar_t* program = nullptr;  // full path of the program to start
  const wchar_t* jobFile = nullptr;  // full path of the job file
  // The interactive user ("DOMAIN\name" or "name") the task runs as, with
  // the highest privileges the user has; null or empty: whoever registers.
  const wchar_t* userId = nullptr;
};

// The task XML of the schedule (not kNone). startDate gives the first day of
// a time trigger (its year, month and day).
void BuildTaskXml(const Schedule& schedule, const TaskAction& action, const SYSTEMTIME& startDate,
                  WideString& xml);

enum class TaskOutcome : uint8_t {
  kDone,
  kNoScheduler,  // the Task Scheduler service cannot be reached
  kRefused,      // the scheduler refused the task or its removal
  // The task of that name runs another job file of the same name (in
  // another folder): it is neither replaced nor removed.
  kNameTaken,
};

// Registers the job's task (replacing its earlier one), creating the
// program's task folder when missing; kNone removes the task instead.
// Needs COM on the calling thread.
TaskOutcome ApplySchedule(const Schedule& schedule, const TaskAction& action);
// Removes the job's task; kDone also when there was none. A task of that
// name that runs another job file stays (kNameTaken).
TaskOutcome RemoveScheduledTask(const wchar_t* jobFile);
// Whether the scheduler holds a task for the job file.
bool ScheduledTaskExists(const wchar_t* jobFile);
// Removes every task in the program's task folder, then the folder; kDone
// also when there is no folder.
TaskOutcome RemoveAllScheduledTasks();
