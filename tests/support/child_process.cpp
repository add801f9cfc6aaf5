#include "tests/support/child_process.h"

#include <windows.h>

#include <thread>

ChildResult RunSiblingProgram(const std::wstring& program, const std::wstring& arguments,
                              unsigned long timeoutMs) {
  ChildResult result;
  wchar_t self[2048];
  GetModuleFileNameW(nullptr, self, 2048);
  std::wstring path = self;
  path = path.substr(0, path.rfind(L'\\') + 1) + program;

  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring commandLine = L"\"" + path + L"\" " + arguments;
  PROCESS_INFORMATION process = {};
  result.started = CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                  nullptr, nullptr, &startup, &process) != FALSE;
  CloseHandle(writeEnd);
  if (!result.started) {
    CloseHandle(readEnd);
    return result;
  }
  // Drain the pipe on a thread so that a chatty child never blocks on it.
  std::thread reader([&] {
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got)
      result.output.append(chunk, got);
  });
  if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0)
    TerminateProcess(process.hProcess, 99);
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &result.exitCode);
  reader.join();
  CloseHandle(readEnd);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return result;
}
