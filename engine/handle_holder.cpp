#include "engine/handle_holder.h"

void HandleHolder::Reset(HANDLE handle) {
  if (handle == handle_ && Valid()) return;  // storing the same handle twice must not close it
  Close();
  handle_ = handle ? handle : INVALID_HANDLE_VALUE;
}

void HandleHolder::Close() {
  if (Valid()) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

HANDLE HandleHolder::Release() {
  HANDLE handle = handle_;
  handle_ = INVALID_HANDLE_VALUE;
  return handle;
}
