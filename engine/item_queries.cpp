#include "engine/item_queries.h"

#include <cwchar>

#include "base/path.h"
#include "engine/find_handle.h"
#include "engine/handle_holder.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opened without the reparse flag: the handle stands for what the path
// resolves to.
HANDLE OpenResolved(const wchar_t* path) {
  return CreateFileW(path, 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                     nullptr);
}

bool FinalPathOfPath(const wchar_t* path, WideString& final) {
  HandleHolder item(OpenResolved(path));
  return item.Valid() && FinalPathOf(item.Get(), final);
}

// The length of a name without the dots and spaces it ends in.
size_t StemLength(const wchar_t* name) {
  size_t length = wcslen(name);
  while (length > 0 && (name[length - 1] == L'.' || name[length - 1] == L' ')) --length;
  return length;
}

bool SameText(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength) {
  return aLength == bLength && CompareStringOrdinal(a, static_cast<int>(aLength), b,
                                                    static_cast<int>(bLength), TRUE) == CSTR_EQUAL;
}

// Whether no other entry of folder reads as name's stem followed by dots
// and spaces only: then an answer that lost those can mean no other item.
bool OnlyEntryOfItsStem(const wchar_t* folder, const wchar_t* name) {
  const size_t stem = StemLength(name);
  WideString pattern;
  WideString stemText;
  stemText.AssignN(static_cast<int32_t>(stem), name);
  JoinPath(pattern, folder, stemText.CStr());
  pattern.Append(L"*");
  FindHandle find;
  if (!pattern.ok || !FirstEntry(find, pattern.CStr())) return false;
  int sameStem = 0;
  do {
    const wchar_t* listed = find.Name();
    if (SameText(listed, StemLength(listed), name, stem)) ++sameStem;
  } while (NextEntry(find));
  return sameStem == 1 && find.lastError == ERROR_NO_MORE_FILES;
}

// Whether answered, a final path, names the item name in the folder whose
// final path is folderFinal and whose path as walked is folder. Some
// platforms (Wine) drop the trailing dots and spaces of the last name of
// every final path they give, though the file system keeps them ("old." is
// answered as "old"). Such an answer is taken only when the folder holds no
// other name that it could stand for; the names themselves are compared as
// they are kept.
bool NamesItemInFolder(const wchar_t* answered, const wchar_t* folderFinal, const wchar_t* folder,
                       const wchar_t* name) {
  WideString expected;
  JoinPath(expected, folderFinal, name);
  if (CompareStringOrdinal(expected.CStr(), -1, answered, -1, TRUE) == CSTR_EQUAL) return true;
  const size_t stem = StemLength(name);
  if (stem == wcslen(name) || stem == 0) return false;
  const size_t folderLength = wcslen(folderFinal);
  const size_t answeredLength = wcslen(answered);
  const size_t nameAt = answeredLength - stem;
  return answeredLength > stem + folderLength && answered[nameAt - 1] == L'\\' &&
         SameText(answered, nameAt - 1, folderFinal, folderLength) &&
         SameText(answered + nameAt, stem, name, stem) && OnlyEntryOfItsStem(folder, name);
}

}  // namespace

bool PathExists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

bool PathIsFolder(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDataBearingReparseTag(DWORD tag) {
  switch (tag) {
    case static_cast<DWORD>(IO_REPARSE_TAG_HSM):
    case static_cast<DWORD>(IO_REPARSE_TAG_HSM2):
    case static_cast<DWORD>(IO_REPARSE_TAG_SIS):
    case static_cast<DWORD>(IO_REPARSE_TAG_DEDUP):
    case static_cast<DWORD>(IO_REPARSE_TAG_WOF):
    case static_cast<DWORD>(IO_REPARSE_TAG_FILE_PLACEHOLDER):
      return true;
    default:
      // The cloud tags differ only in the sub-type nibble.
      return (tag & ~static_cast<DWORD>(IO_REPARSE_TAG_CLOUD_MASK)) ==
             static_cast<DWORD>(IO_REPARSE_TAG_CLOUD);
  }
}

bool IsLinkEntry(DWORD attributes, DWORD reparseTag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !IsDataBearingReparseTag(reparseTag);
}

bool IsLinkPath(const wchar_t* path, DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  FindHandle find;
  // Some platforms describe the entry of a link by what it points to (Wine
  // shows a host link to a folder as a plain folder here, while its
  // attributes carry the reparse mark): that doubt counts as a link too.
  return !FirstEntry(find, path) || !(find.Attributes() & FILE_ATTRIBUTE_REPARSE_POINT) ||
         find.IsLink();
}

bool IsHostLinkPath(const wchar_t* path, DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  FindHandle find;
  return !FirstEntry(find, path) || find.ReparseTag() == 0;
}

bool GiveTimesAndAttributes(HANDLE handle, const FILETIME& creation, const FILETIME& lastAccess,
                            const FILETIME& lastWrite, DWORD attributes) {
  auto large = [](const FILETIME& time) {
    LARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = static_cast<LONG>(time.dwHighDateTime);
    return value;
  };
  FILE_BASIC_INFO basic = {};
  basic.CreationTime = large(creation);
  basic.LastAccessTime = large(lastAccess);
  basic.LastWriteTime = large(lastWrite);
  basic.FileAttributes = SettableAttributes(attributes);
  return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

bool FolderFinalPath::Ask() {
  if (!asked_) {
    asked_ = true;
    known_ = FinalPathOfPath(folder_, path_);
    if (known_) TrimTrailingBackslashes(path_);
    // The folder's own name may have lost its trailing dots and spaces in
    // the answer (see NamesItemInFolder); its items would then never match.
    WideString walked(folder_);
    TrimTrailingBackslashes(walked);
    WideString name(walked.CStr());
    FileNamePart(name);
    WideString parent(walked.CStr());
    ParentFolder(parent, false);
    WideString parentFinal;
    if (known_ && name.Length() < walked.Length() &&
        StemLength(name.CStr()) < static_cast<size_t>(name.Length()) &&
        FinalPathOfPath(parent.CStr(), parentFinal) &&
        NamesItemInFolder(path_.CStr(), TrimTrailingBackslashes(parentFinal).CStr(), parent.CStr(),
                          name.CStr()))
      JoinPath(path_, parentFinal.CStr(), name.CStr());
  }
  return known_;
}

constexpr int kInPlaceAttempts = 2;

bool HandleResolvesInPlace(HANDLE handle, const wchar_t* item, FolderFinalPath& folder) {
  WideString itemFinal;
  // Without either answer there is nothing to compare; the link test of the
  // item's own attributes is all that is left.
  if (!FinalPathOf(handle, itemFinal) || !folder.Ask())
    return !IsLinkPath(item, GetFileAttributesW(item));
  WideString name(item);
  FileNamePart(name);
  WideString walkedFolder(item);
  ParentFolder(walkedFolder, false);
  // Wine re-reads its drive letters at most once a second: a drive mapped
  // between two answers can name the folder and the item by different
  // letters. Both are asked again before the item is called elsewhere; two
  // re-reads within the few calls of one check do not happen.
  for (int attempt = 0; attempt < kInPlaceAttempts; ++attempt) {
    if (NamesItemInFolder(itemFinal.CStr(), folder.Path(), walkedFolder.CStr(), name.CStr()))
      return true;
    if (!folder.AskAgain() || !FinalPathOf(handle, itemFinal)) return false;
  }
  return NamesItemInFolder(itemFinal.CStr(), folder.Path(), walkedFolder.CStr(), name.CStr());
}

bool ResolvesInPlace(const wchar_t* item, FolderFinalPath& folder) {
  HandleHolder handle(OpenResolved(item));
  if (!handle.Valid()) return !IsLinkPath(item, GetFileAttributesW(item));
  return HandleResolvesInPlace(handle.Get(), item, folder);
}
