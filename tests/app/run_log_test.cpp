// The run log's file: where it lives, its encoding, and how it stays small.
#include "app/runner/run_log.h"

#include <gtest/gtest.h>

#include <thread>

#include "app/runner/run_report.h"
#include "engine/backup_job.h"
#include "tests/support/temp_tree.h"

namespace {

std::wstring RunText(int number, size_t bodyLines) {
  std::wstring text = std::wstring(kRunHeading) + L"started " + std::to_wstring(number) + L"\r\n";
  for (size_t i = 0; i < bodyLines; ++i)
    text += L"  line " + std::to_wstring(i) + L" of run " + std::to_wstring(number) + L"\r\n";
  return text;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(RunLog, LivesBesideTheDefaultSettingsFile) {
  EXPECT_EQ(RunLogPath(L"C:\\Tools\\Backup\\Ann.hbak"), L"C:\\Tools\\Backup\\Ann.log");
  EXPECT_EQ(RunLogPath(L"C:\\Tools\\Backup\\.HBAK"), L"C:\\Tools\\Backup\\.log");
  EXPECT_EQ(RunLogPath(L"C:\\Tools\\other"), L"C:\\Tools\\other.log");
}

TEST(RunLog, StartsWithTheUtf8MarkAndKeepsNonLatinText) {
  TempTree tree;
  const std::wstring log = tree.Path(L"user.log");
  ASSERT_TRUE(AppendToRunLog(log.c_str(), std::wstring(kRunHeading) + L"\u5099\u4efd\r\n"));
  ASSERT_TRUE(AppendToRunLog(log.c_str(), RunText(2, 1)));
  const std::string bytes = ReadWholeFile(log);
  EXPECT_EQ(bytes.substr(0, 3 + 27 + 8),
            "\xEF\xBB\xBF==== Harborline Backup run \xE5\x82\x99\xE4\xBB\xBD\r\n");
  EXPECT_EQ(Count(bytes, "\xEF\xBB\xBF"), 1u);
  EXPECT_EQ(Count(bytes, "==== Harborline Backup run "), 2u);
}

TEST(RunLog, DropsTheOldestWholeRunsToStayUnderTheLimit) {
  TempTree tree;
  const std::wstring log = tree.Path(L"user.log");
  const size_t limit = 4096;
  for (int run = 1; run <= 40; ++run)
    ASSERT_TRUE(AppendToRunLog(log.c_str(), RunText(run, 5), limit));
  const std::string bytes = ReadWholeFile(log);
  EXPECT_LE(bytes.size(), limit);
  EXPECT_GT(bytes.size(), limit / 2) << "only as much as needed is dropped";
  EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(bytes.compare(3, 27, "==== Harborline Backup run "), 0) << "cut at a run's start";
  EXPECT_NE(bytes.find("started 40\r\n"), std::string::npos) << "the newest run is kept";
  EXPECT_EQ(bytes.find("started 1\r\n"), std::string::npos) << "the oldest run went";
  EXPECT_EQ(Count(bytes, "==== Harborline Backup run "), Count(bytes, "line 4 of run"))
      << "every run kept is whole";
}

TEST(RunLog, ARunLargerThanTheLimitIsStillKeptWhole) {
  TempTree tree;
  const std::wstring log = tree.Path(L"user.log");
  ASSERT_TRUE(AppendToRunLog(log.c_str(), RunText(1, 5), 1024));
  ASSERT_TRUE(AppendToRunLog(log.c_str(), RunText(2, 200), 1024));
  const std::string bytes = ReadWholeFile(log);
  EXPECT_EQ(bytes.find("started 1\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("line 199 of run 2"), std::string::npos);
}

TEST(RunLog, AFolderThatDoesNotExistIsReportedAndLeftAlone) {
  TempTree tree;
  const std::wstring log = tree.Path(L"missing\\user.log");
  EXPECT_FALSE(AppendToRunLog(log.c_str(), RunText(1, 1)));
  EXPECT_FALSE(Exists(tree.Path(L"missing")));
}

TEST(RunReport, WritesTheDirectionTheDataFlowed) {
  RunRecord run;
  run.rowCount = 1;
  run.pairs.push_back(PairRecord{});
  run.pairs[0].source = L"C:\\Data";
  run.pairs[0].destination = L"E:\\Backup";
  const std::pair<uint32_t, const wchar_t*> cases[] = {
      {0, L": C:\\Data -> E:\\Backup\r\n"},
      {BackupMode::Restore, L": E:\\Backup -> C:\\Data (from the destination to the source)\r\n"},
      {BackupMode::Sync, L": C:\\Data <-> E:\\Backup (both ways)\r\n"}};
  for (const auto& [flags, line] : cases) {
    run.flags = flags;
    EXPECT_NE(FormatRunReport(run).find(line), std::wstring::npos) << line;
  }
}

// However large the log has grown (another program's writes, an old version
// without the limit), the next run trims it and keeps its own report.
TEST(RunLog, ALogFarOverTheLimitIsTrimmedAndStillWritten) {
  TempTree tree;
  const std::wstring log = tree.Path(L"user.log");
  std::string chunk;
  for (int run = 0; chunk.size() < (1u << 20); ++run) chunk += Utf8(RunText(run, 20));
  {
    HANDLE file = CreateFileW(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    for (int i = 0; i < 65; ++i) {
      DWORD written = 0;
      WriteFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr);
      ASSERT_EQ(written, chunk.size());
    }
    CloseHandle(file);
  }
  ASSERT_TRUE(AppendToRunLog(log.c_str(), RunText(99999, 3)));
  const std::string bytes = ReadWholeFile(log);
  EXPECT_LE(bytes.size(), kRunLogLimit);
  EXPECT_GT(bytes.size(), kRunLogLimit / 2);
  EXPECT_EQ(bytes.compare(0, 3 + 27, "\xEF\xBB\xBF==== Harborline Backup run "), 0);
  EXPECT_NE(bytes.find("line 2 of run 99999\r\n"), std::string::npos);
}

// Two runs that end at the same moment: neither report is lost, each is whole.
TEST(RunLog, TwoRunsAppendingAtOnceBothKeepEveryReport) {
  TempTree tree;
  const std::wstring log = tree.Path(L"user.log");
  constexpr int kRuns = 60;
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  int failed[2] = {0, 0};
  auto appender = [&](int which) {
    WaitForSingleObject(go, 10000);
    for (int i = 0; i < kRuns; ++i)
      if (!AppendToRunLog(log.c_str(), RunText(which * 1000 + i, 30))) ++failed[which - 1];
  };
  std::thread first(appender, 1), second(appender, 2);
  SetEvent(go);
  first.join();
  second.join();
  CloseHandle(go);
  EXPECT_EQ(failed[0] + failed[1], 0);
  const std::string bytes = ReadWholeFile(log);
  for (int which = 1; which <= 2; ++which)
    for (int i = 0; i < kRuns; ++i)
      EXPECT_NE(bytes.find("line 29 of run " + std::to_string(which * 1000 + i) + "\r\n"),
                std::string::npos)
          << "run " << which * 1000 + i;
  EXPECT_EQ(Count(bytes, "==== Harborline Backup run "), 2u * kRuns);
  EXPECT_EQ(Count(bytes, "\xEF\xBB\xBF"), 1u);
}

}  // namespace
