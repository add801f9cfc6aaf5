#include "tests/support/child_process.h"

#include <windows.h>

#include <thread>

namespace {

struct Pipe {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  ~Pipe() {
    if (read) CloseHandle(read);
    if (write) CloseHandle(write);
  }
  bool Open() {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    if (!CreatePipe(&read, &write, &inherit, 0)) return false;
    return SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0) != FALSE;
  }
  void CloseWriteEnd() {
    CloseHandle(write);
    write = nullptr;
  }
};

void Drain(HANDLE pipe, std::string& text) {
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(pipe, chunk, sizeof(chunk), &got, nullptr) && got) text.append(chunk, got);
}

}  // namespace

std::wstring SiblingProgramPath(const std::wstring& program) {
  wchar_t self[2048];
  DWORD length = GetModuleFileNameW(nullptr, self, 2048);
  std::wstring path(self, length);
  return path.substr(0, path.rfind(L'\\') + 1) + program;
}

ChildResult RunSiblingProgram(const std::wstring& program, const std::wstring& arguments,
                              const std::wstring& folder, unsigned long timeoutMs) {
  return RunProgramAt(SiblingProgramPath(program), arguments, folder, timeoutMs);
}

ChildResult RunProgramAt(const std::wstring& path, const std::wstring& arguments,
                         const std::wstring& folder, unsigned long timeoutMs) {
  ChildResult result;

  Pipe out;
  Pipe err;
  if (!out.Open() || !err.Open()) return result;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out.write;
  startup.hStdError = err.write;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring commandLine = L"\"" + path + L"\" " + arguments;
  PROCESS_INFORMATION process = {};
  result.started =
      CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     folder.empty() ? nullptr : folder.c_str(), &startup, &process) != FALSE;
  out.CloseWriteEnd();
  err.CloseWriteEnd();
  if (!result.started) return result;
  // Both pipes are drained at once so that a chatty child never blocks on one.
  std::thread outReader([&] { Drain(out.read, result.output); });
  std::thread errReader([&] { Drain(err.read, result.errors); });
  if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0)
    TerminateProcess(process.hProcess, 99);
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &result.exitCode);
  outReader.join();
  errReader.join();
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return result;
}
