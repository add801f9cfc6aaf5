#include "engine/backup_job.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(UpdateProgress, ReachesAThousandWhenEverythingIsDone) {
  BackupJob job;
  job.bytesTotal = 4097;
  job.bytesDone = 4097;
  job.itemsTotal = 13;
  job.itemsDone = 13;
  UpdateProgress(job);
  EXPECT_EQ(job.progress, 1000);
}

TEST(UpdateProgress, TruncatesEachHalfOnItsOwn) {
  BackupJob job;
  job.bytesTotal = 3;
  job.bytesDone = 1;  // 500 / 3 = 166.67
  job.itemsTotal = 3;
  job.itemsDone = 2;  // 1000 / 3 = 333.33
  UpdateProgress(job);
  EXPECT_EQ(job.progress, 166 + 333);
}

TEST(UpdateProgress, StaysWithinBoundsWhenCountersPassTheTotals) {
  // Restore and second passes count against the source side's totals.
  BackupJob job;
  job.bytesTotal = 1001;
  job.bytesDone = 50000;
  job.itemsTotal = 3;
  job.itemsDone = 7;
  UpdateProgress(job);
  EXPECT_EQ(job.progress, 1000);

  job.bytesTotal = UINT64_MAX;
  job.bytesDone = UINT64_MAX - 1;  // the product would leave 64 bits
  job.itemsTotal = 2;
  job.itemsDone = 0;
  UpdateProgress(job);
  EXPECT_GE(job.progress, 499);
  EXPECT_LE(job.progress, 500);
}

TEST(UpdateProgress, ZeroTotalsNeverDivide) {
  BackupJob job;
  job.bytesDone = 10;
  job.itemsDone = 10;
  UpdateProgress(job);
  EXPECT_EQ(job.progress, 0);
}

TEST(UpdateProgress, TellsTheObserverEveryTime) {
  BackupJob job;
  job.bytesTotal = job.itemsTotal = 10;
  int calls = 0;
  job.observerContext = &calls;
  job.progressObserver = [](void* context, BackupJob& seen) {
    ++*static_cast<int*>(context);
    EXPECT_EQ(seen.progress, 50 * static_cast<int>(seen.itemsDone));
  };
  for (job.itemsDone = 1; job.itemsDone <= 4; ++job.itemsDone) UpdateProgress(job);
  EXPECT_EQ(calls, 4);
}

TEST(BackupJob, TransferBufferIsAllocatedOnceAndKept) {
  BackupJob job;
  ASSERT_TRUE(EnsureTransferBuffer(job));
  unsigned char* first = job.transferBuffer.Get();
  first[0] = 1;
  first[kTransferBufferSize - 1] = 2;  // the whole buffer is usable
  ASSERT_TRUE(EnsureTransferBuffer(job));
  EXPECT_EQ(job.transferBuffer.Get(), first);
  MEMORY_BASIC_INFORMATION region;
  ASSERT_NE(VirtualQuery(first, &region, sizeof(region)), 0u);
  EXPECT_GE(region.RegionSize, kTransferBufferSize);
}
