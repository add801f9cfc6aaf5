#include "jobfile/job_settings.h"

#include <windows.h>

#include <cwchar>

#include "base/wide_string.h"
#include "jobfile/profile_file.h"

namespace {

constexpr wchar_t kSettingsSection[] = L"Settings";
constexpr wchar_t kFoldersSection[] = L"Folders";
constexpr wchar_t kVersionKey[] = L"version";
constexpr wchar_t kFlagKey[] = L"Flag";
constexpr wchar_t kSkipKey[] = L"SkipAttributes";
constexpr wchar_t kVersionDaysKey[] = L"VersionDays";
constexpr wchar_t kDeletionGuardKey[] = L"DeletionGuard";
constexpr wchar_t kExcludeKey[] = L"Exclude";
constexpr wchar_t kScheduleKey[] = L"Schedule";
constexpr wchar_t kThreadsKey[] = L"Threads";
constexpr wchar_t kCurrentVersion[] = L"1";
constexpr wchar_t kFieldSeparator[] = L"<|>";
constexpr wchar_t kUncheckedMark = L'0';
constexpr wchar_t kCheckedMark = L'1';

// The lines of a section buffer ("key=value", each ending in a zero, the last
// followed by a second zero), in file order.
std::vector<const wchar_t*> LinesOf(const std::vector<wchar_t>& section) {
  std::vector<const wchar_t*> lines;
  const wchar_t* end = section.data() + section.size();
  for (const wchar_t* line = section.data(); line < end && *line; line += wcslen(line) + 1)
    lines.push_back(line);
  return lines;
}

void AppendLine(std::vector<wchar_t>& section, const wchar_t* a, const wchar_t* b = L"",
                const wchar_t* c = L"", const wchar_t* d = L"", const wchar_t* e = L"") {
  for (const wchar_t* part : {a, b, c, d, e})
    section.insert(section.end(), part, part + wcslen(part));
  section.push_back(0);
}

void EndSection(std::vector<wchar_t>& section) {
  section.push_back(0);
  if (section.size() < 2) section.push_back(0);
}

// An old-format section holds source=destination lines; every line of the
// present format carries the separator in its value.
bool IsOldFormat(const std::vector<const wchar_t*>& lines) {
  for (const wchar_t* line : lines) {
    const wchar_t* equals = wcschr(line, L'=');
    if (equals && wcsstr(equals + 1, kFieldSeparator)) return false;
  }
  return true;
}

// The old lines as pair lines numbered from 0. A line without "=" has no
// destination: it is kept as an unchecked pair of that folder with itself, so
// that the user sees it and nothing runs on it.
std::vector<wchar_t> ConvertOldLines(const std::vector<const wchar_t*>& lines) {
  std::vector<wchar_t> converted;
  int n = 0;
  for (const wchar_t* line : lines) {
    WideString number;
    number.FromInt(n++);
    WideString source(line);
    WideString destination;
    int32_t equals = source.Find(L"=", true);
    if (equals) {
      destination.Assign(source.CStr() + equals);
      source.Truncate(equals - 1);
    } else {
      const wchar_t mark[] = {kUncheckedMark, 0};
      destination.AssignConcat(mark, line);
    }
    AppendLine(converted, number.CStr(), L"=", source.CStr(), kFieldSeparator, destination.CStr());
  }
  EndSection(converted);
  return converted;
}

// Upgrades the [Folders] lines read from an old-format file: converts them in
// memory (the caller reads the converted lines whatever the disk allows),
// then writes the new section and only after it the version, so that a file
// is never marked current while it still holds old lines.
int UpgradeFolderLines(const wchar_t* file, std::vector<wchar_t>& section) {
  std::vector<const wchar_t*> lines = LinesOf(section);
  if (lines.empty()) return 0;
  if (!IsOldFormat(lines)) {
    // A present-format file that only lacks its version.
    WriteProfileText(file, kSettingsSection, kVersionKey, kCurrentVersion);
    return 0;
  }
  std::vector<wchar_t> converted = ConvertOldLines(lines);
  int written = 0;
  if (WriteProfileSection(file, kFoldersSection, converted)) {
    written = static_cast<int>(lines.size());
    WriteProfileText(file, kSettingsSection, kVersionKey, kCurrentVersion);
  }
  section.swap(converted);
  return written;
}

// One [Folders] line as a pair; false for a line that holds none.
bool PairFromLine(const wchar_t* line, JobPair& pair) {
  const wchar_t* equals = wcschr(line, L'=');
  if (!equals) return false;  // not a pair; the lines after it still are
  pair.itemId.assign(line, static_cast<size_t>(equals - line));
  SplitList fields(equals + 1, kFieldSeparator);
  const wchar_t* source = fields.Item(0);
  pair.source = source ? source : L"";
  // A value without separator names one folder that serves as both.
  const wchar_t* destination = fields.Item(fields.Count() > 1 ? 1 : 0);
  pair.destination = destination ? destination : L"";
  pair.checked = true;
  if (!pair.destination.empty() &&
      (pair.destination[0] == kUncheckedMark || pair.destination[0] == kCheckedMark)) {
    pair.checked = pair.destination[0] == kCheckedMark;
    pair.destination.erase(0, 1);
  }
  pair.extraText.clear();
  if (fields.Count() > 2) {
    // Everything after the second separator is the extra text, so that a
    // text that itself holds the separator travels back whole.
    const wchar_t* first = wcsstr(equals + 1, kFieldSeparator);
    const wchar_t* second = wcsstr(first + wcslen(kFieldSeparator), kFieldSeparator);
    pair.extraText = second + wcslen(kFieldSeparator);
  }
  return true;
}

// The value of a pair line, or empty when the pair is not to be written.
std::wstring PairValue(const JobPair& pair) {
  if (pair.source.empty() || pair.destination.empty()) return std::wstring();
  std::wstring value = pair.source + kFieldSeparator;
  // A checked destination that begins with a mark character gets the checked
  // mark in front, or the reader would take its first character for one.
  if (!pair.checked)
    value += kUncheckedMark;
  else if (pair.destination[0] == kUncheckedMark || pair.destination[0] == kCheckedMark)
    value += kCheckedMark;
  value += pair.destination;
  if (!pair.extraText.empty()) value += kFieldSeparator + pair.extraText;
  return value;
}

std::wstring Decimal(uint32_t value) { return std::to_wstring(value); }

uint32_t ReadNumberKey(const wchar_t* file, const wchar_t* key, uint32_t fallback) {
  const std::wstring absent = Decimal(fallback);
  return ReadUnsignedNumber(ReadProfileText(file, kSettingsSection, key, absent.c_str()).CStr());
}

std::wstring ReadTextKey(const wchar_t* file, const wchar_t* key) {
  WideString value = ReadProfileText(file, kSettingsSection, key, L"");
  return value.ok ? std::wstring(value.CStr()) : std::wstring();
}

// A key newer than the format's first keys: written only where it means
// something a file without it does not, removed otherwise.
struct OptionalKey {
  const wchar_t* key;
  std::wstring value;
  bool meansAbsent;
};

std::vector<OptionalKey> OptionalKeysOf(const JobSettings& settings) {
  return {
      {kVersionDaysKey, Decimal(settings.versionDays), settings.versionDays == kNoVersions},
      {kDeletionGuardKey, Decimal(settings.deletionGuard),
       settings.deletionGuard == kDefaultDeletionGuard},
      {kExcludeKey, settings.exclude, settings.exclude.empty()},
      {kScheduleKey, settings.schedule, settings.schedule.empty()},
      {kThreadsKey, Decimal(settings.threads), settings.threads == kDefaultThreads},
  };
}

// Removes a key only when the file has it: each profile write rewrites the
// whole file.
bool RemoveKeyIfPresent(const wchar_t* file, const wchar_t* key) {
  WideString marker = ReadProfileText(file, kSettingsSection, key, L"\x1F");
  if (marker.ok && wcscmp(marker.CStr(), L"\x1F") == 0) return true;
  return WritePrivateProfileStringW(kSettingsSection, key, nullptr, file) != FALSE;
}

}  // namespace

JobSettings NewJobSettings() {
  JobSettings settings;
  settings.versionDays = kNewJobVersionDays;
  return settings;
}

uint32_t ModeFlags(const JobSettings& settings) {
  uint32_t flag = 0;
  if (settings.mode == JobMode::Strict)
    flag = SettingsFlag::Strict;
  else if (settings.mode == JobMode::Restore)
    flag = SettingsFlag::Restore;
  else if (settings.mode == JobMode::Sync)
    flag = SettingsFlag::Sync;
  if (settings.updateMethod) flag |= SettingsFlag::UpdateMethod;
  return flag;
}

void SetModeFlags(JobSettings& settings, uint32_t flag) {
  if (flag & SettingsFlag::Sync)
    settings.mode = JobMode::Sync;
  else if (flag & SettingsFlag::Restore)
    settings.mode = JobMode::Restore;
  else if (flag & SettingsFlag::Strict)
    settings.mode = JobMode::Strict;
  else
    settings.mode = JobMode::Common;
  settings.updateMethod = (flag & SettingsFlag::UpdateMethod) != 0;
}

int UpgradeSettingsFile(const wchar_t* path) {
  WideString file = FullSettingsPath(path);
  if (!file.ok) return 0;
  std::vector<wchar_t> section;
  if (!ReadProfileSection(file.CStr(), kFoldersSection, section)) return 0;
  return UpgradeFolderLines(file.CStr(), section);
}

JobFileRead ReadJobSettings(const wchar_t* path, JobSettings& settings, uint32_t* flagRead) {
  settings = NewJobSettings();
  if (flagRead) *flagRead = SettingsFlag::Default;
  WideString file = FullSettingsPath(path);
  if (!file.ok) return JobFileRead::Unusable;
  if (GetFileAttributesW(file.CStr()) == INVALID_FILE_ATTRIBUTES) return JobFileRead::Missing;

  std::vector<wchar_t> section(2, 0);
  WideString version = ReadProfileText(file.CStr(), kSettingsSection, kVersionKey, L"0");
  if (!ReadProfileSection(file.CStr(), kFoldersSection, section)) section.assign(2, 0);
  if (ReadUnsignedNumber(version.CStr()) == 0) UpgradeFolderLines(file.CStr(), section);
  const uint32_t flag = ReadNumberKey(file.CStr(), kFlagKey, SettingsFlag::Default);
  SetModeFlags(settings, flag);
  if (flagRead) *flagRead = flag;
  settings.skipMask = ReadNumberKey(file.CStr(), kSkipKey, SettingsSkip::Default);
  // A file that holds no job yet (the default file once the folder pair
  // dialog wrote its history into it) is still a new job.
  std::vector<wchar_t> settingsLines;
  const bool holdsNoJob = LinesOf(section).empty() &&
                          ReadProfileSection(file.CStr(), kSettingsSection, settingsLines) &&
                          LinesOf(settingsLines).empty();
  settings.versionDays =
      ReadNumberKey(file.CStr(), kVersionDaysKey, holdsNoJob ? kNewJobVersionDays : kNoVersions);
  settings.deletionGuard = ReadNumberKey(file.CStr(), kDeletionGuardKey, kDefaultDeletionGuard);
  settings.exclude = ReadTextKey(file.CStr(), kExcludeKey);
  settings.schedule = ReadTextKey(file.CStr(), kScheduleKey);
  settings.threads = ReadNumberKey(file.CStr(), kThreadsKey, kDefaultThreads);

  std::vector<const wchar_t*> lines = LinesOf(section);
  settings.pairs.reserve(lines.size());
  for (const wchar_t* line : lines) {
    JobPair pair;
    if (PairFromLine(line, pair)) settings.pairs.push_back(std::move(pair));
  }
  return JobFileRead::Read;
}

SettingsSaveResult WriteJobSettings(const wchar_t* path, const JobSettings& settings) {
  SettingsSaveResult result;
  WideString file = FullSettingsPath(path);
  if (!file.ok) return result;

  // The whole section is built first: it is written in one call, since a
  // write per key rewrites the file each time.
  std::vector<wchar_t> section;
  std::vector<std::wstring> values;
  int pairLines = 0;
  for (size_t row = 0; row < settings.pairs.size(); ++row) {
    std::wstring value = PairValue(settings.pairs[row]);
    if (value.empty()) continue;
    AppendLine(section, std::to_wstring(row).c_str(), L"=", value.c_str());
    values.push_back(std::move(value));
    ++pairLines;
  }
  EndSection(section);
  std::vector<OptionalKey> optional = OptionalKeysOf(settings);

  if (!CreateUnicodeFileIfMissing(file.CStr())) return result;
  std::vector<const wchar_t*> texts;
  for (const std::wstring& value : values) texts.push_back(value.c_str());
  for (const OptionalKey& key : optional) texts.push_back(key.value.c_str());
  // An 8-bit file that cannot hold a path would store it with "?" in it.
  if (!MakeFileHoldText(file.CStr(), texts)) return result;

  const std::wstring flag = Decimal(ModeFlags(settings));
  const std::wstring skip = Decimal(settings.skipMask);
  bool versionWritten =
      WriteProfileText(file.CStr(), kSettingsSection, kVersionKey, kCurrentVersion);
  bool flagWritten = WriteProfileText(file.CStr(), kSettingsSection, kFlagKey, flag.c_str());
  bool skipWritten = WriteProfileText(file.CStr(), kSettingsSection, kSkipKey, skip.c_str());
  bool optionalWritten = true;
  for (const OptionalKey& key : optional) {
    bool written = key.meansAbsent ? RemoveKeyIfPresent(file.CStr(), key.key)
                                   : WriteProfileText(file.CStr(), kSettingsSection, key.key,
                                                      key.value.c_str());
    optionalWritten = optionalWritten && written;
  }
  bool pairsWritten = WriteProfileSection(file.CStr(), kFoldersSection, section);
  result.writes = (flagWritten ? 1 : 0) + (skipWritten ? 1 : 0) + (pairsWritten ? pairLines : 0);
  result.complete = versionWritten && flagWritten && skipWritten && optionalWritten && pairsWritten;
  return result;
}
