#include "ui/stoppable_thread.h"

bool StoppableThread::Start(LPTHREAD_START_ROUTINE routine, void* context) {
  if (thread_.Valid() || !stop_.Valid()) return false;
  ResetEvent(stop_.Get());
  thread_.Reset(CreateThread(nullptr, 0, routine, context, 0, nullptr));
  return thread_.Valid();
}

void StoppableThread::Stop() {
  if (!thread_.Valid()) return;
  SetEvent(stop_.Get());
  WaitForSingleObject(thread_.Get(), INFINITE);
  thread_.Close();
}
