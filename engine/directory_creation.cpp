#include "engine/directory_creation.h"

#include "base/path.h"
#include "engine/item_queries.h"

bool CreateDirectoryTree(const wchar_t* path) {
  WideString target(path);
  AddLongPathPrefix(target);
  TrimTrailingBackslashes(target);
  int32_t n = target.Length();
  if (n < 3) return false;
  bool longForm = target.Find(kLongPathPrefix, true, 1, 1, 4) == 1;
  if (longForm && n < 6) return false;
  if (longForm && n == 6) {
    target.Append(L"\\");
    return GetDriveTypeW(target.CStr()) != DRIVE_NO_ROOT_DIR;
  }
  if (PathIsFolder(target.CStr())) return true;

  // A name that already exists may be a file: the caller would then copy into a
  // file path, so only a folder counts as success.
  if (CreateDirectoryW(target.CStr(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
    return PathIsFolder(target.CStr());

  const wchar_t* prefix = longForm ? kLongPathPrefix : L"\\\\";
  WideString rest;
  rest.Assign(target.CStr()).DropLeft(longForm ? 4 : 2);
  SplitList pieces(rest.CStr(), L"\\");
  if (pieces.Count() < 2) return false;
  WideString current;
  current.AssignConcat(prefix, pieces.Item(0));
  for (int i = 1; i < pieces.Count(); ++i) {
    const wchar_t* piece = pieces.Item(i);
    if (!piece[0]) continue;
    current.Append(L"\\", piece);
    if (!PathExists(current.CStr()) && !CreateDirectoryW(current.CStr(), nullptr)) return false;
  }
  return PathIsFolder(target.CStr());
}
