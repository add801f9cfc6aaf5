// The job's value against real files: what the newer keys read as where a
// file lacks them, and that a file written from the value reads back as it.
#include "jobfile/job_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/jobfile/job_window.h"
#include "tests/support/temp_tree.h"

namespace {

TEST(JobSettingsFile, NewKeysRoundTripAndMeanWhatTheyMeantBeforeWhereAbsent) {
  TempTree tree;
  JobSettings read;
  EXPECT_EQ(ReadJobSettings(tree.Path(L"missing.hbak").c_str(), read), JobFileRead::Missing);
  EXPECT_EQ(read, NewJobSettings());
  EXPECT_EQ(read.versionDays, 30u) << "a new job keeps versions";

  // An older program's file: versions off, the guard at 50, nothing else.
  const std::wstring path = tree.Path(L"job.hbak");
  WriteUnicodeFile(path,
                   L"[Settings]\r\nversion=1\r\nFlag=17\r\nTheme=dark\r\n[Folders]\r\n"
                   L"0=C:\\A<|>0D:\\A<|>opaque\r\n");
  ASSERT_EQ(ReadJobSettings(path.c_str(), read), JobFileRead::Read);
  EXPECT_EQ(read.versionDays, 0u);
  EXPECT_EQ(read.deletionGuard, 50u);
  EXPECT_EQ(read.exclude, L"");
  EXPECT_EQ(read.schedule, L"");
  EXPECT_EQ(read.threads, 0u);
  EXPECT_EQ(read.mode, JobMode::Strict);
  ASSERT_EQ(read.pairs.size(), 1u);
  EXPECT_EQ(read.pairs[0], (JobPair{L"C:\\A", L"D:\\A", false, L"0", L"opaque"}));

  JobSettings written = read;
  written.pairs.push_back(JobPair{L"C:\\B", L"1dest", true, L"1", L""});
  written.mode = JobMode::Sync;
  written.versionDays = 7;
  written.deletionGuard = 0;
  written.exclude = L"*.tmp;node_modules\\";
  written.schedule = L"daily@21:00";
  written.threads = 4;
  ASSERT_TRUE(WriteJobSettings(path.c_str(), written).complete);
  ASSERT_EQ(ReadJobSettings(path.c_str(), read), JobFileRead::Read);
  EXPECT_EQ(read, written);

  // Back to what a file without the keys means: the keys go, so that an older
  // program reads the file exactly as it wrote it; keys of others stay.
  written.versionDays = 0;
  written.deletionGuard = 50;
  written.exclude.clear();
  written.schedule.clear();
  written.threads = 0;
  ASSERT_TRUE(WriteJobSettings(path.c_str(), written).complete);
  for (const wchar_t* key : {L"VersionDays", L"DeletionGuard", L"Exclude", L"Schedule", L"Threads"})
    EXPECT_EQ(ProfileValue(path, L"Settings", key), L"<absent>") << key;
  EXPECT_EQ(ProfileValue(path, L"Settings", L"Theme"), L"dark");
  ASSERT_EQ(ReadJobSettings(path.c_str(), read), JobFileRead::Read);
  EXPECT_EQ(read, written);
}

TEST(JobSettingsFile, DefaultFileHoldingOnlyHistoryIsStillANewJob) {
  TempTree tree;
  const std::wstring path = tree.Path(L"user.hbak");
  WriteUnicodeFile(path, L"[History]\r\nLastSrcFolder=C:\\Src\r\n");
  JobSettings read;
  ASSERT_EQ(ReadJobSettings(path.c_str(), read), JobFileRead::Read);
  EXPECT_EQ(read, NewJobSettings());
  WriteUnicodeFile(path, L"[History]\r\nLastSrcFolder=C:\\Src\r\n[Settings]\r\nFlag=0\r\n");
  ASSERT_EQ(ReadJobSettings(path.c_str(), read), JobFileRead::Read);
  EXPECT_EQ(read.versionDays, 0u) << "a saved job without the key keeps versions off";
}

}  // namespace
