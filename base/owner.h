// The one owner of a platform resource: a handle, a pointer from a C library
// or a GDI object, released with the call that belongs to it. Each kind of
// resource is a one-line alias of Owner (HandleHolder below; the toolkit's and
// the application's own next to their users). An Owner can be moved, so a
// function can hand ownership to its caller.
#pragma once

#include <windows.h>

// Which values of a handle type mean that nothing is held. The platform
// answers failures with null or with INVALID_HANDLE_VALUE depending on the
// call; kernel handles accept both.
enum class NoneIs {
  Null,
  Invalid,  // INVALID_HANDLE_VALUE
  NullOrInvalid,
};

template <typename H, auto ReleaseCall, NoneIs None = NoneIs::Null>
class Owner {
 public:
  Owner() = default;
  explicit Owner(H handle) { Reset(handle); }
  ~Owner() { Close(); }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  Owner(Owner&& other) noexcept : handle_(other.Release()) {}
  Owner& operator=(Owner&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  // The value stored when nothing is held: null, or -1 for the kinds that
  // take INVALID_HANDLE_VALUE as "none".
  static H Empty() {
    if constexpr (None == NoneIs::Null) {
      return H{};
    } else {
      return reinterpret_cast<H>(INVALID_HANDLE_VALUE);
    }
  }
  static bool IsNone(H handle) {
    const bool null = handle == H{};
    const bool invalid = handle == reinterpret_cast<H>(INVALID_HANDLE_VALUE);
    if constexpr (None == NoneIs::Null) return null;
    if constexpr (None == NoneIs::Invalid) return invalid;
    return null || invalid;
  }

  H Get() const { return handle_; }
  bool Valid() const { return !IsNone(handle_); }
  explicit operator bool() const { return Valid(); }
  // Releases what is held and keeps the new handle; storing the handle that
  // is already held does not release it.
  void Reset(H handle = Empty()) {
    if (handle == handle_ && Valid()) return;
    Close();
    handle_ = IsNone(handle) ? Empty() : handle;
  }
  void Close() {
    if (Valid()) ReleaseCall(handle_);
    handle_ = Empty();
  }
  // Gives the handle away without releasing it.
  H Release() {
    H handle = handle_;
    handle_ = Empty();
    return handle;
  }
  // For calls that create into an out-parameter; what was held is released.
  H* Out() {
    Close();
    return &handle_;
  }

 private:
  H handle_ = Empty();
};

inline bool IsValidHandle(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// Kernel handles: files, threads, processes, tokens, events.
using HandleHolder = Owner<HANDLE, CloseHandle, NoneIs::NullOrInvalid>;

// COM interfaces: one reference, given back with Release.
template <typename T>
void ReleaseComReference(T* object) {
  object->Release();
}
template <typename T>
using ComPointer = Owner<T*, ReleaseComReference<T>>;
