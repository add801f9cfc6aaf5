#include "app/os_version.h"

#include <windows.h>

#include <initializer_list>

namespace {

constexpr double kNewestKnown = 10.0;
// Beyond this, GetVersionExW answers a capped version to unmanifested callers.
constexpr double kLastUncappedVersion = 6.2;

bool IsMinorVersion(DWORD major, DWORD minor) {
  OSVERSIONINFOEXW probe = {};
  probe.dwOSVersionInfoSize = sizeof(probe);
  probe.dwMajorVersion = major;
  probe.dwMinorVersion = minor;
  ULONGLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, VER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_EQUAL);
  return VerifyVersionInfoW(&probe, VER_MAJORVERSION | VER_MINORVERSION, mask) != FALSE;
}

bool IsMajorVersion(DWORD major, BYTE condition) {
  OSVERSIONINFOEXW probe = {};
  probe.dwOSVersionInfoSize = sizeof(probe);
  probe.dwMajorVersion = major;
  ULONGLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, condition);
  return VerifyVersionInfoW(&probe, VER_MAJORVERSION, mask) != FALSE;
}

// Beyond 6.2 the answer of GetVersionExW is capped, so the probes decide.
double ProbeVersion() {
  if (IsMajorVersion(10, VER_GREATER_EQUAL)) return kNewestKnown;
  DWORD major = 0;
  if (IsMajorVersion(6, VER_EQUAL)) {
    major = 6;
  } else if (IsMajorVersion(5, VER_EQUAL)) {
    major = 5;
  } else {
    return 0.0;
  }
  for (DWORD minor : {3u, 2u, 1u})
    if (IsMinorVersion(major, minor)) return major + minor / 10.0;
  return major;
}

}  // namespace

double GetOsVersion() {
  // Looked up at run time: newer headers mark the call as deprecated, and a
  // system without it is simply the newest kind.
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  using GetVersionExFn = BOOL(WINAPI*)(OSVERSIONINFOEXW*);
  auto getVersionEx = kernel ? reinterpret_cast<GetVersionExFn>(
                                   reinterpret_cast<void*>(GetProcAddress(kernel, "GetVersionExW")))
                             : nullptr;
  if (!getVersionEx) return kNewestKnown;
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  double version = 0.0;
  if (getVersionEx(&info)) version = info.dwMajorVersion + info.dwMinorVersion / 10.0;
  if (version > 0.0 && version <= kLastUncappedVersion) return version;
  return ProbeVersion();
}
