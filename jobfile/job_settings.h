// The settings of one backup job as a plain value: the folder pairs with
// their checked state, the mode and the options. A ".hbak" file is read into
// it and written from it; the main window shows it in its controls and
// collects it back, and the console front end fills one from its arguments.
// Nothing here knows a window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Values of "Flag" and "SkipAttributes" (the engine's mode bits and the
// file-attribute skip mask).
struct SettingsFlag {
  enum : uint32_t {
    Strict = 0x01,
    Restore = 0x02,
    Sync = 0x04,
    UpdateMethod = 0x10,
    Default = 0x10,  // Common with the update method
  };
};
struct SettingsSkip {
  enum : uint32_t {
    Hidden = 0x02,
    System = 0x04,
    Default = 0x06,
  };
};

enum class JobMode : uint8_t { Common, Strict, Restore, Sync };

struct JobPair {
  std::wstring source;
  std::wstring destination;
  bool checked = true;
  // Key of the line the pair was loaded from (empty for a pair made in the
  // window); shown, never written: a save numbers the lines afresh.
  std::wstring itemId;
  // Third field of a loaded line, never produced or interpreted by the
  // program: it only travels from a loaded file back into a saved one.
  std::wstring extraText;

  bool operator==(const JobPair&) const = default;
};

// What a key reads as when a file does not have it. Older files never have
// them, so each one means what the program did before the key existed.
inline constexpr uint32_t kNoVersions = 0;             // "VersionDays": off
inline constexpr uint32_t kNewJobVersionDays = 30;     // what a new job starts with
inline constexpr uint32_t kDefaultDeletionGuard = 50;  // "DeletionGuard": percent, 0 = off
inline constexpr uint32_t kDefaultThreads = 0;         // "Threads": the program's own choice

struct JobSettings {
  std::vector<JobPair> pairs;  // in list order
  JobMode mode = JobMode::Common;
  bool updateMethod = true;  // "Use update method"
  uint32_t skipMask = SettingsSkip::Default;

  // Keep replaced and deleted files for this many days; 0 = off.
  uint32_t versionDays = kNoVersions;
  // Percent of the destination's files above which Strict's deletion pass
  // stops to ask (or, unattended, does not delete); 0 = off.
  uint32_t deletionGuard = kDefaultDeletionGuard;
  // Patterns of items left out, as the file keeps them; empty = none.
  std::wstring exclude;
  // When the job runs by itself, as the file keeps it; empty = never.
  std::wstring schedule;
  // Worker threads of a run; 0 = the program's own choice.
  uint32_t threads = kDefaultThreads;

  bool operator==(const JobSettings&) const = default;
};

// A job the user has not saved anywhere yet (no file to read): the defaults
// of a file without any key, except that versions are on.
JobSettings NewJobSettings();

// "Flag" for the value: one mode bit (none for Common) plus the update method.
// These are the engine's mode bits as well.
uint32_t ModeFlags(const JobSettings& settings);
// Mode and update method from a "Flag" value; of several mode bits Sync wins
// over Restore, Restore over Strict.
void SetModeFlags(JobSettings& settings, uint32_t flag);

enum class JobFileRead {
  Read,      // the file was read (an empty or partial one reads as its defaults)
  Missing,   // there is no such file: the value is NewJobSettings()
  Unusable,  // the path cannot be resolved: the value is NewJobSettings()
};

// Reads a settings file into the value. A file with neither [Settings] nor
// [Folders] lines holds no job yet and reads as a new one, except for the
// keys it has. A file in the old format is upgraded
// first; its pairs are read even when the upgrade cannot write. flagRead, when
// given, receives "Flag" as the file holds it (perhaps with several mode bits).
JobFileRead ReadJobSettings(const wchar_t* path, JobSettings& settings,
                            uint32_t* flagRead = nullptr);

// Outcome of a save.
struct SettingsSaveResult {
  // Successful writes among "Flag", "SkipAttributes" and the pair lines.
  int writes = 0;
  // "version", "Flag", "SkipAttributes", the keys that differ from a file
  // without them, and every pair line were written: only then does the file
  // hold the job.
  bool complete = false;
};

// Writes the value into a settings file, creating it (in UTF-16LE) when it is
// missing. Pairs with an empty source or destination are not written. Keys
// and sections the value does not hold are left as they are; a key whose
// value is what a file without it means is removed, so that older programs
// read the file exactly as before.
SettingsSaveResult WriteJobSettings(const wchar_t* path, const JobSettings& settings);

// Rewrites a file in the old format (source=destination lines, no version)
// in the present one. Returns the number of pair lines written.
int UpgradeSettingsFile(const wchar_t* path);
