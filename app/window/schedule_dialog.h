// The dialog of the main window's "Schedule..." button: when the open job
// runs by itself (never, every day at a time, on chosen days at a time, or
// at log-on), and whether its task is in the Task Scheduler.
#pragma once

#include "system/task_schedule.h"

class Application;

inline constexpr wchar_t kScheduleDialogTitle[] = L"Schedule this job";

// Runs the dialog for the job file on the main window's event loop, starting
// from the schedule the job file keeps. True when OK applied a schedule (the
// task registered or removed and the file's key written); false on Cancel, a
// close, or the end of the loop.
bool ScheduleDialog(Application& app, const wchar_t* jobFile, Schedule& schedule);
