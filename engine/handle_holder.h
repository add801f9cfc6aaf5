// The one owner of a kernel handle. Both -1 and null mean that no handle is
// held, because the platform answers failures with either, depending on the call.
#pragma once

#include <windows.h>

inline bool IsValidHandle(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

class HandleHolder {
 public:
  HandleHolder() = default;
  explicit HandleHolder(HANDLE handle) { Reset(handle); }
  ~HandleHolder() { Close(); }
  HandleHolder(const HandleHolder&) = delete;
  HandleHolder& operator=(const HandleHolder&) = delete;

  HANDLE Get() const { return handle_; }
  bool Valid() const { return IsValidHandle(handle_); }
  // Closes what was held; a null handle is stored as -1.
  void Reset(HANDLE handle);
  void Close();
  // Gives the handle away without closing it.
  HANDLE Release();

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};
