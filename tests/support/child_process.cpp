#include "tests/support/child_process.h"

#include <windows.h>

#include <string>
#include <thread>

#include "tests/support/temp_tree.h"

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

namespace {

std::string ReadFileText(const std::wstring& path) {
  std::string text;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return text;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got) text.append(chunk, got);
  CloseHandle(file);
  return text;
}

}  // namespace

HostChildResult RunSiblingOnHost(const std::wstring& program, const std::wstring& arguments,
                                 const std::wstring& shellBefore, const std::wstring& wrapper,
                                 const std::wstring& ownPrefix, const std::wstring& scratchFolder,
                                 unsigned long timeoutMs) {
  return RunProgramAtOnHost(SiblingProgramPath(program), arguments, shellBefore, wrapper, ownPrefix,
                            scratchFolder, timeoutMs);
}

HostChildResult RunProgramAtOnHost(const std::wstring& path, const std::wstring& arguments,
                                   const std::wstring& shellBefore, const std::wstring& wrapper,
                                   const std::wstring& ownPrefix, const std::wstring& scratchFolder,
                                   unsigned long timeoutMs) {
  HostChildResult run;
  std::wstring exe = HostName(path);
  std::wstring scratch = HostName(scratchFolder);
  if (exe.empty() || scratch.empty()) {
    run.whyNot = "host shells can only be run under Wine";
    return run;
  }
  std::wstring outPath = scratchFolder + L"\\out.txt";
  std::wstring errPath = scratchFolder + L"\\err.txt";
  std::wstring rcPath = scratchFolder + L"\\rc.txt";
  // No double quotes in the script: it travels as one quoted argument.
  std::wstring script = L"cd '" + scratch + L"'; ";
  if (!ownPrefix.empty()) script += L"export WINEPREFIX='" + ownPrefix + L"'; ";
  script += shellBefore + L" " + wrapper + L" wine '" + exe + L"' " + arguments +
            L" >out.txt 2>err.txt; echo $? >rc.tmp; ";
  if (!ownPrefix.empty()) script += wrapper + L" wineserver -w; ";
  script += L"mv rc.tmp rc.txt";
  run.whyNot = RunHostProgram(
      "/bin/sh", L"-c \"" + script + L"\"",
      [&] { return GetFileAttributesW(rcPath.c_str()) != INVALID_FILE_ATTRIBUTES; }, timeoutMs);
  if (!run.whyNot.empty()) return run;
  run.result.started = true;
  run.result.exitCode = std::stoul("0" + ReadFileText(rcPath));
  run.result.output = ReadFileText(outPath);
  run.result.errors = ReadFileText(errPath);
  return run;
}

HANDLE StartSiblingProgram(const std::wstring& program, const std::wstring& arguments) {
  std::wstring path = SiblingProgramPath(program);
  std::wstring commandLine = L"\"" + path + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = INVALID_HANDLE_VALUE;
  startup.hStdError = INVALID_HANDLE_VALUE;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process))
    return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}
