#include "engine/copy_pool.h"

#include <algorithm>
#include <deque>
#include <utility>
#include <vector>

#include "engine/pair_passes.h"

namespace {

// Files waiting per worker: enough that a worker never idles while the
// walker lists the next folder, few enough that the walker stays near the
// files in flight (and a cancel has little to drop).
constexpr size_t kQueuedPerWorker = 16;
// How often an idle worker of a cancelled run looks whether the walker is
// still there to close the pool (see TakeFile).
constexpr DWORD kIdleLookMs = 100;

// A failure of a pooled file with the file's place in the walk.
struct PlacedFailure {
  uint64_t failuresBefore;
  uint64_t sequence;
  FailedItem item;
};

bool EarlierInWalk(const PlacedFailure& a, const PlacedFailure& b) {
  if (a.failuresBefore != b.failuresBefore) return a.failuresBefore < b.failuresBefore;
  return a.sequence < b.sequence;
}

}  // namespace

struct CopyPool::State {
  State(BackupJob& backupJob, PooledFileRoutine fileRoutine)
      : job(backupJob), routine(fileRoutine) {}

  struct Worker {
    HandleHolder thread;
    TransferBuffer buffer;
    FileObject source;
    FileObject destination;
    PassReport report;  // counts of the whole pass; failures move on after each file
  };

  BackupJob& job;
  PooledFileRoutine routine;
  std::vector<std::unique_ptr<Worker>> workers;
  size_t capacity = 0;

  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE fileQueued = CONDITION_VARIABLE_INIT;  // or closing
  CONDITION_VARIABLE roomInQueue = CONDITION_VARIABLE_INIT;
  CONDITION_VARIABLE fileDone = CONDITION_VARIABLE_INIT;
  std::deque<PooledFile> queue;
  bool closing = false;
  uint64_t handedOut = 0;
  uint64_t done = 0;  // files handed out that a worker finished or dropped
  std::atomic<bool> someFolderStopped{false};
  // The failures of pooled files, trimmed to the earliest kKeptFailures in
  // the walk whenever they grow to twice that.
  std::vector<PlacedFailure> failures;
};

namespace {

using State = CopyPool::State;

struct WorkerStart {
  std::shared_ptr<State> state;
  size_t index;
};

void Trim(std::vector<PlacedFailure>& failures) {
  std::stable_sort(failures.begin(), failures.end(), EarlierInWalk);
  if (failures.size() > kKeptFailures) failures.resize(kKeptFailures);
}

// Moves the failures of the file just done to the pool's list, in the order
// they happened; the worker's counts stay with the worker.
void PlaceFailures(State& state, PassReport& report, const PooledFile& file) {
  AcquireSRWLockExclusive(&state.lock);
  for (FailedItem& item : report.failures)
    state.failures.push_back(PlacedFailure{file.failuresBefore, file.sequence, std::move(item)});
  if (state.failures.size() >= 2 * kKeptFailures) Trim(state.failures);
  ReleaseSRWLockExclusive(&state.lock);
  report.failures.clear();
}

// False once the pool is closing and nothing is left to do.
bool TakeFile(State& state, PooledFile& file) {
  AcquireSRWLockExclusive(&state.lock);
  while (state.queue.empty() && !state.closing) {
    // The runner's last resort after a cancel ends the walker by force,
    // before it could close the pool: idle workers then end by themselves.
    if (!SleepConditionVariableSRW(&state.fileQueued, &state.lock, kIdleLookMs, 0) &&
        state.job.cancelRequested.load(std::memory_order_relaxed))
      break;
  }
  const bool taken = !state.queue.empty();
  if (taken) {
    file = std::move(state.queue.front());
    state.queue.pop_front();
  }
  ReleaseSRWLockExclusive(&state.lock);
  if (taken) WakeConditionVariable(&state.roomInQueue);
  return taken;
}

DWORD WINAPI WorkerThread(void* argument) {
  std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(argument));
  // The worker shares the pool's state, so that even a walker ended by force
  // (the runner's last resort after a cancel) leaves nothing it still uses
  // freed beneath it.
  std::shared_ptr<State> state = std::move(start->state);
  State::Worker& worker = *state->workers[start->index];
  TransferSlot slot{worker.buffer.Get(), worker.source, worker.destination, worker.report};
  PooledFile file;
  while (TakeFile(*state, file)) {
    // The stopping point between files: Pause holds the worker here; after
    // a cancel the files still queued are dropped unstarted.
    if (!StopRequested(state->job) && !file.folder->stopped.load()) {
      state->routine(state->job, slot, file);
      if (file.folder->stopped.load()) state->someFolderStopped = true;
      if (!worker.report.failures.empty()) PlaceFailures(*state, worker.report, file);
    }
    AcquireSRWLockExclusive(&state->lock);
    ++state->done;
    ReleaseSRWLockExclusive(&state->lock);
    WakeAllConditionVariable(&state->fileDone);
  }
  CloseFile(worker.source);
  CloseFile(worker.destination);
  return 0;
}

}  // namespace

uint32_t DefaultFilesInFlight() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  uint32_t processors = system.dwNumberOfProcessors;
  if (processors < 1) processors = 1;
  return processors < kDefaultFilesInFlightLimit ? processors : kDefaultFilesInFlightLimit;
}

uint32_t FilesInFlight(const BackupJob& job) {
  if (job.threads == 0) return DefaultFilesInFlight();
  return job.threads < kMostFilesInFlight ? job.threads : kMostFilesInFlight;
}

CopyPool::CopyPool(BackupJob& job, uint32_t threads, PooledFileRoutine routine) : job_(job) {
  if (threads < 2) return;
  if (threads > kMostFilesInFlight) threads = kMostFilesInFlight;
  auto state = std::make_shared<State>(job, routine);
  state->workers.reserve(threads);
  for (uint32_t i = 0; i < threads; ++i) {
    auto worker = std::make_unique<State::Worker>();
    worker->buffer.Reset(static_cast<unsigned char*>(
        VirtualAlloc(nullptr, kTransferBufferSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)));
    if (!worker->buffer.Valid()) break;
    state->workers.push_back(std::move(worker));
  }
  // Started only once the list is complete: workers index into it.
  size_t started = 0;
  for (size_t i = 0; i < state->workers.size(); ++i) {
    auto* start = new WorkerStart{state, i};
    // Replacing an item can delete a folder tree in the way, as deep as the
    // tree goes: the walker's reservation.
    HANDLE thread = CreateThread(nullptr, kWorkerStackReserve, WorkerThread, start,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) {
      delete start;
      break;
    }
    state->workers[i]->thread.Reset(thread);
    ++started;
  }
  state->capacity = started * kQueuedPerWorker;
  state_ = std::move(state);
  if (started < 2) Finish();  // one worker beside a waiting walker gains nothing
}

CopyPool::~CopyPool() { Finish(); }

uint32_t CopyPool::Workers() const {
  if (!state_) return 0;
  uint32_t count = 0;
  for (const auto& worker : state_->workers)
    if (worker->thread.Valid()) ++count;
  return count;
}

void CopyPool::Submit(PooledFile&& file) {
  State& state = *state_;
  AcquireSRWLockExclusive(&state.lock);
  while (state.queue.size() >= state.capacity)
    SleepConditionVariableSRW(&state.roomInQueue, &state.lock, INFINITE, 0);
  file.failuresBefore = job_.report.counts.failed;
  file.sequence = state.handedOut++;
  state.queue.push_back(std::move(file));
  ReleaseSRWLockExclusive(&state.lock);
  WakeConditionVariable(&state.fileQueued);
}

void CopyPool::WaitUntilDone() {
  if (!state_) return;
  State& state = *state_;
  AcquireSRWLockExclusive(&state.lock);
  while (state.done < state.handedOut) {
    // Workers of a cancelled run may have ended while idle (see TakeFile):
    // what is still queued then has nobody to drop it.
    if (job_.cancelRequested.load(std::memory_order_relaxed) && !state.queue.empty()) {
      state.done += state.queue.size();
      state.queue.clear();
      continue;
    }
    SleepConditionVariableSRW(&state.fileDone, &state.lock, kIdleLookMs, 0);
  }
  ReleaseSRWLockExclusive(&state.lock);
}

void CopyPool::Finish() {
  if (!state_) return;
  State& state = *state_;
  AcquireSRWLockExclusive(&state.lock);
  state.closing = true;
  ReleaseSRWLockExclusive(&state.lock);
  WakeAllConditionVariable(&state.fileQueued);
  for (auto& worker : state.workers)
    if (worker->thread.Valid()) WaitForSingleObject(worker->thread.Get(), INFINITE);

  someFolderStopped_ = state.someFolderStopped.load();
  PassReport& report = job_.report;
  for (auto& worker : state.workers) AddCounts(report.counts, worker->report.counts);
  if (!state.failures.empty()) {
    Trim(state.failures);
    // The walker's failure number i stands after every pooled file handed
    // out once it had i failures before it.
    std::vector<FailedItem> merged;
    merged.reserve(report.failures.size() + state.failures.size());
    size_t walker = 0;
    for (PlacedFailure& pooled : state.failures) {
      while (walker < report.failures.size() && walker < pooled.failuresBefore)
        merged.push_back(std::move(report.failures[walker++]));
      merged.push_back(std::move(pooled.item));
    }
    while (walker < report.failures.size()) merged.push_back(std::move(report.failures[walker++]));
    if (merged.size() > kKeptFailures) merged.resize(kKeptFailures);
    report.failures = std::move(merged);
  }
  state_.reset();
}
