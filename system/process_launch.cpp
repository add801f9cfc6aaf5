#include "system/process_launch.h"

#include <shellapi.h>

#include <vector>

#include "engine/handle_holder.h"
#include "system/process_command_line.h"

namespace {

// CreateProcessW takes at most this many characters, terminator included.
constexpr size_t kCommandLineLimit = 32767;

template <typename Fn>
Fn KernelFunction(const char* name) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  return kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, name)))
                : nullptr;
}

// Switches WOW64 file-system redirection off for its lifetime.
class RedirectionOff {
 public:
  RedirectionOff() {
    using DisableFn = BOOL(WINAPI*)(PVOID*);
    auto disable = KernelFunction<DisableFn>("Wow64DisableWow64FsRedirection");
    active_ = disable && disable(&old_);
  }
  ~RedirectionOff() {
    if (!active_) return;
    using RevertFn = BOOL(WINAPI*)(PVOID);
    auto revert = KernelFunction<RevertFn>("Wow64RevertWow64FsRedirection");
    if (revert) revert(old_);
  }
  RedirectionOff(const RedirectionOff&) = delete;
  RedirectionOff& operator=(const RedirectionOff&) = delete;

 private:
  PVOID old_ = nullptr;
  bool active_ = false;
};

bool IsEmpty(const wchar_t* text) { return !text || !text[0]; }

HANDLE CreateProcessFrom(const wchar_t* applicationName, const wchar_t* commandLine,
                         const wchar_t* folder, int showCommand) {
  // Nothing to start; some platforms fault on a call without either.
  if (IsEmpty(applicationName) && IsEmpty(commandLine)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showCommand);
  // The platform may write into the command line: it gets a copy of its own,
  // as long as the text itself.
  std::vector<wchar_t> line;
  if (!IsEmpty(commandLine)) {
    size_t length = wcslen(commandLine);
    if (length >= kCommandLineLimit) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return nullptr;
    }
    line.assign(commandLine, commandLine + length + 1);
  }
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(IsEmpty(applicationName) ? nullptr : applicationName,
                      line.empty() ? nullptr : line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      IsEmpty(folder) ? nullptr : folder, &startup, &info))
    return nullptr;
  CloseHandle(info.hThread);
  return info.hProcess;
}

}  // namespace

bool IsWow64(HANDLE process) {
  using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto isWow64 = KernelFunction<IsWow64Fn>("IsWow64Process");
  BOOL answer = FALSE;
  return isWow64 && isWow64(process, &answer) && answer;
}

HANDLE StartProcess(const wchar_t* commandLine, const wchar_t* folder, int showCommand,
                    uint32_t flags, const wchar_t* applicationName) {
  if ((flags & kNoFsRedirection) && IsWow64(GetCurrentProcess())) {
    RedirectionOff off;
    return CreateProcessFrom(applicationName, commandLine, folder, showCommand);
  }
  return CreateProcessFrom(applicationName, commandLine, folder, showCommand);
}

int64_t RunProcess(const wchar_t* commandLine, const wchar_t* folder, int showCommand,
                   uint32_t flags) {
  HandleHolder process(StartProcess(commandLine, folder, showCommand, flags));
  if (!(flags & kWaitForExit)) return process.Valid() ? GetProcessId(process.Get()) : 0;
  if (!process.Valid()) return kStartFailed;
  // Woken by the process's end or by a message for this thread's windows.
  HANDLE handle = process.Get();
  PumpMessages();  // the wait below wakes only for messages that come later
  while (MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    // Nothing handled means the wake-up was a request to end the loop, which
    // stays queued for its owner: wait a little without spinning.
    if (!PumpMessages() && WaitForSingleObject(handle, 10) == WAIT_OBJECT_0) break;
  }
  DWORD code = 0;
  GetExitCodeProcess(handle, &code);
  return code;
}

DWORD ShellOpen(const wchar_t* target, const wchar_t* parameters) {
  if (IsEmpty(target)) return 0;
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  // No error box of the shell's own: a failure is the caller's to report.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpFile = target;
  info.lpParameters = parameters;
  info.nShow = SW_SHOW;
  if (!ShellExecuteExW(&info)) return 0;
  if (!info.hProcess) return 1;
  HandleHolder process(info.hProcess);
  DWORD id = GetProcessId(process.Get());
  return id ? id : 1;
}

DWORD LaunchCommandLine(const wchar_t* commandLine, int showCommand) {
  WideString line(commandLine);
  WideString program;
  WideString folder;
  int64_t id = SplitCommandLine(line, program, folder)
                   ? RunProcess(line.CStr(), folder.CStr(), showCommand, 0)
                   : RunProcess(commandLine, nullptr, showCommand, 0);
  return static_cast<DWORD>(id);
}
