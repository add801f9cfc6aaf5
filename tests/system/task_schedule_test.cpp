#include "system/task_schedule.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "jobfile/job_settings.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_tree.h"

namespace {

std::string Narrow(const std::wstring& text) { return Utf8(text); }

struct TextCase {
  const wchar_t* text;
  bool valid;
  const wchar_t* formatted;  // what FormatSchedule gives back
};

// Wine's scheduler keeps one file per task below the system folder, with
// the XML as registered; Windows keeps one there too.
std::wstring TaskFolderOnDisk() {
  wchar_t system[MAX_PATH];
  UINT length = GetSystemDirectoryW(system, MAX_PATH);
  return std::wstring(system, length) + L"\\tasks\\" + kTaskFolderName;
}

std::wstring TaskFileOnDisk(const wchar_t* jobFile) {
  WideString name;
  ScheduledTaskName(jobFile, name);
  return TaskFolderOnDisk() + L"\\" + name.CStr();
}

// What the scheduler's task file holds, in any encoding it chose, as
// narrow text with the zero bytes of UTF-16 dropped.
std::string TaskFileText(const std::wstring& path) {
  std::string bytes = ReadWholeFile(path);
  std::string text;
  for (char c : bytes)
    if (c != '\0') text += c;
  return text;
}

class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }

 private:
  HRESULT result_;
};

}  // namespace

TEST(Schedule, TextsOfTheSwitchAreReadAndWrittenBack) {
  const TextCase cases[] = {
      {L"daily@21:00", true, L"daily@21:00"},
      {L" DAILY @ 7:05 ", true, L"daily@07:05"},
      {L"mon,wed,fri@07:30", true, L"mon,wed,fri@07:30"},
      {L"sun, sat ,Mon@00:00", true, L"mon,sat,sun@00:00"},
      {L"logon", true, L"logon"},
      {L"LogOn", true, L"logon"},
      {L"none", true, L"none"},
      {L"", true, L"none"},
      {L"daily", false, nullptr},
      {L"daily@24:00", false, nullptr},
      {L"daily@12:60", false, nullptr},
      {L"daily@12:5", false, nullptr},
      {L"daily@12:05x", false, nullptr},
      {L"daily@-1:05", false, nullptr},
      {L"mon,mon@07:30", false, nullptr},
      {L"mon,,fri@07:30", false, nullptr},
      {L"monday@07:30", false, nullptr},
      {L"@07:30", false, nullptr},
      {L"weekly", false, nullptr},
  };
  for (const TextCase& row : cases) {
    Schedule schedule;
    schedule.kind = ScheduleKind::kLogon;  // untouched on failure
    EXPECT_EQ(ParseSchedule(row.text, schedule), row.valid) << Narrow(row.text);
    if (!row.valid) {
      EXPECT_EQ(schedule.kind, ScheduleKind::kLogon) << Narrow(row.text);
      continue;
    }
    WideString formatted;
    FormatSchedule(schedule, formatted);
    EXPECT_STREQ(formatted.CStr(), row.formatted) << Narrow(row.text);
  }
}

TEST(Schedule, TaskNameIsTheJobFileNameWithoutItsExtension) {
  WideString name;
  ScheduledTaskName(L"C:\\Jobs\\Nightly Photos.HBAK", name);
  EXPECT_STREQ(name.CStr(), L"Harborline Backup - Nightly Photos");
  ScheduledTaskName(L"C:\\Jobs\\plain", name);
  EXPECT_STREQ(name.CStr(), L"Harborline Backup - plain");
}

TEST(Schedule, TaskXmlRunsTheProgramQuietlyOnTheJobWithTheChosenTrigger) {
  Schedule schedule;
  ASSERT_TRUE(ParseSchedule(L"mon,fri@07:30", schedule));
  TaskAction action;
  action.program = L"C:\\Program Files\\Harborline Backup\\Harborline.exe";
  action.jobFile = L"D:\\Jobs & Plans\\<home>.hbak";
  action.userId = L"HOST\\anna";
  SYSTEMTIME day{};
  day.wYear = 2026;
  day.wMonth = 3;
  day.wDay = 9;
  WideString xml;
  BuildTaskXml(schedule, action, day, xml);
  std::wstring text(xml.CStr());
  for (const wchar_t* expected : {
           L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>",
           L"<StartBoundary>2026-03-09T07:30:00</StartBoundary>",
           L"<DaysOfWeek>\r\n          <Monday />\r\n          <Friday />\r\n        </DaysOfWeek>",
           L"<WeeksInterval>1</WeeksInterval>",
           L"<UserId>HOST\\anna</UserId>\r\n      <LogonType>InteractiveToken</LogonType>",
           L"<RunLevel>HighestAvailable</RunLevel>",
           L"<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>",
           L"<StartWhenAvailable>true</StartWhenAvailable>",
           L"<Command>&quot;C:\\Program Files\\Harborline Backup\\Harborline.exe&quot;</Command>",
           L"<Arguments>&quot;D:\\Jobs &amp; Plans\\&lt;home&gt;.hbak&quot; /Quiet "
           L"/Scheduled</Arguments>",
       })
    EXPECT_NE(text.find(expected), std::wstring::npos) << Narrow(expected) << "\n" << Narrow(text);
  EXPECT_EQ(text.find(L"ScheduleByDay"), std::wstring::npos);
  EXPECT_EQ(text.find(L"LogonTrigger"), std::wstring::npos);

  ASSERT_TRUE(ParseSchedule(L"daily@21:00", schedule));
  BuildTaskXml(schedule, action, day, xml);
  text = xml.CStr();
  EXPECT_NE(text.find(L"<ScheduleByDay>\r\n        <DaysInterval>1</DaysInterval>"),
            std::wstring::npos);
  EXPECT_NE(text.find(L"<StartBoundary>2026-03-09T21:00:00</StartBoundary>"), std::wstring::npos);

  ASSERT_TRUE(ParseSchedule(L"logon", schedule));
  action.userId = nullptr;
  BuildTaskXml(schedule, action, day, xml);
  text = xml.CStr();
  EXPECT_NE(text.find(L"<LogonTrigger>\r\n      <Enabled>true</Enabled>\r\n    </LogonTrigger>"),
            std::wstring::npos)
      << Narrow(text);
  EXPECT_EQ(text.find(L"CalendarTrigger"), std::wstring::npos);
  EXPECT_EQ(text.find(L"<UserId>"), std::wstring::npos) << "whoever registers it";
}

// Registers, changes and removes tasks in the test prefix's scheduler, which
// keeps their XML as files. Nothing outside the prefix is touched.
TEST(Schedule, TasksAreRegisteredChangedAndRemovedInTheProgramsFolder) {
  ComApartment com;
  TempTree tree;
  tree.WriteFile(L"Nightly.hbak", "");
  tree.WriteFile(L"Weekly.hbak", "");
  std::wstring nightly = tree.Path(L"Nightly.hbak");
  std::wstring weekly = tree.Path(L"Weekly.hbak");
  ASSERT_EQ(RemoveAllScheduledTasks(), TaskOutcome::kDone);
  EXPECT_FALSE(Exists(TaskFolderOnDisk()));
  EXPECT_FALSE(ScheduledTaskExists(nightly.c_str()));

  TaskAction action;
  action.program = L"C:\\Program Files\\Harborline Backup\\Harborline.exe";
  action.jobFile = nightly.c_str();
  Schedule schedule;
  ASSERT_TRUE(ParseSchedule(L"daily@21:00", schedule));
  ASSERT_EQ(ApplySchedule(schedule, action), TaskOutcome::kDone);
  EXPECT_TRUE(ScheduledTaskExists(nightly.c_str()));
  // Wine's scheduler writes back what it keeps of the XML: the settings and
  // the registration info, not the triggers or the action (Windows keeps all).
  std::wstring taskFile = TaskFileOnDisk(nightly.c_str());
  std::string registered = TaskFileText(taskFile);
  EXPECT_NE(registered.find("<Description>Runs the backup job " + Utf8(nightly)), std::string::npos)
      << registered;
  EXPECT_NE(registered.find("<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>"),
            std::string::npos)
      << registered;
  EXPECT_NE(registered.find("<StartWhenAvailable>true</StartWhenAvailable>"), std::string::npos)
      << registered;

  // A change replaces the task of the same job: its file is written anew.
  ASSERT_TRUE(SetWriteTime(taskFile, 132000000000000000LL));
  ASSERT_TRUE(ParseSchedule(L"tue,thu@06:15", schedule));
  ASSERT_EQ(ApplySchedule(schedule, action), TaskOutcome::kDone);
  EXPECT_NE(TimesOf(taskFile).lastWrite, 132000000000000000LL);
  EXPECT_EQ(NamesIn(TaskFolderOnDisk()).size(), 1u);

  action.jobFile = weekly.c_str();
  ASSERT_TRUE(ParseSchedule(L"logon", schedule));
  ASSERT_EQ(ApplySchedule(schedule, action), TaskOutcome::kDone);
  EXPECT_EQ(
      NamesIn(TaskFolderOnDisk()),
      (std::vector<std::wstring>{L"Harborline Backup - Nightly", L"Harborline Backup - Weekly"}));

  // Another folder's job file of the same name: its task would take the
  // first one's name. Neither replaced nor removed.
  tree.WriteFile(L"other\\Nightly.hbak", "");
  std::wstring namesake = tree.Path(L"other\\Nightly.hbak");
  action.jobFile = namesake.c_str();
  ASSERT_TRUE(ParseSchedule(L"daily@03:00", schedule));
  EXPECT_EQ(ApplySchedule(schedule, action), TaskOutcome::kNameTaken);
  EXPECT_EQ(RemoveScheduledTask(namesake.c_str()), TaskOutcome::kNameTaken);
  EXPECT_NE(TaskFileText(taskFile).find(Utf8(nightly)), std::string::npos);

  // "none" removes one job's task; removing it again is no failure.
  ASSERT_TRUE(ParseSchedule(L"none", schedule));
  action.jobFile = nightly.c_str();
  EXPECT_EQ(ApplySchedule(schedule, action), TaskOutcome::kDone);
  EXPECT_FALSE(ScheduledTaskExists(nightly.c_str()));
  EXPECT_FALSE(Exists(TaskFileOnDisk(nightly.c_str())));
  EXPECT_EQ(RemoveScheduledTask(nightly.c_str()), TaskOutcome::kDone);
  EXPECT_TRUE(ScheduledTaskExists(weekly.c_str()));

  // What the uninstaller does: every task of the folder, then the folder.
  EXPECT_EQ(RemoveAllScheduledTasks(), TaskOutcome::kDone);
  EXPECT_FALSE(ScheduledTaskExists(weekly.c_str()));
  EXPECT_FALSE(Exists(TaskFolderOnDisk()));
}

// The switch of the program itself: harborline.exe JOB /Schedule:TEXT, run as
// a script would, without a window.
TEST(Schedule, SwitchSchedulesTheJobFileAndAnswersWithItsExitCode) {
  ComApartment com;
  TempTree tree;
  tree.WriteFile(L"Night job.hbak", "[Settings]\r\nFlag=16\r\n");
  std::wstring job = tree.Path(L"Night job.hbak");
  ASSERT_EQ(RemoveAllScheduledTasks(), TaskOutcome::kDone);

  ChildResult run = RunSiblingProgram(L"harborline.exe", Quoted(job) + L" /Schedule:mon,wed@07:30");
  EXPECT_EQ(run.exitCode, 0u) << run.output << run.errors;
  EXPECT_TRUE(ScheduledTaskExists(job.c_str()));
  // The running program, since the test prefix has none installed.
  EXPECT_NE(TaskFileText(TaskFileOnDisk(job.c_str())).find("Runs the backup job " + Utf8(job)),
            std::string::npos);
  EXPECT_STREQ(ReadJobSchedule(job.c_str()).c_str(), L"mon,wed@07:30");

  // Not a schedule, no job file named: 2; a job file that is not there: 3.
  // Nothing changes.
  for (const std::wstring& arguments :
       {Quoted(job) + L" /Schedule:weekly", Quoted(job) + L" /Schedule:daily@25:00",
        std::wstring(L"/Schedule:daily@21:00")}) {
    run = RunSiblingProgram(L"harborline.exe", arguments);
    EXPECT_EQ(run.exitCode, 2u) << Utf8(arguments) << run.output;
  }
  run = RunSiblingProgram(L"harborline.exe",
                          Quoted(tree.Path(L"Missing.hbak")) + L" /Schedule:daily@21:00");
  EXPECT_EQ(run.exitCode, 3u) << run.output;
  EXPECT_FALSE(Exists(tree.Path(L"Missing.hbak")));
  EXPECT_FALSE(ScheduledTaskExists(tree.Path(L"Missing.hbak").c_str()));
  EXPECT_STREQ(ReadJobSchedule(job.c_str()).c_str(), L"mon,wed@07:30");

  // "none" removes the task and the key.
  run = RunSiblingProgram(L"harborline.exe", Quoted(job) + L" -SCHEDULE:none");
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_FALSE(ScheduledTaskExists(job.c_str()));
  EXPECT_TRUE(ReadJobSchedule(job.c_str()).empty());
  EXPECT_EQ(ReadWholeFile(job).find("Schedule"), std::string::npos);
  EXPECT_EQ(RemoveAllScheduledTasks(), TaskOutcome::kDone);
}
