// The one place where a job's settings become the engine's job record, for
// the main window's Start and the console front end alike.
#pragma once

#include "engine/backup_job.h"
#include "jobfile/job_settings.h"

// Sets the job's mode, options and the settings of the newer keys from the
// value; counters, roots and the transfer buffer are left alone.
void ApplyJobOptions(const JobSettings& settings, BackupJob& job);
