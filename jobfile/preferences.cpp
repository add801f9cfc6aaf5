#include "jobfile/preferences.h"

#include "base/path.h"
#include "jobfile/profile_file.h"

namespace {

constexpr wchar_t kHistorySection[] = L"History";
constexpr wchar_t kSettingsSection[] = L"Settings";
constexpr wchar_t kSkipStrictWarningKey[] = L"SkipStrictWarning";

const wchar_t* KeyName(HistoryKey key) {
  return key == HistoryKey::LastSource ? L"LastSrcFolder" : L"LastDstFolder";
}

}  // namespace

WideString ReadHistoryFolder(const wchar_t* defaultSettingsPath, HistoryKey key) {
  WideString file = FullSettingsPath(defaultSettingsPath);
  WideString folder;
  if (file.ok) folder = ReadProfileText(file.CStr(), kHistorySection, KeyName(key), L"");
  // An entry that could not be read whole is no folder to start from.
  if (!folder.ok) folder.Assign(L"");
  return folder;
}

WideString HistoryParentFolder(const wchar_t* defaultSettingsPath, HistoryKey key) {
  WideString folder = ReadHistoryFolder(defaultSettingsPath, key);
  ParentFolder(folder, false);
  folder.ok = true;
  return folder;
}

bool WriteHistoryFolders(const wchar_t* defaultSettingsPath, const wchar_t* source,
                         const wchar_t* destination) {
  WideString file = FullSettingsPath(defaultSettingsPath);
  if (!file.ok) return false;
  bool sourceWritten =
      WriteProfileText(file.CStr(), kHistorySection, KeyName(HistoryKey::LastSource), source);
  bool destinationWritten = WriteProfileText(file.CStr(), kHistorySection,
                                             KeyName(HistoryKey::LastDestination), destination);
  return sourceWritten && destinationWritten;
}

bool IsSkipStrictWarningSet(const wchar_t* text) {
  return text && *text && ReadSignedNumber(text) > 0;
}

bool IsStrictWarningSkipped(const wchar_t* defaultSettingsPath) {
  WideString file = FullSettingsPath(defaultSettingsPath);
  if (!file.ok) return false;
  WideString value = ReadProfileText(file.CStr(), kSettingsSection, kSkipStrictWarningKey, L"0");
  return value.ok && IsSkipStrictWarningSet(value.CStr());
}

bool SkipStrictWarningFromNowOn(const wchar_t* defaultSettingsPath) {
  WideString file = FullSettingsPath(defaultSettingsPath);
  return file.ok && WriteProfileText(file.CStr(), kSettingsSection, kSkipStrictWarningKey, L"1");
}

SettingsSaveResult SaveAsDefaultJob(const wchar_t* defaultSettingsPath,
                                    const JobSettings& settings) {
  return WriteJobSettings(defaultSettingsPath, settings);
}

SettingsSaveResult SaveAsDefaultJob(const wchar_t* defaultSettingsPath, UiWindow& window, int list,
                                    const ModeButtons& modes, const OptionBoxes& options) {
  return SaveSettingsFile(defaultSettingsPath, window, list, modes, options);
}
