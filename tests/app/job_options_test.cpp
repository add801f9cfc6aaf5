#include "app/job_options.h"

#include <gtest/gtest.h>

#include "engine/copy_pool.h"
#include "tests/support/temp_tree.h"

// "Threads" of a job file decides how many files the copy pass keeps in
// flight; a file without the key leaves it to the program (one per
// processor, at most eight).
TEST(JobOptions, ThreadsOfTheJobFileReachTheCopyPass) {
  TempTree tree;
  JobSettings settings = NewJobSettings();
  settings.threads = 3;
  ASSERT_TRUE(WriteJobSettings(tree.Path(L"three.hbak").c_str(), settings).complete);
  settings.threads = kDefaultThreads;
  ASSERT_TRUE(WriteJobSettings(tree.Path(L"default.hbak").c_str(), settings).complete);

  JobSettings read;
  BackupJob job;
  ASSERT_EQ(ReadJobSettings(tree.Path(L"three.hbak").c_str(), read), JobFileRead::Read);
  ApplyJobOptions(read, job);
  EXPECT_EQ(FilesInFlight(job), 3u);
  ASSERT_EQ(ReadJobSettings(tree.Path(L"default.hbak").c_str(), read), JobFileRead::Read);
  ApplyJobOptions(read, job);
  EXPECT_EQ(job.threads, 0u);
  EXPECT_EQ(FilesInFlight(job), DefaultFilesInFlight());
}
