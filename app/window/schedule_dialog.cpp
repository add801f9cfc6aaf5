#include "app/window/schedule_dialog.h"

#include <windows.h>

#include <cwchar>

#include "app/application.h"
#include "app/install/schedule_command.h"
#include "base/path.h"
#include "ui/drawing.h"
#include "ui/modal_scope.h"
#include "ui/ui_window.h"

namespace {

constexpr wchar_t kDialogClass[] = L"Harborline_MsgBox";
constexpr int kDialogHeight = 270;
constexpr COLORREF kMessageRed = RGB(160, 0, 0);
constexpr wchar_t kNoDays[] = L"Choose at least one day of the week.";
constexpr wchar_t kBadTime[] = L"Type the time as hours and minutes, such as 21:00.";
constexpr wchar_t kNoScheduler[] = L"The Task Scheduler cannot be reached; nothing was changed.";
constexpr wchar_t kRefused[] = L"The Task Scheduler refused the task; nothing was changed.";
constexpr wchar_t kNameTaken[] =
    L"Another job file of this name has the task; rename this one first.";
constexpr wchar_t kTaskPresent[] =
    L"Its task is in the Task Scheduler (folder \"Harborline Backup\").";
constexpr wchar_t kTaskMissing[] = L"The Task Scheduler holds no task for this job.";
constexpr const wchar_t* kDayNames[] = {L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat", L"Sun"};
// The same days with letters for the keyboard, unique in the dialog.
constexpr const wchar_t* kDayLabels[] = {L"&Mon", L"T&ue", L"&Wed", L"T&hu",
                                         L"&Fri", L"S&at", L"&Sun"};

class Dialog {
 public:
  Dialog(Application& app, const wchar_t* jobFile, Schedule& schedule)
      : app_(app), main_(app.mainWindow), jobFile_(jobFile), schedule_(schedule) {}

  ~Dialog() { DisposeDialog(main_, dialog_); }

  bool Create() {
    if (!CreateSkinnedDialog(main_, dialog_, kDialogClass, kDialogHeight)) return false;
    dialog_.SetFontForNewControls(9, 800, 1);
    dialog_.AddStatic(kScheduleDialogTitle, 10, 15, 430, 18);
    dialog_.SetFontForNewControls(9, 400, 1);
    WideString name(jobFile_);
    FileNamePart(name);
    WideString line;
    line.AssignConcat(L"Job file: ", name.CStr());
    dialog_.AddStatic(line.CStr(), 10, 36, 430, 18);

    never_ = dialog_.AddRadioButton(L"&Not scheduled", 62, 200);
    daily_ = dialog_.AddRadioButton(L"Every &day", 86, 200);
    weekly_ = dialog_.AddRadioButton(L"On &these days:", 110, 200);
    logon_ = dialog_.AddRadioButton(L"When I &log on", 160, 200);
    for (int day = 0; day < 7; ++day)
      days_[day] = dialog_.AddCheckBox(kDayLabels[day], 48 + day * 56, 134, 50);
    dialog_.AddStatic(L"at", 250, 90, 20, 18);
    time_ = dialog_.AddEdit(86);
    dialog_.SetControlBounds(time_, 275, 86, 60, 21);
    dialog_.AddStatic(L"(hours:minutes)", 342, 90, 100, 18);

    dialog_.SetFontForNewControls(9, 800, 1);
    status_ = dialog_.AddStatic(L"", 10, 190, 430, 18, WS_VISIBLE | SS_CENTER);
    dialog_.SetFontForNewControls(9, 400, 1);
    ok_ = dialog_.AddButton(L"&OK", 230, 235, 80, 26, WS_VISIBLE | BS_DEFPUSHBUTTON);
    cancel_ = dialog_.AddButton(L"&Cancel", 340, 235, 80, 26);

    int chosen = never_;
    if (schedule_.kind == ScheduleKind::kDaily) chosen = daily_;
    if (schedule_.kind == ScheduleKind::kWeekly) chosen = weekly_;
    if (schedule_.kind == ScheduleKind::kLogon) chosen = logon_;
    dialog_.SetControlState(chosen, kStateCheck);
    for (int day = 0; day < 7; ++day)
      if (schedule_.days & (1u << day)) dialog_.SetControlState(days_[day], kStateCheck);
    wchar_t time[8];
    Schedule shown = schedule_;
    // A fresh schedule proposes the evening, when a backup disturbs least.
    if (shown.kind == ScheduleKind::kNone || shown.kind == ScheduleKind::kLogon) shown.hour = 21;
    swprintf(time, sizeof(time) / sizeof(time[0]), L"%02u:%02u", unsigned{shown.hour},
             unsigned{shown.minute});
    dialog_.SetControlText(time_, time);
    ShowTaskState();
    return true;
  }

  void Show() { dialog_.Present(ok_); }

  bool Run() {
    UiWindow& events = *main_.events;
    // A Close of the main window ends the dialog and is then the main loop's.
    ModalScope modal(dialog_);
    HeldCloses heldCloses(events);
    UiEvent event;
    while (NextEvent(events, event)) {
      if (IsCloseOf(event, dialog_) || heldCloses.Hold(event, dialog_)) return false;
      if (event.source != &dialog_ || event.code == 0) continue;
      if (event.code == cancel_) return false;
      if (event.code == ok_ && Accept()) return true;
      // Ticking a day means the days are wanted.
      for (int day : days_)
        if (event.code == day && dialog_.IsChecked(day)) {
          dialog_.SetControlState(weekly_, kStateCheck);
          for (int other : {never_, daily_, logon_}) dialog_.SetControlState(other, kStateUncheck);
        }
    }
    return false;
  }

 private:
  void ShowTaskState() {
    dialog_.SetControlTextColour(status_, RGB(0, 0, 0));
    dialog_.SetControlText(status_, ScheduledTaskExists(jobFile_) ? kTaskPresent : kTaskMissing);
  }

  void Complain(const wchar_t* text) {
    dialog_.SetControlTextColour(status_, kMessageRed);
    dialog_.SetControlText(status_, text);
  }

  // The choice as a schedule; false with a message when it is not one.
  bool Collect(Schedule& schedule) {
    schedule = Schedule();
    if (dialog_.IsChecked(never_)) return true;
    if (dialog_.IsChecked(logon_)) {
      schedule.kind = ScheduleKind::kLogon;
      return true;
    }
    WideString text;
    if (dialog_.IsChecked(weekly_)) {
      for (int day = 0; day < 7; ++day) {
        if (!dialog_.IsChecked(days_[day])) continue;
        if (text.Length() > 0) text.Append(L",");
        text.Append(kDayNames[day]);
      }
      if (text.Length() == 0) {
        Complain(kNoDays);
        return false;
      }
    } else {
      text.Assign(L"daily");
    }
    WideString time = dialog_.GetControlText(time_);
    text.Append(L"@", time.CStr());
    if (!ParseSchedule(text.CStr(), schedule)) {
      Complain(kBadTime);
      return false;
    }
    return true;
  }

  bool Accept() {
    Schedule chosen;
    if (!Collect(chosen)) return false;
    TaskOutcome outcome = ScheduleJob(app_, jobFile_, chosen);
    if (outcome != TaskOutcome::kDone) {
      Complain(outcome == TaskOutcome::kNoScheduler ? kNoScheduler
               : outcome == TaskOutcome::kNameTaken ? kNameTaken
                                                    : kRefused);
      return false;
    }
    schedule_ = chosen;
    return true;
  }

  Application& app_;
  UiWindow& main_;
  UiWindow dialog_;
  const wchar_t* jobFile_;
  Schedule& schedule_;
  int never_ = 0, daily_ = 0, weekly_ = 0, logon_ = 0;
  int days_[7] = {};
  int time_ = 0, status_ = 0, ok_ = 0, cancel_ = 0;
};

}  // namespace

bool ScheduleDialog(Application& app, const wchar_t* jobFile, Schedule& schedule) {
  Dialog dialog(app, jobFile, schedule);
  if (!dialog.Create()) return false;
  dialog.Show();
  return dialog.Run();
}
