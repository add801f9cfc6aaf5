#include "base/path.h"

#include <windows.h>

#include <cwchar>
#include <string>

WideString& TrimTrailingBackslashes(WideString& path) {
  int32_t n = path.Length();
  bool wasEmpty = n == 0;
  while (n > 0 && path.buf[n - 1] == L'\\') --n;
  path.Truncate(n);
  path.ok = !wasEmpty;
  return path;
}

namespace {

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// "X:" at the start of a text.
bool StartsWithDrive(const wchar_t* text) { return IsDriveLetter(text[0]) && text[1] == L':'; }

}  // namespace

WideString& TrimFolderText(WideString& path) {
  TrimTrailingBackslashes(path);
  const bool ok = path.ok;
  if (path.Length() == 2 && StartsWithDrive(path.CStr())) path.Append(L"\\");
  path.ok = ok;
  return path;
}

WideString& AddLongPathPrefix(WideString& path) {
  int32_t n = path.Length();
  if (n >= 2 && path.buf[0] == L'\\' && path.buf[1] == L'\\') return path;
  if (n > 1 && path.buf[1] != L':') return path;  // relative: the prefix would change its meaning
  path.Prepend(kLongPathPrefix);
  if (n == 2) path.Append(L"\\");
  return path;
}

WideString& DropLongPathPrefix(WideString& path) {
  if (path.Find(L"\\\\?\\UNC\\", true, 1, 1, 8) == 1)
    path.DropLeft(8).Prepend(L"\\\\");
  else if (path.Find(kLongPathPrefix, true, 1, 1, 4) == 1)
    path.DropLeft(4);
  return path;
}

namespace {

// Length of the part ".." never climbs above: "X:\" or "\\server\share".
int32_t RootLength(const wchar_t* text, int32_t n) {
  if (n >= 3 && StartsWithDrive(text)) return 3;
  int32_t at = 2;
  for (int part = 0; part < 2 && at < n; ++part) {
    while (at < n && text[at] != L'\\') ++at;
    if (part == 0 && at < n) ++at;
  }
  return at;
}

// Resolves "." and ".." and drops empty names below the root, as the file
// system does for a path without the long prefix: once the prefix is on,
// they would be taken as names.
void ResolveDotNames(WideString& path) {
  const wchar_t* text = path.CStr();
  const int32_t n = path.Length();
  const int32_t root = RootLength(text, n);
  std::wstring resolved(text, static_cast<size_t>(root));
  const size_t top = resolved.size();
  int32_t at = root;
  while (at < n) {
    int32_t end = at;
    while (end < n && text[end] != L'\\') ++end;
    std::wstring name(text + at, static_cast<size_t>(end - at));
    at = end + 1;
    if (name.empty() || name == L".") continue;
    if (name == L"..") {
      size_t cut = resolved.rfind(L'\\');
      resolved.resize(cut != std::wstring::npos && cut >= top ? cut : top);
      continue;
    }
    if (resolved.size() > 0 && resolved.back() != L'\\') resolved += L'\\';
    resolved += name;
  }
  path.Assign(resolved.c_str());
}

}  // namespace

WideString& NormalizeFolderPath(WideString& path) {
  // The file system reads "/" as "\" everywhere but behind the long prefix.
  for (int32_t i = 0; i < path.Length(); ++i)
    if (path.buf[i] == L'/') path.buf[i] = L'\\';
  DropLongPathPrefix(path);
  TrimTrailingBackslashes(path);
  int32_t n = path.Length();
  const wchar_t* text = path.CStr();
  bool full = false;
  if (n >= 2 && StartsWithDrive(text)) {
    full = n == 2 || text[2] == L'\\';
  } else if (n > 2 && text[0] == L'\\' && text[1] == L'\\' && text[2] != L'\\') {
    // A network path, "\\server\share...", but not a device ("\\.\", "\\?\"),
    // and not a server alone: no folder is named until a share is.
    const bool device = (text[2] == L'.' || text[2] == L'?') && (n == 3 || text[3] == L'\\');
    const wchar_t* share = wcschr(text + 2, L'\\');
    full = !device && share && share[1] && share[1] != L'\\';
  }
  if (full) {
    if (n == 2) path.Append(L"\\");
    ResolveDotNames(path);
  }
  path.ok = full;
  return path;
}

bool IsDriveRoot(const wchar_t* path) {
  if (wcsncmp(path, kLongPathPrefix, 4) == 0) path += 4;
  return StartsWithDrive(path) && path[2] == L'\\' && path[3] == 0;
}

WideString& ParentFolder(WideString& path, bool keepSeparator) {
  TrimTrailingBackslashes(path);
  int32_t p = path.Find(L"\\", true, -1, 1, 0);
  if (p > 2)
    path.Truncate(keepSeparator ? p : p - 1);
  else if (keepSeparator)
    path.Append(L"\\");
  return path;
}

WideString& FileNamePart(WideString& path) {
  int32_t p = path.Find(L"\\", true, -1, 1, 0);
  if (p > 0) path.DropLeft(p);
  return path;
}

WideString& ExtensionPart(WideString& path) {
  int32_t n = path.Length();
  int32_t dot = path.Find(L".", true, -1, 1, 0);
  int32_t separator = path.Find(L"\\", true, -1, 1, 0);
  if (dot > separator && dot < n)
    path.DropLeft(dot - 1);
  else
    path.Assign(L"");
  return path;
}

WideString& JoinPath(WideString& path, const wchar_t* folder, const wchar_t* name) {
  size_t n = wcslen(folder);
  return path.AssignConcat(folder, n > 0 && folder[n - 1] == L'\\' ? L"" : L"\\", name);
}

bool FullPathOf(const wchar_t* path, WideString& full) {
  if (!path || !path[0]) return false;
  DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
  if (needed == 0) return false;
  wchar_t* buffer = full.AssignN(static_cast<int32_t>(needed), nullptr);
  if (!buffer) return false;
  DWORD length = GetFullPathNameW(path, needed, buffer, nullptr);
  if (length == 0 || length >= needed) return false;
  full.len = static_cast<int32_t>(length);
  return true;
}

namespace {
using GetFinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
constexpr DWORD kFinalPathFirstGuess = 2048;
}  // namespace

bool FinalPathOf(HANDLE handle, WideString& path, DWORD form) {
  // Looked up: older systems lack it.
  HMODULE kernel = GetModuleHandleW(L"Kernel32.dll");
  auto getFinalPath = kernel ? reinterpret_cast<GetFinalPathFn>(reinterpret_cast<void*>(
                                   GetProcAddress(kernel, "GetFinalPathNameByHandleW")))
                             : nullptr;
  if (!getFinalPath) return false;
  DWORD capacity = kFinalPathFirstGuess;
  for (;;) {
    wchar_t* buffer = path.AssignN(static_cast<int32_t>(capacity), nullptr);
    if (!buffer) return false;
    DWORD length = getFinalPath(handle, buffer, capacity, form);
    if (length == 0) return false;
    if (length < capacity) {
      path.len = static_cast<int32_t>(length);
      return true;
    }
    capacity = length + 1;  // the answer was the size needed, terminator included
  }
}
