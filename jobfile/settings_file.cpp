#include "jobfile/settings_file.h"

#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "base/wide_string.h"
#include "jobfile/profile_file.h"
#include "ui/ui_window.h"

namespace {

constexpr wchar_t kSettingsSection[] = L"Settings";
constexpr wchar_t kFoldersSection[] = L"Folders";
constexpr wchar_t kVersionKey[] = L"version";
constexpr wchar_t kFlagKey[] = L"Flag";
constexpr wchar_t kSkipKey[] = L"SkipAttributes";
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
// memory (the caller loads the converted lines whatever the disk allows),
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

void AddPairRow(UiWindow& window, int list, const wchar_t* line) {
  const wchar_t* equals = wcschr(line, L'=');
  if (!equals) return;  // not a pair; the lines after it still are
  WideString key(line);
  key.Truncate(static_cast<int32_t>(equals - line));
  SplitList fields(equals + 1, kFieldSeparator);
  int row = window.AddListRow(list, fields.Item(0));
  if (row < 0) return;
  // A value without separator names one folder that serves as both.
  WideString destination(fields.Item(fields.Count() > 1 ? 1 : 0));
  bool checked = true;
  if (destination.Length() > 0 &&
      (destination.buf[0] == kUncheckedMark || destination.buf[0] == kCheckedMark)) {
    checked = destination.buf[0] == kCheckedMark;
    destination.DropLeft(1);
  }
  window.SetRowChecked(list, row, checked);
  window.SetRowText(list, row, kDestinationColumn, destination.CStr());
  window.SetRowText(list, row, kItemIdColumn, key.CStr());
  if (fields.Count() > 2) {
    // Everything after the second separator is the extra text, so that a
    // text that itself holds the separator travels back whole.
    WideString value(equals + 1);
    int32_t second = value.Find(kFieldSeparator, true, 2);
    window.SetRowText(list, row, kExtraTextColumn,
                      value.CStr() + second - 1 + wcslen(kFieldSeparator));
  }
}

// Holds a shown control's painting off while it is refilled, so that it
// paints once at the end instead of once per row (the most of a load's time).
// A hidden control is left alone: turning painting back on would show it.
class PaintPause {
 public:
  explicit PaintPause(HWND control)
      : control_(control && (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) ? control : nullptr) {
    if (control_) SendMessageW(control_, WM_SETREDRAW, FALSE, 0);
  }
  ~PaintPause() {
    if (!control_) return;
    SendMessageW(control_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(control_, nullptr, TRUE);
  }
  PaintPause(const PaintPause&) = delete;
  PaintPause& operator=(const PaintPause&) = delete;

 private:
  HWND control_;
};

void ShowModes(UiWindow& window, const ModeButtons& modes, const OptionBoxes& options,
               uint32_t flag) {
  for (int button : {modes.common, modes.strict, modes.restore, modes.sync})
    window.SetControlState(button, kStateUncheck);
  if (flag & SettingsFlag::Sync) {
    window.SetControlState(modes.sync, kStateCheck);
    window.SetControlState(options.updateMethod, kStateDisable | kStateCheck);
  } else if (flag & SettingsFlag::Restore) {
    window.SetControlState(modes.restore, kStateCheck);
    window.SetControlState(options.updateMethod, kStateDisable | kStateUncheck);
  } else {
    window.SetControlState(flag & SettingsFlag::Strict ? modes.strict : modes.common, kStateCheck);
    window.SetControlState(options.updateMethod, kStateEnable | kStateUncheck);
  }
  if (flag & SettingsFlag::UpdateMethod) window.SetControlState(options.updateMethod, kStateCheck);
}

void ShowSkipMask(UiWindow& window, const OptionBoxes& options, uint32_t skip) {
  window.SetControlState(options.skipSystem,
                         skip & SettingsSkip::System ? kStateCheck : kStateUncheck);
  window.SetControlState(options.skipHidden,
                         skip & SettingsSkip::Hidden ? kStateCheck : kStateUncheck);
}

// The text of a pair line's value, or not ok when the row holds no pair.
WideString PairValue(UiWindow& window, int list, int row, bool& readFailed) {
  WideString value;
  value.ok = false;
  WideString source = window.GetRowText(list, row, kSourceColumn);
  WideString destination = window.GetRowText(list, row, kDestinationColumn);
  WideString extra = window.GetRowText(list, row, kExtraTextColumn);
  if (!source.buf || !destination.buf || !extra.buf) {
    readFailed = true;
    return value;
  }
  if (source.Length() == 0 || destination.Length() == 0) return value;
  // A checked destination that begins with a mark character gets the checked
  // mark in front, or the reader would take its first character for one.
  wchar_t mark[2] = {0, 0};
  if (!window.IsRowChecked(list, row))
    mark[0] = kUncheckedMark;
  else if (destination.buf[0] == kUncheckedMark || destination.buf[0] == kCheckedMark)
    mark[0] = kCheckedMark;
  value.AssignConcat(source.CStr(), kFieldSeparator, mark, destination.CStr());
  if (value.ok && extra.Length() > 0) value.Append(kFieldSeparator, extra.CStr());
  if (!value.ok) readFailed = true;
  return value;
}

}  // namespace

uint32_t ModeFlagsFromControls(UiWindow& window, const ModeButtons& modes,
                               const OptionBoxes& options) {
  uint32_t flag = 0;
  if (window.IsChecked(modes.strict))
    flag = SettingsFlag::Strict;
  else if (window.IsChecked(modes.restore))
    flag = SettingsFlag::Restore;
  else if (window.IsChecked(modes.sync))
    flag = SettingsFlag::Sync;
  if (window.IsChecked(options.updateMethod)) flag |= SettingsFlag::UpdateMethod;
  return flag;
}

uint32_t SkipMaskFromControls(UiWindow& window, const OptionBoxes& options) {
  uint32_t skip = 0;
  if (window.IsChecked(options.skipSystem)) skip |= SettingsSkip::System;
  if (window.IsChecked(options.skipHidden)) skip |= SettingsSkip::Hidden;
  return skip;
}

int UpgradeSettingsFile(const wchar_t* path) {
  WideString file = FullSettingsPath(path);
  if (!file.ok) return 0;
  std::vector<wchar_t> section;
  if (!ReadProfileSection(file.CStr(), kFoldersSection, section)) return 0;
  return UpgradeFolderLines(file.CStr(), section);
}

uint32_t LoadSettingsFile(const wchar_t* path, UiWindow& window, int list, const ModeButtons& modes,
                          const OptionBoxes& options, uint32_t* skipMask) {
  uint32_t flag = SettingsFlag::Default;
  uint32_t skip = SettingsSkip::Default;
  std::vector<wchar_t> section(2, 0);
  WideString file = FullSettingsPath(path);
  if (file.ok) {
    WideString version = ReadProfileText(file.CStr(), kSettingsSection, kVersionKey, L"0");
    if (!ReadProfileSection(file.CStr(), kFoldersSection, section)) section.assign(2, 0);
    if (ReadUnsignedNumber(version.CStr()) == 0) UpgradeFolderLines(file.CStr(), section);
    flag =
        ReadUnsignedNumber(ReadProfileText(file.CStr(), kSettingsSection, kFlagKey, L"16").CStr());
    skip =
        ReadUnsignedNumber(ReadProfileText(file.CStr(), kSettingsSection, kSkipKey, L"6").CStr());
  }
  // The rows and boxes set here are no change by the user.
  UiEventMute mute(window);
  std::vector<const wchar_t*> lines = LinesOf(section);
  {
    PaintPause pause(window.ControlHandle(list));
    window.SendToControl(list, LVM_DELETEALLITEMS, 0, 0);
    window.SendToControl(list, LVM_SETITEMCOUNT, lines.size(), 0);
    for (const wchar_t* line : lines) AddPairRow(window, list, line);
  }
  ShowModes(window, modes, options, flag);
  ShowSkipMask(window, options, skip);
  if (skipMask) *skipMask = skip;
  return flag;
}

SettingsSaveResult SaveSettingsFile(const wchar_t* path, UiWindow& window, int list,
                                    const ModeButtons& modes, const OptionBoxes& options) {
  SettingsSaveResult result;
  // Without the list there is no job to save, and an empty [Folders] section
  // would erase the pairs in the file.
  if (window.ControlKindOf(list) != ControlKind::ListView) return result;
  WideString file = FullSettingsPath(path);
  if (!file.ok) return result;

  // The whole section is built first: it is written in one call, since a
  // write per key rewrites the file each time.
  std::vector<wchar_t> section;
  std::vector<WideString> values;
  bool readFailed = false;
  int rows = window.ListRowCount(list);
  int pairLines = 0;
  for (int row = 0; row < rows; ++row) {
    WideString value = PairValue(window, list, row, readFailed);
    if (!value.ok) continue;
    WideString number;
    number.FromInt(row);
    AppendLine(section, number.CStr(), L"=", value.CStr());
    values.push_back(std::move(value));
    ++pairLines;
  }
  EndSection(section);

  WideString flag, skip;
  flag.FromInt(static_cast<int32_t>(ModeFlagsFromControls(window, modes, options)));
  skip.FromInt(static_cast<int32_t>(SkipMaskFromControls(window, options)));

  if (!CreateUnicodeFileIfMissing(file.CStr())) return result;
  std::vector<const wchar_t*> texts;
  for (WideString& value : values) texts.push_back(value.CStr());
  // An 8-bit file that cannot hold a path would store it with "?" in it.
  if (!MakeFileHoldText(file.CStr(), texts)) return result;

  bool versionWritten =
      WriteProfileText(file.CStr(), kSettingsSection, kVersionKey, kCurrentVersion);
  bool flagWritten = WriteProfileText(file.CStr(), kSettingsSection, kFlagKey, flag.CStr());
  bool skipWritten = WriteProfileText(file.CStr(), kSettingsSection, kSkipKey, skip.CStr());
  bool pairsWritten = WriteProfileSection(file.CStr(), kFoldersSection, section);
  result.writes = (flagWritten ? 1 : 0) + (skipWritten ? 1 : 0) + (pairsWritten ? pairLines : 0);
  result.complete = versionWritten && flagWritten && skipWritten && pairsWritten && !readFailed;
  return result;
}
