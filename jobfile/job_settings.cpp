#include "jobfile/job_settings.h"

#include <windows.h>

#include <cwchar>

#include "base/owner.h"
#include "base/wide_string.h"
#include "jobfile/profile_edits.h"
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

std::vector<std::wstring> TextLinesOf(const std::vector<wchar_t>& section) {
  std::vector<std::wstring> text;
  for (const wchar_t* line : LinesOf(section)) text.emplace_back(line);
  return text;
}

ProfileEdit KeyEdit(const wchar_t* key, const std::wstring& value) {
  ProfileEdit edit;
  edit.section = kSettingsSection;
  edit.key = key;
  edit.value = value;
  return edit;
}

ProfileEdit VersionEdit() { return KeyEdit(kVersionKey, kCurrentVersion); }

ProfileEdit SectionEdit(const wchar_t* section, std::vector<std::wstring> lines) {
  ProfileEdit edit;
  edit.kind = ProfileEdit::Kind::ReplaceSection;
  edit.section = section;
  edit.lines = std::move(lines);
  return edit;
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
  // One write: the file is either still the old one or wholly the new one,
  // and never cut short (a cut last line could name another folder).
  const bool written = ApplyProfileEdits(
      file, {SectionEdit(kFoldersSection, TextLinesOf(converted)), VersionEdit()});
  section.swap(converted);
  return written ? static_cast<int>(lines.size()) : 0;
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

bool IsMissingError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH;
}

// Whether the file can be opened for reading as the profile functions open
// it; the last error says why not.
bool CanOpenForReading(const wchar_t* file) {
  HandleHolder handle(CreateFileW(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return handle.Valid();
}

bool HasSection(const wchar_t* file, const wchar_t* section) {
  std::vector<wchar_t> names(0x1000, 0);
  for (;;) {
    const DWORD length =
        GetPrivateProfileSectionNamesW(names.data(), static_cast<DWORD>(names.size()), file);
    if (length + 2 < names.size()) break;
    names.assign(names.size() * 2, 0);  // the platform answers size - 2 when it cut the list
  }
  for (const wchar_t* name = names.data(); *name; name += wcslen(name) + 1)
    if (EqualsNoCase(name, section)) return true;
  return false;
}

std::wstring SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length && text ? std::wstring(text, length) : std::wstring();
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L' ' || message.back() == L'.'))
    message.pop_back();
  return message.empty() ? L"system error " + std::to_wstring(error) : message;
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

JobFileRead ReadJobSettings(const wchar_t* path, JobSettings& result, uint32_t* flagRead) {
  if (flagRead) *flagRead = SettingsFlag::Default;
  WideString file = FullSettingsPath(path);
  if (!file.ok) return JobFileRead::Unusable;
  const DWORD attributes = GetFileAttributesW(file.CStr());
  if (attributes == INVALID_FILE_ATTRIBUTES && IsMissingError(GetLastError())) {
    result = NewJobSettings();
    return JobFileRead::Missing;
  }
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return JobFileRead::NotAFile;
  // The profile functions answer a file they cannot open as an empty one.
  if (!CanOpenForReading(file.CStr())) return JobFileRead::Unreadable;
  JobSettings settings;

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
  result = std::move(settings);
  return JobFileRead::Read;
}

JobFileProblem CheckJobFile(const wchar_t* path, unsigned long* systemError) {
  if (systemError) *systemError = 0;
  WideString file = FullSettingsPath(path);
  if (!file.ok) return JobFileProblem::Missing;
  const DWORD attributes = GetFileAttributesW(file.CStr());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (systemError) *systemError = error;
    return IsMissingError(error) ? JobFileProblem::Missing : JobFileProblem::Unreadable;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return JobFileProblem::NotAFile;
  if (!CanOpenForReading(file.CStr())) {
    if (systemError) *systemError = GetLastError();
    return JobFileProblem::Unreadable;
  }
  return HasSection(file.CStr(), kFoldersSection) ? JobFileProblem::None : JobFileProblem::NotAJob;
}

std::wstring JobFileProblemText(JobFileProblem problem, unsigned long systemError) {
  switch (problem) {
    case JobFileProblem::None:
      return L"";
    case JobFileProblem::Missing:
      return L"the job file does not exist";
    case JobFileProblem::NotAFile:
      return L"it is a folder, not a job file";
    case JobFileProblem::Unreadable:
      return L"the job file cannot be read (" + SystemMessage(systemError) + L")";
    case JobFileProblem::NotAJob:
      return L"the file is not a job file: it has no [Folders] section";
  }
  return L"";
}

SettingsSaveResult WriteJobSettings(const wchar_t* path, const JobSettings& settings) {
  SettingsSaveResult result;
  WideString file = FullSettingsPath(path);
  if (!file.ok) return result;

  std::vector<std::wstring> lines;
  for (size_t row = 0; row < settings.pairs.size(); ++row) {
    std::wstring value = PairValue(settings.pairs[row]);
    if (!value.empty()) lines.push_back(std::to_wstring(row) + L"=" + value);
  }
  const int pairLines = static_cast<int>(lines.size());
  // One write of everything: a file that held only some of the pairs would
  // lose the others at the next load.
  std::vector<ProfileEdit> edits = {VersionEdit(), KeyEdit(kFlagKey, Decimal(ModeFlags(settings))),
                                    KeyEdit(kSkipKey, Decimal(settings.skipMask))};
  for (const OptionalKey& key : OptionalKeysOf(settings)) {
    edits.push_back(KeyEdit(key.key, key.value));
    if (key.meansAbsent) edits.back().kind = ProfileEdit::Kind::RemoveKey;
  }
  edits.push_back(SectionEdit(kFoldersSection, std::move(lines)));
  if (!ApplyProfileEdits(file.CStr(), edits)) return result;
  result.writes = 2 + pairLines;
  result.complete = true;
  return result;
}

SettingsSaveResult ReplaceWithJobSettings(const wchar_t* path, const JobSettings& settings) {
  WideString file = FullSettingsPath(path);
  if (!file.ok) return SettingsSaveResult{};
  const std::wstring fresh =
      std::wstring(file.CStr()) + L"." + std::to_wstring(GetCurrentProcessId()) + L".new";
  DeleteFileW(fresh.c_str());  // left by an earlier attempt that died
  SettingsSaveResult result = WriteJobSettings(fresh.c_str(), settings);
  if (result.complete &&
      MoveFileExW(fresh.c_str(), file.CStr(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return result;
  DeleteFileW(fresh.c_str());
  return SettingsSaveResult{};
}

bool WriteJobSchedule(const wchar_t* path, const std::wstring& schedule) {
  WideString file = FullSettingsPath(path);
  if (!file.ok) return false;
  ProfileEdit edit = KeyEdit(kScheduleKey, schedule);
  if (schedule.empty()) edit.kind = ProfileEdit::Kind::RemoveKey;
  return ApplyProfileEdits(file.CStr(), {edit});
}

std::wstring ReadJobSchedule(const wchar_t* path) {
  WideString file = FullSettingsPath(path);
  if (!file.ok) return std::wstring();
  return ReadTextKey(file.CStr(), kScheduleKey);
}
