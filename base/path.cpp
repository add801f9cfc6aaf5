#include "base/path.h"

WideString& TrimTrailingBackslashes(WideString& path) {
  int32_t n = path.Length();
  bool wasEmpty = n == 0;
  while (n > 0 && path.buf[n - 1] == L'\\') --n;
  path.Truncate(n);
  path.ok = !wasEmpty;
  return path;
}

WideString& AddLongPathPrefix(WideString& path) {
  int32_t n = path.Length();
  if (n >= 2 && path.buf[0] == L'\\' && path.buf[1] == L'\\') return path;
  if (n <= 1 || path.buf[1] == L':') path.Prepend(kLongPathPrefix);
  return path;
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
  return path.AssignConcat(folder, L"\\", name);
}
