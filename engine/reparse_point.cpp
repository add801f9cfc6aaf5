#include "engine/reparse_point.h"

#include <cwchar>
#include <string>
#include <vector>

#include "base/path.h"
#include "engine/find_handle.h"
#include "engine/handle_holder.h"

namespace {

using GetFinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
using CreateLinkFn = BOOLEAN(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);

constexpr DWORD kFinalPathFirstGuess = 2048;

// Both functions are looked up when needed, so that the program still starts
// on systems without them; there links are simply not copied.
class KernelFunction {
 public:
  explicit KernelFunction(const char* name) : module_(LoadLibraryW(L"Kernel32.dll")) {
    if (module_) address_ = reinterpret_cast<void*>(GetProcAddress(module_, name));
  }
  ~KernelFunction() {
    if (module_) FreeLibrary(module_);
  }
  KernelFunction(const KernelFunction&) = delete;
  KernelFunction& operator=(const KernelFunction&) = delete;
  template <typename Fn>
  Fn As() const {
    return reinterpret_cast<Fn>(address_);
  }

 private:
  HMODULE module_;
  void* address_ = nullptr;
};

// Drops "\\?\" and turns "\\?\UNC\server" back into "\\server", so that the
// text is one that a link can store and that compares with ordinary paths.
const wchar_t* WithoutLongPrefix(const wchar_t* path, WideString& scratch) {
  if (wcsncmp(path, L"\\\\?\\UNC\\", 8) == 0) {
    scratch.AssignConcat(L"\\\\", path + 8);
    return scratch.CStr();
  }
  if (wcsncmp(path, kLongPathPrefix, 4) == 0) return path + 4;
  return path;
}

// Length of the part that names the volume: "C:" or "\\server\share"; 0 for
// anything else.
size_t RootLength(const wchar_t* path) {
  if (path[0] && path[1] == L':') return 2;
  if (path[0] == L'\\' && path[1] == L'\\') {
    const wchar_t* server = wcschr(path + 2, L'\\');
    if (!server) return wcslen(path);
    const wchar_t* share = wcschr(server + 1, L'\\');
    return share ? static_cast<size_t>(share - path) : wcslen(path);
  }
  return 0;
}

bool SameText(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength) {
  return aLength == bLength && CompareStringOrdinal(a, static_cast<int>(aLength), b,
                                                    static_cast<int>(bLength), TRUE) == CSTR_EQUAL;
}

struct Piece {
  const wchar_t* text;
  size_t length;
};

std::vector<Piece> SplitPieces(const wchar_t* rest) {
  std::vector<Piece> pieces;
  while (*rest) {
    const wchar_t* end = wcschr(rest, L'\\');
    size_t length = end ? static_cast<size_t>(end - rest) : wcslen(rest);
    if (length) pieces.push_back({rest, length});
    rest += length;
    if (*rest) ++rest;
  }
  return pieces;
}

}  // namespace

void LinkTargetText(const wchar_t* linkFolder, const wchar_t* target, WideString& text) {
  WideString folderScratch, targetScratch;
  const wchar_t* from = WithoutLongPrefix(linkFolder, folderScratch);
  const wchar_t* to = WithoutLongPrefix(target, targetScratch);
  size_t fromRoot = RootLength(from);
  size_t toRoot = RootLength(to);
  if (fromRoot == 0 || !SameText(from, fromRoot, to, toRoot)) {
    text.Assign(to);
    return;
  }
  std::vector<Piece> fromPieces = SplitPieces(from + fromRoot);
  std::vector<Piece> toPieces = SplitPieces(to + toRoot);
  size_t common = 0;
  while (common < fromPieces.size() && common < toPieces.size() &&
         SameText(fromPieces[common].text, fromPieces[common].length, toPieces[common].text,
                  toPieces[common].length))
    ++common;

  std::wstring relative;
  for (size_t i = common; i < fromPieces.size(); ++i) relative += L"..\\";
  if (relative.empty()) relative = L".\\";
  for (size_t i = common; i < toPieces.size(); ++i) {
    relative.append(toPieces[i].text, toPieces[i].length);
    relative += L'\\';
  }
  relative.pop_back();  // the last separator, or the one of ".\" for the folder itself
  text.Assign(relative.c_str());
}

bool CopyReparsePoint(const wchar_t* source, const wchar_t* destination) {
  KernelFunction finalPathLookup("GetFinalPathNameByHandleW");
  KernelFunction createLinkLookup("CreateSymbolicLinkW");
  auto getFinalPath = finalPathLookup.As<GetFinalPathFn>();
  auto createLink = createLinkLookup.As<CreateLinkFn>();
  if (!getFinalPath || !createLink) return false;

  // Opened without the reparse flag, the handle stands for what the link
  // resolves to.
  HandleHolder resolved(CreateFileW(source, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!resolved.Valid()) return false;

  WideString targetPath;
  DWORD capacity = kFinalPathFirstGuess;
  for (;;) {
    wchar_t* buffer = targetPath.AssignN(static_cast<int32_t>(capacity), nullptr);
    if (!buffer) return false;
    DWORD length = getFinalPath(resolved.Get(), buffer, capacity, 0);
    if (length == 0) return false;
    if (length < capacity) break;
    capacity = length + 1;  // the answer was the size needed, terminator included
  }
  resolved.Close();

  WideString linkFolder(source);
  ParentFolder(linkFolder, false);
  WideString text;
  LinkTargetText(linkFolder.CStr(), targetPath.CStr(), text);

  // The link's own attributes and times: these calls do not follow links.
  WIN32_FILE_ATTRIBUTE_DATA sourceData;
  if (!GetFileAttributesExW(source, GetFileExInfoStandard, &sourceData)) return false;
  DWORD flags = (sourceData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
  if (!createLink(destination, text.CStr(), flags)) return false;
  // Some platforms answer success without creating anything.
  if (GetFileAttributesW(destination) == INVALID_FILE_ATTRIBUTES) return false;

  // Through a handle on the link itself, so that nothing reaches the target.
  HandleHolder link(CreateFileW(
      destination, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (link.Valid()) {
    FILE_BASIC_INFO basic = {};
    basic.CreationTime.LowPart = sourceData.ftCreationTime.dwLowDateTime;
    basic.CreationTime.HighPart = static_cast<LONG>(sourceData.ftCreationTime.dwHighDateTime);
    basic.LastAccessTime.LowPart = sourceData.ftLastAccessTime.dwLowDateTime;
    basic.LastAccessTime.HighPart = static_cast<LONG>(sourceData.ftLastAccessTime.dwHighDateTime);
    basic.LastWriteTime.LowPart = sourceData.ftLastWriteTime.dwLowDateTime;
    basic.LastWriteTime.HighPart = static_cast<LONG>(sourceData.ftLastWriteTime.dwHighDateTime);
    basic.FileAttributes = SettableAttributes(sourceData.dwFileAttributes);
    SetFileInformationByHandle(link.Get(), FileBasicInfo, &basic, sizeof(basic));
  }
  return true;
}
