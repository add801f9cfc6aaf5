// The ".hbak" settings file in the main window's controls: the job's value
// (jobfile/job_settings.h) shown in the folder-pair list and the mode and
// option buttons, and collected back from them.
#pragma once

#include <cstdint>

#include "jobfile/job_settings.h"

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

// The controls a job is shown in.
struct JobControls {
  int list = 0;
  ModeButtons modes;
  OptionBoxes options;
};

// Fills the list and the buttons from the value, raising no events. flag is
// "Flag" as a file held it, when known: the update box shows its bit also in
// Restore and Sync, where it is disabled.
void ShowJobSettings(UiWindow& window, const JobControls& controls, const JobSettings& settings,
                     const uint32_t* flag = nullptr);
// Takes the pairs, the mode and the options from the controls into the value;
// its other fields stay as they are. False when the list is no list or one of
// its cells could not be read whole (the value then does not hold the job).
bool CollectJobSettings(UiWindow& window, const JobControls& controls, JobSettings& settings);

// Reads a settings file into the controls. Returns the "Flag" value read and
// stores the "SkipAttributes" value into skipMask when given. Never fails: a
// missing or unreadable file gives an empty list and the defaults.
uint32_t LoadSettingsFile(const wchar_t* path, UiWindow& window, int list, const ModeButtons& modes,
                          const OptionBoxes& options, uint32_t* skipMask = nullptr);

// Saves the job the controls show into a settings file; the keys the controls
// do not show keep the values the file holds.
SettingsSaveResult SaveSettingsFile(const wchar_t* path, UiWindow& window, int list,
                                    const ModeButtons& modes, const OptionBoxes& options);

// "Flag" as the controls show it: one mode bit (none for Common) plus the
// update method. Start computes the job's flags the same way.
uint32_t ModeFlagsFromControls(UiWindow& window, const ModeButtons& modes,
                               const OptionBoxes& options);
// "SkipAttributes" as the controls show it.
uint32_t SkipMaskFromControls(UiWindow& window, const OptionBoxes& options);
