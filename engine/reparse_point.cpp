#include "engine/reparse_point.h"

#include <cwchar>
#include <string>
#include <vector>

#include "base/path.h"
#include "engine/find_handle.h"
#include "engine/handle_holder.h"
#include "engine/item_queries.h"

namespace {

using CreateLinkFn = BOOLEAN(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);

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
  WideString plainFolder(linkFolder);
  WideString plainTarget(target);
  const wchar_t* from = DropLongPathPrefix(plainFolder).CStr();
  const wchar_t* to = DropLongPathPrefix(plainTarget).CStr();
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

bool CopyReparsePoint(const wchar_t* source, const wchar_t* destination, LinkFailure* failure) {
  LinkFailure ignored;
  LinkFailure& why = failure ? *failure : ignored;
  auto fail = [&why](FailureStep step, DWORD error, Refusal reason = Refusal::kNone) {
    why.step = step;
    why.error = error ? error : ERROR_NOT_SUPPORTED;
    why.reason = reason;
    return false;
  };
  // Looked up when needed, so that the program still starts on systems
  // without links; there links are simply not copied.
  auto createLink = KernelFunction<CreateLinkFn>("CreateSymbolicLinkW");
  if (!createLink) return fail(FailureStep::kCreateLink, ERROR_NOT_SUPPORTED);

  // Opened without the reparse flag, the handle stands for what the link
  // resolves to.
  HandleHolder resolved(CreateFileW(source, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!resolved.Valid()) return fail(FailureStep::kOpenSource, GetLastError());

  WideString targetPath;
  if (!FinalPathOf(resolved.Get(), targetPath))
    return fail(FailureStep::kOpenSource, GetLastError());
  resolved.Close();

  WideString linkFolder(source);
  ParentFolder(linkFolder, false);
  WideString text;
  LinkTargetText(linkFolder.CStr(), targetPath.CStr(), text);

  // The link's own attributes and times: these calls do not follow links.
  WIN32_FILE_ATTRIBUTE_DATA sourceData;
  if (!GetFileAttributesExW(source, GetFileExInfoStandard, &sourceData))
    return fail(FailureStep::kOpenSource, GetLastError());
  DWORD flags = (sourceData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
  if (!createLink(destination, text.CStr(), flags))
    return fail(FailureStep::kCreateLink, GetLastError());
  // Some platforms answer success without creating anything; the error a
  // look at the name then leaves ("not found") would blame the destination.
  if (GetFileAttributesW(destination) == INVALID_FILE_ATTRIBUTES)
    return fail(FailureStep::kCreateLink, ERROR_NOT_SUPPORTED, Refusal::kLinkNotMade);

  // Through a handle on the link itself, so that nothing reaches the target.
  HandleHolder link(CreateFileW(
      destination, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (link.Valid())
    GiveTimesAndAttributes(link.Get(), sourceData.ftCreationTime, sourceData.ftLastAccessTime,
                           sourceData.ftLastWriteTime, sourceData.dwFileAttributes);
  return true;
}
