#include "system/task_schedule.h"

#include <windows.h>

#include <oleauto.h>
#include <taskschd.h>

#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "base/owner.h"
#include "base/path.h"
#include "engine/find_handle.h"

namespace {

struct DayName {
  const wchar_t* shortName;  // of the schedule's text
  const wchar_t* element;    // of the task XML
  uint8_t bit;
};
constexpr DayName kDays[] = {
    {L"mon", L"Monday", ScheduleDay::Monday},       {L"tue", L"Tuesday", ScheduleDay::Tuesday},
    {L"wed", L"Wednesday", ScheduleDay::Wednesday}, {L"thu", L"Thursday", ScheduleDay::Thursday},
    {L"fri", L"Friday", ScheduleDay::Friday},       {L"sat", L"Saturday", ScheduleDay::Saturday},
    {L"sun", L"Sunday", ScheduleDay::Sunday},
};

using Bstr = Owner<BSTR, SysFreeString>;

// The text between first and last without the blanks around it.
std::wstring Trimmed(const wchar_t* first, const wchar_t* last) {
  while (first < last && iswspace(*first)) ++first;
  while (last > first && iswspace(last[-1])) --last;
  return std::wstring(first, static_cast<size_t>(last - first));
}

bool ParseTime(const std::wstring& text, uint8_t& hour, uint8_t& minute) {
  unsigned h = 0, m = 0;
  wchar_t tail = 0;
  size_t colon = text.find(L':');
  // "7:30" and "07:30"; minutes always with two digits.
  if (colon == std::wstring::npos || colon == 0 || colon > 2 || text.size() != colon + 3)
    return false;
  for (wchar_t c : text)
    if (c != L':' && !iswdigit(c)) return false;
  if (swscanf(text.c_str(), L"%u:%u%lc", &h, &m, &tail) != 2 || h > 23 || m > 59) return false;
  hour = static_cast<uint8_t>(h);
  minute = static_cast<uint8_t>(m);
  return true;
}

bool ParseDays(const std::wstring& text, uint8_t& days) {
  days = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t stop = text.find(L',', start);
    if (stop == std::wstring::npos) stop = text.size();
    std::wstring name = Trimmed(text.c_str() + start, text.c_str() + stop);
    start = stop + 1;
    const DayName* found = nullptr;
    for (const DayName& day : kDays)
      if (EqualsNoCase(name.c_str(), day.shortName)) found = &day;
    if (!found || (days & found->bit)) return false;
    days |= found->bit;
  }
  return days != 0;
}

void AppendEscaped(WideString& xml, const wchar_t* text) {
  std::wstring escaped;
  for (const wchar_t* c = text; *c; ++c) {
    switch (*c) {
      case L'&':
        escaped += L"&amp;";
        break;
      case L'<':
        escaped += L"&lt;";
        break;
      case L'>':
        escaped += L"&gt;";
        break;
      case L'"':
        escaped += L"&quot;";
        break;
      default:
        escaped += *c;
    }
  }
  xml.Append(escaped.c_str());
}

void AppendElement(WideString& xml, const wchar_t* indent, const wchar_t* name,
                   const wchar_t* value) {
  xml.Append(indent, L"<", name, L">");
  AppendEscaped(xml, value);
  xml.Append(L"</", name, L">\r\n");
}

VARIANT EmptyVariant() {
  VARIANT value;
  VariantInit(&value);
  return value;
}

// A connected scheduler and the program's task folder (null when missing
// and not to be created).
struct SchedulerFolder {
  ComPointer<ITaskService> service;
  ComPointer<ITaskFolder> root;
  ComPointer<ITaskFolder> folder;
};

TaskOutcome OpenTaskFolder(SchedulerFolder& scheduler, bool create) {
  if (FAILED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                              reinterpret_cast<void**>(scheduler.service.Out()))))
    return TaskOutcome::kNoScheduler;
  VARIANT none = EmptyVariant();
  if (FAILED(scheduler.service.Get()->Connect(none, none, none, none)))
    return TaskOutcome::kNoScheduler;
  Bstr rootPath(SysAllocString(L"\\"));
  if (FAILED(scheduler.service.Get()->GetFolder(rootPath.Get(), scheduler.root.Out())))
    return TaskOutcome::kNoScheduler;
  Bstr folderName(SysAllocString(kTaskFolderName));
  if (SUCCEEDED(scheduler.root.Get()->GetFolder(folderName.Get(), scheduler.folder.Out())) ||
      !create)
    return TaskOutcome::kDone;
  if (FAILED(scheduler.root.Get()->CreateFolder(folderName.Get(), none, scheduler.folder.Out())))
    return TaskOutcome::kRefused;
  return TaskOutcome::kDone;
}

void TaskDescription(const wchar_t* jobFile, WideString& description) {
  description.AssignConcat(L"Runs the backup job ", jobFile);
}

// Task names are made from file names alone, so two job files of one name
// in different folders would share a task: the one scheduled later would
// silently take the other's. The task's description names its job file.
bool TaskRunsAnotherJob(ITaskFolder* folder, BSTR taskName, const wchar_t* jobFile) {
  ComPointer<IRegisteredTask> task;
  if (FAILED(folder->GetTask(taskName, task.Out()))) return false;
  ComPointer<ITaskDefinition> definition;
  ComPointer<IRegistrationInfo> info;
  Bstr text;
  if (FAILED(task.Get()->get_Definition(definition.Out())) ||
      FAILED(definition.Get()->get_RegistrationInfo(info.Out())) ||
      FAILED(info.Get()->get_Description(text.Out())) || !text.Get())
    return false;
  WideString expected;
  TaskDescription(jobFile, expected);
  return !EqualsNoCase(text.Get(), expected.CStr());
}

// A task that is not there is removed already.
bool IsMissingTask(HRESULT result) {
  return result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
         result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

// The names of the folder's tasks, hidden ones too. Collected first:
// deleting while walking the collection would shift it.
bool TaskNamesOf(ITaskFolder* folder, std::vector<std::wstring>& names) {
  ComPointer<IRegisteredTaskCollection> tasks;
  if (FAILED(folder->GetTasks(TASK_ENUM_HIDDEN, tasks.Out()))) return false;
  LONG count = 0;
  if (FAILED(tasks.Get()->get_Count(&count))) return false;
  for (LONG i = 1; i <= count; ++i) {
    VARIANT index = EmptyVariant();
    index.vt = VT_I4;
    index.lVal = i;
    ComPointer<IRegisteredTask> task;
    Bstr name;
    if (FAILED(tasks.Get()->get_Item(index, task.Out())) ||
        FAILED(task.Get()->get_Name(name.Out())))
      return false;
    names.emplace_back(name.Get());
  }
  return true;
}

// The same from the scheduler's store, which keeps one file per task under
// the system folder's "Tasks": for a scheduler that cannot list a folder's
// tasks through the interface (Wine's cannot).
void TaskNamesFromStore(std::vector<std::wstring>& names) {
  WideString system;
  UINT length = GetSystemDirectoryW(system.AssignN(MAX_PATH, nullptr), MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  system.len = 0;
  WideString pattern;
  pattern.AssignConcat(system.CStr(), L"\\Tasks\\", kTaskFolderName, L"\\*");
  FindHandle find(kFindFilesOnly);
  if (!FirstEntry(find, pattern.CStr())) return;
  do names.emplace_back(find.Name());
  while (NextEntry(find));
}

}  // namespace

bool ParseSchedule(const wchar_t* text, Schedule& schedule) {
  if (!text) return false;
  std::wstring whole = Trimmed(text, text + wcslen(text));
  Schedule parsed;
  if (whole.empty() || EqualsNoCase(whole.c_str(), L"none")) {
    schedule = parsed;
    return true;
  }
  if (EqualsNoCase(whole.c_str(), L"logon")) {
    parsed.kind = ScheduleKind::kLogon;
    schedule = parsed;
    return true;
  }
  size_t at = whole.find(L'@');
  if (at == std::wstring::npos) return false;
  std::wstring when = Trimmed(whole.c_str(), whole.c_str() + at);
  std::wstring time = Trimmed(whole.c_str() + at + 1, whole.c_str() + whole.size());
  if (!ParseTime(time, parsed.hour, parsed.minute)) return false;
  if (EqualsNoCase(when.c_str(), L"daily")) {
    parsed.kind = ScheduleKind::kDaily;
  } else if (ParseDays(when, parsed.days)) {
    parsed.kind = ScheduleKind::kWeekly;
  } else {
    return false;
  }
  schedule = parsed;
  return true;
}

void FormatSchedule(const Schedule& schedule, WideString& text) {
  switch (schedule.kind) {
    case ScheduleKind::kNone:
      text.Assign(L"none");
      return;
    case ScheduleKind::kLogon:
      text.Assign(L"logon");
      return;
    case ScheduleKind::kDaily:
      text.Assign(L"daily");
      break;
    case ScheduleKind::kWeekly:
      text.Assign(L"");
      for (const DayName& day : kDays) {
        if (!(schedule.days & day.bit)) continue;
        if (text.Length() > 0) text.Append(L",");
        text.Append(day.shortName);
      }
      break;
  }
  wchar_t time[8];
  swprintf(time, sizeof(time) / sizeof(time[0]), L"@%02u:%02u", unsigned{schedule.hour},
           unsigned{schedule.minute});
  text.Append(time);
}

void ScheduledTaskName(const wchar_t* jobFile, WideString& name) {
  WideString file(jobFile);
  FileNamePart(file);
  int32_t length = file.Length();
  if (length > 5 && EqualsNoCase(file.CStr() + length - 5, L".hbak")) file.Truncate(length - 5);
  name.AssignConcat(kTaskNamePrefix, file.CStr());
}

void BuildTaskXml(const Schedule& schedule, const TaskAction& action, const SYSTEMTIME& startDate,
                  WideString& xml) {
  const bool user = action.userId && action.userId[0];
  xml.Assign(
      L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
      L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
      L"  <RegistrationInfo>\r\n");
  AppendElement(xml, L"    ", L"Author", kTaskFolderName);
  WideString description;
  TaskDescription(action.jobFile, description);
  AppendElement(xml, L"    ", L"Description", description.CStr());
  xml.Append(L"  </RegistrationInfo>\r\n  <Triggers>\r\n");
  if (schedule.kind == ScheduleKind::kLogon) {
    xml.Append(L"    <LogonTrigger>\r\n      <Enabled>true</Enabled>\r\n");
    if (user) AppendElement(xml, L"      ", L"UserId", action.userId);
    xml.Append(L"    </LogonTrigger>\r\n");
  } else {
    // Without a zone the time is local and follows daylight saving.
    wchar_t start[40];
    swprintf(start, sizeof(start) / sizeof(start[0]), L"%04u-%02u-%02uT%02u:%02u:00",
             unsigned{startDate.wYear}, unsigned{startDate.wMonth}, unsigned{startDate.wDay},
             unsigned{schedule.hour}, unsigned{schedule.minute});
    xml.Append(L"    <CalendarTrigger>\r\n");
    AppendElement(xml, L"      ", L"StartBoundary", start);
    xml.Append(L"      <Enabled>true</Enabled>\r\n");
    if (schedule.kind == ScheduleKind::kDaily) {
      xml.Append(
          L"      <ScheduleByDay>\r\n        <DaysInterval>1</DaysInterval>\r\n"
          L"      </ScheduleByDay>\r\n");
    } else {
      xml.Append(L"      <ScheduleByWeek>\r\n        <DaysOfWeek>\r\n");
      for (const DayName& day : kDays)
        if (schedule.days & day.bit) xml.Append(L"          <", day.element, L" />\r\n");
      xml.Append(
          L"        </DaysOfWeek>\r\n        <WeeksInterval>1</WeeksInterval>\r\n"
          L"      </ScheduleByWeek>\r\n");
    }
    xml.Append(L"    </CalendarTrigger>\r\n");
  }
  xml.Append(L"  </Triggers>\r\n  <Principals>\r\n    <Principal id=\"Author\">\r\n");
  if (user) AppendElement(xml, L"      ", L"UserId", action.userId);
  // The program opens every file with backup semantics, which needs the
  // elevated token of an administrator.
  xml.Append(
      L"      <LogonType>InteractiveToken</LogonType>\r\n"
      L"      <RunLevel>HighestAvailable</RunLevel>\r\n"
      L"    </Principal>\r\n  </Principals>\r\n  <Settings>\r\n"
      // A second run of one job would copy the same files over each other.
      L"    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\r\n"
      L"    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
      L"    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
      // A missed night (the machine was off) is made up as soon as possible.
      L"    <StartWhenAvailable>true</StartWhenAvailable>\r\n"
      // A backup takes as long as it takes; stopped halfway it is worth less.
      L"    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\r\n"
      L"    <Enabled>true</Enabled>\r\n"
      L"  </Settings>\r\n  <Actions Context=\"Author\">\r\n    <Exec>\r\n");
  WideString command;
  command.AssignConcat(L"\"", action.program, L"\"");
  AppendElement(xml, L"      ", L"Command", command.CStr());
  WideString arguments;
  arguments.AssignConcat(L"\"", action.jobFile, L"\" /Quiet ", kScheduledSwitch);
  AppendElement(xml, L"      ", L"Arguments", arguments.CStr());
  xml.Append(L"    </Exec>\r\n  </Actions>\r\n</Task>\r\n");
}

TaskOutcome ApplySchedule(const Schedule& schedule, const TaskAction& action) {
  if (schedule.kind == ScheduleKind::kNone) return RemoveScheduledTask(action.jobFile);
  SchedulerFolder scheduler;
  TaskOutcome opened = OpenTaskFolder(scheduler, true);
  if (opened != TaskOutcome::kDone) return opened;
  SYSTEMTIME today;
  GetLocalTime(&today);
  WideString xml;
  BuildTaskXml(schedule, action, today, xml);
  WideString name;
  ScheduledTaskName(action.jobFile, name);
  if (!xml.ok || !name.ok) return TaskOutcome::kRefused;
  Bstr taskName(SysAllocString(name.CStr()));
  Bstr taskXml(SysAllocString(xml.CStr()));
  VARIANT none = EmptyVariant();
  VARIANT userId = EmptyVariant();
  Bstr userText;
  if (action.userId && action.userId[0]) {
    userText.Reset(SysAllocString(action.userId));
    userId.vt = VT_BSTR;
    userId.bstrVal = userText.Get();
  }
  if (TaskRunsAnotherJob(scheduler.folder.Get(), taskName.Get(), action.jobFile))
    return TaskOutcome::kNameTaken;
  ComPointer<IRegisteredTask> registered;
  HRESULT result = scheduler.folder.Get()->RegisterTask(
      taskName.Get(), taskXml.Get(), TASK_CREATE_OR_UPDATE, userId, none,
      TASK_LOGON_INTERACTIVE_TOKEN, none, registered.Out());
  return SUCCEEDED(result) ? TaskOutcome::kDone : TaskOutcome::kRefused;
}

TaskOutcome RemoveScheduledTask(const wchar_t* jobFile) {
  SchedulerFolder scheduler;
  TaskOutcome opened = OpenTaskFolder(scheduler, false);
  if (opened != TaskOutcome::kDone || !scheduler.folder.Valid()) return opened;
  WideString name;
  ScheduledTaskName(jobFile, name);
  Bstr taskName(SysAllocString(name.CStr()));
  if (TaskRunsAnotherJob(scheduler.folder.Get(), taskName.Get(), jobFile))
    return TaskOutcome::kNameTaken;
  HRESULT result = scheduler.folder.Get()->DeleteTask(taskName.Get(), 0);
  return SUCCEEDED(result) || IsMissingTask(result) ? TaskOutcome::kDone : TaskOutcome::kRefused;
}

bool ScheduledTaskExists(const wchar_t* jobFile) {
  SchedulerFolder scheduler;
  if (OpenTaskFolder(scheduler, false) != TaskOutcome::kDone || !scheduler.folder.Valid())
    return false;
  WideString name;
  ScheduledTaskName(jobFile, name);
  Bstr taskName(SysAllocString(name.CStr()));
  ComPointer<IRegisteredTask> task;
  return SUCCEEDED(scheduler.folder.Get()->GetTask(taskName.Get(), task.Out()));
}

TaskOutcome RemoveAllScheduledTasks() {
  SchedulerFolder scheduler;
  TaskOutcome opened = OpenTaskFolder(scheduler, false);
  if (opened != TaskOutcome::kDone || !scheduler.folder.Valid()) return opened;
  std::vector<std::wstring> names;
  if (!TaskNamesOf(scheduler.folder.Get(), names)) TaskNamesFromStore(names);
  bool all = true;
  for (const std::wstring& name : names) {
    Bstr taskName(SysAllocString(name.c_str()));
    HRESULT result = scheduler.folder.Get()->DeleteTask(taskName.Get(), 0);
    if (FAILED(result) && !IsMissingTask(result)) all = false;
  }
  scheduler.folder.Reset();
  Bstr folderName(SysAllocString(kTaskFolderName));
  HRESULT result = scheduler.root.Get()->DeleteFolder(folderName.Get(), 0);
  if (FAILED(result) && !IsMissingTask(result)) all = false;
  return all ? TaskOutcome::kDone : TaskOutcome::kRefused;
}
