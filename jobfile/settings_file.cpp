#include "jobfile/settings_file.h"

#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "base/wide_string.h"
#include "jobfile/profile_file.h"
#include "ui/ui_window.h"

namespace {

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

void AddPairRow(UiWindow& window, int list, const JobPair& pair) {
  int row = window.AddListRow(list, pair.source.c_str());
  if (row < 0) return;
  window.SetRowChecked(list, row, pair.checked);
  window.SetRowText(list, row, kDestinationColumn, pair.destination.c_str());
  window.SetRowText(list, row, kItemIdColumn, pair.itemId.c_str());
  if (!pair.extraText.empty())
    window.SetRowText(list, row, kExtraTextColumn, pair.extraText.c_str());
}

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

// A row as a pair; false when one of its cells could not be read whole.
bool PairFromRow(UiWindow& window, int list, int row, JobPair& pair) {
  WideString source = window.GetRowText(list, row, kSourceColumn);
  WideString destination = window.GetRowText(list, row, kDestinationColumn);
  WideString itemId = window.GetRowText(list, row, kItemIdColumn);
  WideString extra = window.GetRowText(list, row, kExtraTextColumn);
  if (!source.buf || !destination.buf || !itemId.buf || !extra.buf) return false;
  pair.source = source.CStr();
  pair.destination = destination.CStr();
  pair.itemId = itemId.CStr();
  pair.extraText = extra.CStr();
  pair.checked = window.IsRowChecked(list, row);
  return true;
}

}  // namespace

void ShowJobSettings(UiWindow& window, const JobControls& controls, const JobSettings& settings,
                     const uint32_t* flag) {
  // The rows and boxes set here are no change by the user.
  UiEventMute mute(window);
  {
    PaintPause pause(window.ControlHandle(controls.list));
    window.SendToControl(controls.list, LVM_DELETEALLITEMS, 0, 0);
    window.SendToControl(controls.list, LVM_SETITEMCOUNT, settings.pairs.size(), 0);
    for (const JobPair& pair : settings.pairs) AddPairRow(window, controls.list, pair);
  }
  ShowModes(window, controls.modes, controls.options, flag ? *flag : ModeFlags(settings));
  ShowSkipMask(window, controls.options, settings.skipMask);
}

bool CollectJobSettings(UiWindow& window, const JobControls& controls, JobSettings& settings) {
  if (window.ControlKindOf(controls.list) != ControlKind::ListView) return false;
  bool whole = true;
  const int rows = window.ListRowCount(controls.list);
  std::vector<JobPair> pairs;
  pairs.reserve(static_cast<size_t>(rows > 0 ? rows : 0));
  for (int row = 0; row < rows; ++row) {
    JobPair pair;
    if (PairFromRow(window, controls.list, row, pair))
      pairs.push_back(std::move(pair));
    else
      whole = false;
  }
  settings.pairs.swap(pairs);
  SetModeFlags(settings, ModeFlagsFromControls(window, controls.modes, controls.options));
  settings.skipMask = SkipMaskFromControls(window, controls.options);
  return whole;
}

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

uint32_t LoadSettingsFile(const wchar_t* path, UiWindow& window, int list, const ModeButtons& modes,
                          const OptionBoxes& options, uint32_t* skipMask) {
  JobSettings settings;
  uint32_t flag = SettingsFlag::Default;
  ReadJobSettings(path, settings, &flag);
  ShowJobSettings(window, JobControls{list, modes, options}, settings, &flag);
  if (skipMask) *skipMask = settings.skipMask;
  return flag;
}

SettingsSaveResult SaveSettingsFile(const wchar_t* path, UiWindow& window, int list,
                                    const ModeButtons& modes, const OptionBoxes& options) {
  // Without the list there is no job to save, and an empty [Folders] section
  // would erase the pairs in the file.
  if (window.ControlKindOf(list) != ControlKind::ListView) return SettingsSaveResult{};
  JobSettings settings;
  if (ReadJobSettings(path, settings) != JobFileRead::Read) settings = JobSettings{};
  const bool whole = CollectJobSettings(window, JobControls{list, modes, options}, settings);
  SettingsSaveResult result = WriteJobSettings(path, settings);
  result.complete = result.complete && whole;
  return result;
}
