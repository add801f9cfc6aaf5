#include "app/job_options.h"

// The file's "Flag" and "SkipAttributes" bits are the engine's own, so they
// pass as they are.
static_assert(uint32_t{SettingsFlag::Strict} == BackupMode::Strict &&
              uint32_t{SettingsFlag::Restore} == BackupMode::Restore &&
              uint32_t{SettingsFlag::Sync} == BackupMode::Sync &&
              uint32_t{SettingsFlag::UpdateMethod} == BackupMode::UpdateMethod);
static_assert(uint32_t{SettingsSkip::Hidden} == SkipAttribute::SkipHidden &&
              uint32_t{SettingsSkip::System} == SkipAttribute::SkipSystem);

void ApplyJobOptions(const JobSettings& settings, BackupJob& job) {
  job.flags = ModeFlags(settings);
  job.skipAttributes = settings.skipMask;
  job.threads = settings.threads;
  job.exclusions.Assign(settings.exclude.c_str());
  job.versionDays = settings.versionDays;
  job.deletionGuard = settings.deletionGuard;
}
