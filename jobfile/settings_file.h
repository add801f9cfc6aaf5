// The ".hbak" settings file: a backup job (folder pairs, mode, options) in
// INI-format text. Loading fills the main window's controls and saving reads
// them back; the folder-pair list is the job's only in-memory form. Keys and
// sections this file does not own are left as they are.
#pragma once

#include <cstdint>

class UiWindow;

// Columns of the folder-pair list, in order.
enum PairColumn : int {
  kSourceColumn = 0,
  kDestinationColumn = 1,
  kItemIdColumn = 2,     // key of the line the pair was loaded from
  kExtraTextColumn = 3,  // third field of a loaded line, carried back unchanged
};

// Control indices of the four mode radio buttons.
struct ModeButtons {
  int common = 0;
  int strict = 0;
  int restore = 0;
  int sync = 0;
};

// Control indices of the three option check boxes.
struct OptionBoxes {
  int updateMethod = 0;  // "Use update method"
  int skipSystem = 0;    // "Skip copying system files."
  int skipHidden = 0;    // "Skip copying hidden files."
};

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

// Outcome of a save.
struct SettingsSaveResult {
  // Successful writes among "Flag", "SkipAttributes" and the pair lines.
  int writes = 0;
  // "version", "Flag", "SkipAttributes" and every pair line were written: only
  // then does the file hold the job.
  bool complete = false;
};

// Loads a settings file into the list and the mode and option controls.
// Returns the "Flag" value read and stores the "SkipAttributes" value into
// skipMask when given. Never fails: a missing or unreadable file gives an
// empty list and the defaults. A file in the old format is upgraded first; its
// pairs are loaded even when the upgrade cannot write.
uint32_t LoadSettingsFile(const wchar_t* path, UiWindow& window, int list, const ModeButtons& modes,
                          const OptionBoxes& options, uint32_t* skipMask = nullptr);

// Saves the list and the controls into a settings file, creating it (in
// UTF-16LE) when it is missing.
SettingsSaveResult SaveSettingsFile(const wchar_t* path, UiWindow& window, int list,
                                    const ModeButtons& modes, const OptionBoxes& options);

// Rewrites a file in the old format (source=destination lines, no version)
// in the present one. Returns the number of pair lines written.
int UpgradeSettingsFile(const wchar_t* path);

// "Flag" as the controls show it: one mode bit (none for Common) plus the
// update method. Start computes the job's flags the same way.
uint32_t ModeFlagsFromControls(UiWindow& window, const ModeButtons& modes,
                               const OptionBoxes& options);
// "SkipAttributes" as the controls show it.
uint32_t SkipMaskFromControls(UiWindow& window, const OptionBoxes& options);
