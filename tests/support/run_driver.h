// Drives a run of the operation runner from the outside while the test's own
// thread is inside RunBackup: a script on a thread of its own finds the
// progress window, reads its controls, presses its buttons and answers its
// questions with posted messages. The worker can be held at an exact point
// (decided on the worker thread, in the job's progress observer), so that the
// script acts while nothing moves. Every wait is bounded.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/backup_job.h"
#include "engine/handle_holder.h"

inline constexpr DWORD kDriverWait = 60000;

// Control indices of the progress window, in the order they are created.
enum ProgressControl : int {
  kSpinnerHost = 1,
  kTitleLabel,
  kSourceLabel,
  kDestinationLabel,
  kProgressBar,
  kStatusLabel,
  kCompletionLabel,
  kCompletionList,
  kPauseButton,
  kCancelButton,
};

class RunDriver {
 public:
  using Condition = std::function<bool(const BackupJob&)>;
  using Script = std::function<void(RunDriver&)>;

  explicit RunDriver(BackupJob& job);
  ~RunDriver();  // releases the worker, waits for the script
  RunDriver(const RunDriver&) = delete;
  RunDriver& operator=(const RunDriver&) = delete;

  // Holds the worker at each point in turn: the first time the first
  // condition holds, then the first time the next one does, and so on.
  void HoldWhen(Condition condition);
  // Runs the script on its own thread.
  void Start(Script script);
  // Waits for the script to end.
  void Join();

  // --- For scripts ----------------------------------------------------------
  // Waits until the worker stands at the next point.
  bool WaitHeld();
  // Waits for the progress window, then for the worker at the next point.
  bool WaitForHeldRun() { return WaitForWindow() && WaitHeld(); }
  void Release();
  // The progress window once it exists and is visible; null after the bound.
  HWND WaitForWindow();
  HWND Control(int index);
  std::wstring Text(int index);
  bool WaitForText(int index, const std::wstring& text);
  void Click(int index);
  // Waits for the cancel question (or any box) and presses Yes or No; the
  // question's text is kept.
  bool Answer(bool yes);
  // Waits for a box without answering it; its text is kept in question.
  HWND WaitForQuestion();
  // Waits until the worker thread last held has ended.
  bool WaitForWorkerEnd();
  bool WaitForCancelFlag();
  // Failures seen by the script, one line each; empty when all went well.
  std::wstring problems;
  std::wstring question;
  HWND window = nullptr;
  BackupJob& job;

 private:
  static void Observe(void* context, BackupJob& job);
  void Note(const std::wstring& problem);

  std::vector<Condition> holds_;     // set before the run, read by the worker
  std::atomic<size_t> nextHold_{0};  // the observer may be told on several threads
  HandleHolder held_;                // auto-reset: one per point reached
  HandleHolder released_;            // auto-reset: one per release
  HandleHolder finished_;            // manual: the driver lets go for good
  HandleHolder worker_;              // the thread held last
  std::thread script_;
};

// The progress window's first appearance, on the thread that shows it (a
// thread hook, so it happens at an exact point before the run goes on).
class ProgressWindowShown {
 public:
  explicit ProgressWindowShown(std::function<void(HWND)> action);
  ~ProgressWindowShown();
  ProgressWindowShown(const ProgressWindowShown&) = delete;
  ProgressWindowShown& operator=(const ProgressWindowShown&) = delete;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
  HHOOK hook_ = nullptr;
};
