#include "system/process_control.h"

#include <psapi.h>
#include <tlhelp32.h>

#include "engine/handle_holder.h"

namespace {

constexpr DWORD kSystemProcessId = 4;
constexpr int kTerminateAttempts = 30;
constexpr DWORD kTerminateWaitMs = 20;

bool HasEnded(HANDLE process, DWORD waitMs) {
  return WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;
}

bool TerminateRepeatedly(HANDLE process) {
  for (int attempt = 0; attempt < kTerminateAttempts; ++attempt) {
    TerminateProcess(process, 0);
    if (HasEnded(process, kTerminateWaitMs)) return true;
  }
  return false;
}

// For a process that resists: stop each of its threads.
void TerminateThreadsOf(DWORD processId) {
  HandleHolder snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot.Valid()) return;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot.Get(), &entry); more;
       more = Thread32Next(snapshot.Get(), &entry)) {
    if (entry.th32OwnerProcessID != processId) continue;
    HandleHolder thread(
        OpenThread(THREAD_TERMINATE | THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
    if (!thread.Valid()) continue;
    SuspendThread(thread.Get());
    TerminateThread(thread.Get(), 0);
  }
}

// The query answers in a buffer of the caller's size: grow until it fits.
template <typename Query>
bool QueryGrowing(WideString& path, Query query) {
  for (DWORD size = MAX_PATH; size <= 0x10000; size *= 2) {
    wchar_t* buffer = path.AssignN(static_cast<int32_t>(size), nullptr);
    if (!buffer) return false;
    DWORD length = size;
    if (query(buffer, length)) {
      path.len = 0;
      path.ok = true;
      return true;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  }
  return false;
}

}  // namespace

void NormalizeImagePath(WideString& path) {
  if (path.Length() < 2 || path.CStr()[0] != L'\\' || path.CStr()[1] == L'\\') return;
  if (path.Find(L"\\SystemRoot\\", false, 1, 1, 12) == 1) {
    UINT needed = GetSystemWindowsDirectoryW(nullptr, 0);
    WideString windows;
    wchar_t* buffer = needed ? windows.AssignN(static_cast<int32_t>(needed), nullptr) : nullptr;
    if (!buffer) return;
    UINT written = GetSystemWindowsDirectoryW(buffer, needed);
    if (written == 0 || written >= needed) return;
    windows.len = static_cast<int32_t>(written);
    path.DropLeft(11);  // "\SystemRoot"; its trailing backslash stays
    path.Prepend(windows.CStr());
  } else if (path.Find(L"\\??\\", true, 1, 1, 4) == 1) {
    path.DropLeft(4);
  }
}

bool ProcessImagePath(HANDLE process, WideString& path) {
  bool found = QueryGrowing(path, [&](wchar_t* buffer, DWORD& length) {
    DWORD size = length;
    return QueryFullProcessImageNameW(process, 0, buffer, &size) != FALSE;
  });
  if (!found) {
    found = QueryGrowing(path, [&](wchar_t* buffer, DWORD& length) {
      DWORD written = GetModuleFileNameExW(process, nullptr, buffer, length);
      if (written > 0 && written < length - 1) return true;
      if (written > 0) SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return false;
    });
  }
  if (!found) {
    path.Assign(L"");
    return false;
  }
  NormalizeImagePath(path);
  return true;
}

HANDLE OpenProcessToCheck(DWORD processId, bool& canTerminate) {
  constexpr DWORD kCheck = PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE;
  // Older systems answer the module query only with the full rights.
  constexpr DWORD kCheckOld = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE;
  for (DWORD rights : {kCheck | PROCESS_TERMINATE, kCheckOld | PROCESS_TERMINATE}) {
    HANDLE process = OpenProcess(rights, FALSE, processId);
    if (process) {
      canTerminate = true;
      return process;
    }
  }
  canTerminate = false;
  for (DWORD rights : {kCheck, kCheckOld}) {
    HANDLE process = OpenProcess(rights, FALSE, processId);
    if (process) return process;
  }
  return nullptr;
}

bool GetProcessImagePath(DWORD processId, WideString& path) {
  HandleHolder process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process.Valid())
    process.Reset(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process.Valid()) {
    path.Assign(L"");
    return false;
  }
  return ProcessImagePath(process.Get(), path);
}

bool StopOpenProcess(HANDLE process, DWORD processId, bool canTerminate) {
  if (processId == GetCurrentProcessId() || processId == kSystemProcessId) return false;
  if (HasEnded(process, 0)) return true;
  if (canTerminate && TerminateRepeatedly(process)) return true;
  // The handle keeps the id from being given to another process meanwhile.
  TerminateThreadsOf(processId);
  if (HasEnded(process, kTerminateWaitMs)) return true;
  if (canTerminate && TerminateRepeatedly(process)) return true;
  return HasEnded(process, 0);
}

bool KillProcess(DWORD processId) {
  if (processId == GetCurrentProcessId() || processId == kSystemProcessId) return false;
  if (processId < kSystemProcessId) return true;  // no process of its own
  HandleHolder process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
  bool canTerminate = process.Valid();
  if (!canTerminate) {
    process.Reset(OpenProcess(SYNCHRONIZE, FALSE, processId));
    // An id that names no process: nothing to stop.
    if (!process.Valid()) return GetLastError() == ERROR_INVALID_PARAMETER;
  }
  return StopOpenProcess(process.Get(), processId, canTerminate);
}

std::vector<DWORD> RunningProcessIds() {
  // The list is as long as the system's answer needs.
  std::vector<DWORD> ids(1024);
  DWORD bytes = 0;
  for (;;) {
    DWORD room = static_cast<DWORD>(ids.size() * sizeof(DWORD));
    if (!EnumProcesses(ids.data(), room, &bytes)) return {};
    if (bytes < room) break;
    ids.resize(ids.size() * 2);
  }
  ids.resize(bytes / sizeof(DWORD));
  return ids;
}

bool ProgramIsRunning(const wchar_t* program) {
  WideString image;
  for (DWORD id : RunningProcessIds()) {
    if (GetProcessImagePath(id, image) && EqualsNoCase(image.CStr(), program)) return true;
  }
  return false;
}
