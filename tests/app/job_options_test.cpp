#include "app/job_options.h"

#include <gtest/gtest.h>

#include "engine/copy_pool.h"
#include "tests/support/temp_tree.h"

// A job file's "Threads" sets the files in flight; without it, the default.
TEST(JobOptions, ThreadsOfTheJobFileReachTheCopyPass) {
  TempTree tree;
  JobSettings settings = NewJobSettings();
  for (uint32_t threads : {3u, kDefaultThreads}) {
    settings.threads = threads;
    ASSERT_TRUE(WriteJobSettings(tree.Path(L"job.hbak").c_str(), settings).complete);
    JobSettings read;
    ASSERT_EQ(ReadJobSettings(tree.Path(L"job.hbak").c_str(), read), JobFileRead::Read);
    BackupJob job;
    ApplyJobOptions(read, job);
    EXPECT_EQ(FilesInFlight(job), threads ? threads : DefaultFilesInFlight());
  }
}
