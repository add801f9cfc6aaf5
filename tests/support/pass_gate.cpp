#include "tests/support/pass_gate.h"

PassGate::PassGate(BackupJob& job, Condition holdWhen) : job_(job), holdWhen_(std::move(holdWhen)) {
  held_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  released_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  job_.progressObserver = Observe;
  job_.observerContext = this;
}

PassGate::~PassGate() {
  Release();
  ResumeJob(job_);  // a test that failed while the job was paused
  if (thread_.Valid()) WaitForSingleObject(thread_.Get(), kBoundedWait);
  job_.progressObserver = nullptr;
  job_.observerContext = nullptr;
}

void PassGate::Observe(void* context, BackupJob& job) {
  PassGate& gate = *static_cast<PassGate*>(context);
  if (gate.fired_.load() || !gate.holdWhen_(job) || gate.fired_.exchange(true)) return;
  SetEvent(gate.held_.Get());
  WaitForSingleObject(gate.released_.Get(), kBoundedWait);
}

bool PassGate::Start(WorkerRoutine routine) {
  thread_.Reset(StartWorker(routine, job_));
  return thread_.Valid();
}

bool PassGate::WaitHeld() {
  HANDLE both[] = {held_.Get(), thread_.Get()};
  // Ending without reaching the point is a failure of the test, not a hang.
  return WaitForMultipleObjects(2, both, FALSE, kBoundedWait) == WAIT_OBJECT_0;
}

void PassGate::Release() { SetEvent(released_.Get()); }

bool PassGate::WaitEnded(DWORD* exitCode) {
  if (WaitForSingleObject(thread_.Get(), kBoundedWait) != WAIT_OBJECT_0) return false;
  return GetExitCodeThread(thread_.Get(), exitCode) != FALSE;
}
