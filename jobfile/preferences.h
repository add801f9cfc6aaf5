// What the program remembers for a user, kept in that user's default
// settings file: the last folders of the folder pair dialog and the choice
// not to be warned before Strict runs. These always go to the default file,
// whichever job file is loaded.
#pragma once

#include "base/wide_string.h"
#include "jobfile/settings_file.h"

enum class HistoryKey {
  LastSource,       // "LastSrcFolder"
  LastDestination,  // "LastDstFolder"
};

// The folder last accepted for that side (empty when none), whole.
WideString ReadHistoryFolder(const wchar_t* defaultSettingsPath, HistoryKey key);
// The parent folder of that entry, where the dialogs start: trailing
// backslashes removed, then cut at the last backslash when it stands at the
// third character or later (E:\Backup\Docs gives E:\Backup, E:\Docs gives E:).
WideString HistoryParentFolder(const wchar_t* defaultSettingsPath, HistoryKey key);
// Remembers an accepted pair. True when both keys were written.
bool WriteHistoryFolders(const wchar_t* defaultSettingsPath, const wchar_t* source,
                         const wchar_t* destination);

// Whether "Dont ask again" was chosen: "SkipStrictWarning" is a non-empty
// text reading as a signed decimal number above 0.
bool IsStrictWarningSkipped(const wchar_t* defaultSettingsPath);
// Stores the choice ("1"). True when written. Nothing ever writes it back to 0.
bool SkipStrictWarningFromNowOn(const wchar_t* defaultSettingsPath);
// The reading of a "SkipStrictWarning" text.
bool IsSkipStrictWarningSet(const wchar_t* text);

// Makes the current job the default one: saves it into the default file,
// keeping the history and the warning choice there.
SettingsSaveResult SaveAsDefaultJob(const wchar_t* defaultSettingsPath,
                                    const JobSettings& settings);
// The same for the job the controls show.
SettingsSaveResult SaveAsDefaultJob(const wchar_t* defaultSettingsPath, UiWindow& window, int list,
                                    const ModeButtons& modes, const OptionBoxes& options);
