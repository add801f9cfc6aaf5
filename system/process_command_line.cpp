#include "system/process_command_line.h"

#include <windows.h>

#include <shlwapi.h>

#include "system/registry_key.h"

namespace {

const wchar_t kAppPathsKey[] = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// A program is a file: a folder of the same name cannot be started.
bool IsExistingFile(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void ReplaceLastThree(WideString& text, const wchar_t* replacement) {
  text.DropRight(3).Append(replacement);
}

}  // namespace

bool ExpandEnvironment(WideString& text) {
  if (text.Length() == 0) return true;
  DWORD needed = ExpandEnvironmentStringsW(text.CStr(), nullptr, 0);
  // A variable may change between the calls: size again from the answer.
  for (int attempt = 0; attempt < 4 && needed > 0 && needed < INT32_MAX; ++attempt) {
    WideString expanded;
    wchar_t* buffer = expanded.AssignN(static_cast<int32_t>(needed), nullptr);
    if (!buffer) return false;
    DWORD written = ExpandEnvironmentStringsW(text.CStr(), buffer, needed);
    if (written == 0) return false;
    if (written <= needed) {
      expanded.len = 0;
      expanded.ok = true;
      text = std::move(expanded);
      return true;
    }
    needed = written;
  }
  return false;
}

bool FindProgramFile(WideString& name) {
  int32_t n = name.Length();
  if (n == 0) return false;
  // The search takes a buffer of the classic path length; a longer name
  // cannot be on the search path.
  if (n < MAX_PATH) {
    wchar_t found[MAX_PATH];
    lstrcpynW(found, name.CStr(), MAX_PATH);
    if (PathFindOnPathW(found, nullptr)) {
      name.Assign(found);
      return true;
    }
  }
  if (n <= 1 || name.CStr()[1] == L':' || name.Find(L"\\", true)) return false;
  // App Paths registers program file names. A name with a blank in it would
  // stand for the program and arguments, which the registered path would
  // silently replace: only a whole name is looked up.
  if (name.Find(L" ", true)) return false;
  WideString key(name.CStr());
  int32_t k = key.Length();
  if (k < 4 || key.CStr()[k - 4] != L'.') key.Append(L".exe");
  WideString path;
  path.AssignConcat(kAppPathsKey, key.CStr());
  RegistryKey registration;
  WideString registered;
  if (!registration.OpenKey(path.CStr(), kKeyRead) || !registration.ReadDefaultText(registered))
    return false;
  // Registrations are often written with quotes around the path.
  registered.Replace(L"\"", L"");
  if (registered.Length() == 0) return false;
  ExpandEnvironment(registered);
  name = std::move(registered);
  return true;
}

bool ResolveCommandProgram(WideString& commandLine, WideString& program, WideString& folder,
                           int32_t length) {
  int32_t n = commandLine.Length();
  if (length <= 0 || length > n) return false;
  program.Substring(commandLine.CStr(), 1, length);
  program.Replace(L"\"", L"");
  ExpandEnvironment(program);
  if (program.Length() == 0) return false;

  int32_t slash = program.Find(L"\\", true, -1);
  if (!(slash > 2 && IsExistingFile(program.CStr()))) {
    int32_t dot = program.Find(L".", true, -1);
    bool hasExtension = dot > slash && dot < program.Length();
    if (slash) {
      // A path with an extension of its own is never completed.
      if (hasExtension) return false;
      program.Append(L".exe");
      if (!IsExistingFile(program.CStr())) {
        ReplaceLastThree(program, L"com");
        if (!IsExistingFile(program.CStr())) return false;
      }
    } else {
      if (!hasExtension) program.Append(L".exe");
      if (!FindProgramFile(program)) {
        if (!hasExtension) ReplaceLastThree(program, L"com");
        if (!IsExistingFile(program.CStr())) return false;
      }
    }
  }

  slash = program.Find(L"\\", true, -1);
  if (folder.Length() == 0 && slash > 2) {
    folder.Substring(program.CStr(), 1, slash - 1);
    // "C:" alone would mean the drive's current folder, not its root.
    if (folder.Length() == 2) folder.Append(L"\\");
  }
  if (program.Find(L" ", true)) {
    program.Prepend(L"\"");
    program.Append(L"\"");
  }
  WideString rewritten;
  rewritten.AssignConcat(program.CStr(), commandLine.CStr() + length);
  commandLine = std::move(rewritten);
  return true;
}

bool SplitCommandLine(WideString& commandLine, WideString& program, WideString& folder) {
  folder.Assign(L"");
  int32_t secondQuote = commandLine.Find(L"\"", true, 2);
  int32_t candidate = secondQuote ? secondQuote : commandLine.Length();
  if (ResolveCommandProgram(commandLine, program, folder, candidate)) return true;
  for (int32_t k = 1;; ++k) {
    int32_t blank = commandLine.Find(L" ", true, -k);
    if (!blank) return false;
    if (ResolveCommandProgram(commandLine, program, folder, blank - 1)) return true;
  }
}
