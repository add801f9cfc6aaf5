#include "engine/file_size.h"

#include <windows.h>

#include "base/path.h"
#include "engine/find_handle.h"
#include "engine/handle_holder.h"
#include "engine/pending_messages.h"

namespace {

uint64_t SumFolder(const wchar_t* folder) {
  WideString pattern;
  JoinPath(pattern, folder, L"*");
  FindHandle find(kFindSkipLinks);
  if (!pattern.ok || !FirstEntry(find, pattern.CStr())) return 0;
  uint64_t total = 0;
  WideString child;
  do {
    if (find.IsFolder()) {
      JoinPath(child, folder, find.Name());
      if (child.ok) total += SumFolder(child.CStr());
      ProcessPendingMessages();
    } else {
      total += find.Size();
    }
  } while (NextEntry(find));
  return total;
}

}  // namespace

uint64_t QueryFileSize(const wchar_t* path) {
  HandleHolder file(CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
  if (file.Valid()) {
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file.Get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
  }
  FindHandle find;
  return FirstEntry(find, path) ? find.Size() : 0;
}

uint64_t GetFolderSize(const wchar_t* folder) {
  WideString root(folder);
  if (!root.ok) return 0;
  // Only this test: a path that already starts with "\\" is a network or a
  // long-form path and needs no prefix.
  if (!(root.Length() >= 2 && root.buf[0] == L'\\' && root.buf[1] == L'\\'))
    root.Prepend(kLongPathPrefix);
  TrimTrailingBackslashes(root);
  // The long form of a bare drive names the volume; its root is the folder.
  root.Append(L"\\");
  if (!IsDriveRoot(root.CStr())) TrimTrailingBackslashes(root);
  return SumFolder(root.CStr());
}
