#include "engine/scratch_names.h"

#include <windows.h>

#include <atomic>
#include <cwchar>

#include "base/path.h"
#include "engine/find_handle.h"
#include "engine/force_delete.h"
#include "engine/handle_holder.h"
#include "engine/item_queries.h"

namespace {

constexpr wchar_t kPrefix[] = L"~hl";
constexpr size_t kPrefixLength = 3;
constexpr wchar_t kPartialSuffix[] = L".tmp";
constexpr wchar_t kKeptSuffix[] = L".kept";
constexpr wchar_t kHexDigits[] = L"0123456789abcdef";
constexpr size_t kLongestName = 255;  // units in one name of a path

std::atomic<uint32_t> g_counter{0};

// FNV-1a over the name's parts and a constant of this program: cheap, and
// no planted or accidental name matches it by chance.
uint32_t CheckMark(uint32_t process, uint32_t counter, const wchar_t* original) {
  uint32_t hash = 2166136261u;
  auto mix = [&hash](uint32_t value) {
    for (int i = 0; i < 4; ++i) {
      hash ^= (value >> (8 * i)) & 0xFF;
      hash *= 16777619u;
    }
  };
  for (const wchar_t* c = L"harborline scratch"; *c; ++c) mix(*c);
  mix(process);
  mix(counter);
  for (const wchar_t* c = original; *c; ++c) mix(*c);
  return hash;
}

// "~hlPPPPPPPP-C-MMMMMMMM" for this process and the next counter.
void Stem(const wchar_t* original, wchar_t* stem, size_t capacity) {
  uint32_t process = GetCurrentProcessId();
  uint32_t counter = g_counter.fetch_add(1, std::memory_order_relaxed);
  swprintf(stem, capacity, L"%ls%08lx-%lx-%08lx", kPrefix, static_cast<unsigned long>(process),
           static_cast<unsigned long>(counter),
           static_cast<unsigned long>(CheckMark(process, counter, original)));
}

// Reads exactly digits hexadecimal digits (or 1..digits when exact is
// false) and the separator after them.
bool ReadHex(const wchar_t*& at, size_t digits, bool exact, uint32_t& value) {
  size_t n = wcsspn(at, kHexDigits);
  if (n == 0 || n > digits || (exact && n != digits)) return false;
  value = static_cast<uint32_t>(wcstoul(std::wstring(at, n).c_str(), nullptr, 16));
  at += n;
  return true;
}

bool ProcessAlive(uint32_t process) {
  if (process == GetCurrentProcessId()) return false;  // this run made nothing here yet
  HandleHolder handle(OpenProcess(SYNCHRONIZE, FALSE, process));
  return handle.Valid() && WaitForSingleObject(handle.Get(), 0) == WAIT_TIMEOUT;
}

uint32_t ProcessOf(const wchar_t* name) {
  const wchar_t* at = name + kPrefixLength;
  uint32_t process = 0;
  ReadHex(at, 8, true, process);
  return process;
}

// The suffix takes part in the mark, so that no kind passes for another.
bool MakeSuffixedName(const wchar_t* folder, const wchar_t* suffix, WideString& path) {
  wchar_t stem[40];
  Stem(suffix, stem, sizeof(stem) / sizeof(stem[0]));
  WideString name;
  name.AssignConcat(stem, suffix);
  JoinPath(path, folder, name.CStr());
  return path.ok;
}

}  // namespace

bool MakePartialName(const wchar_t* folder, WideString& path) {
  return MakeSuffixedName(folder, kPartialSuffix, path);
}

bool MakeKeptName(const wchar_t* folder, WideString& path) {
  return MakeSuffixedName(folder, kKeptSuffix, path);
}

bool MakeAsideName(const wchar_t* folder, const wchar_t* originalName, WideString& path) {
  wchar_t stem[40];
  Stem(originalName, stem, sizeof(stem) / sizeof(stem[0]));
  if (wcslen(stem) + 1 + wcslen(originalName) > kLongestName) return false;
  WideString name;
  name.AssignConcat(stem, L"~", originalName);
  JoinPath(path, folder, name.CStr());
  return path.ok;
}

ScratchKind ParseScratchName(const wchar_t* name, WideString* original) {
  if (wcsncmp(name, kPrefix, kPrefixLength) != 0) return ScratchKind::kNone;
  const wchar_t* at = name + kPrefixLength;
  uint32_t process = 0, counter = 0, mark = 0;
  if (!ReadHex(at, 8, true, process) || *at++ != L'-') return ScratchKind::kNone;
  if (!ReadHex(at, 8, false, counter) || *at++ != L'-') return ScratchKind::kNone;
  if (!ReadHex(at, 8, true, mark)) return ScratchKind::kNone;
  if (wcscmp(at, kPartialSuffix) == 0)
    return mark == CheckMark(process, counter, kPartialSuffix) ? ScratchKind::kPartial
                                                               : ScratchKind::kNone;
  if (wcscmp(at, kKeptSuffix) == 0)
    return mark == CheckMark(process, counter, kKeptSuffix) ? ScratchKind::kKept
                                                            : ScratchKind::kNone;
  if (*at != L'~' || at[1] == 0 || mark != CheckMark(process, counter, at + 1))
    return ScratchKind::kNone;
  if (original) original->Assign(at + 1);
  return ScratchKind::kAside;
}

void ClearLeftovers(const wchar_t* folder, PassReport& report) {
  WideString pattern;
  JoinPath(pattern, folder, L"~hl*");
  FindHandle find;
  if (!pattern.ok || !FirstEntry(find, pattern.CStr())) return;
  WideString item;
  WideString original;
  WideString restored;
  FolderFinalPath folderFinal(folder);
  do {
    ScratchKind kind = ParseScratchName(find.Name(), &original);
    if (kind == ScratchKind::kNone || ProcessAlive(ProcessOf(find.Name()))) continue;
    JoinPath(item, folder, find.Name());
    if (kind == ScratchKind::kKept) {
      RecordRefusal(report, item.CStr(), Refusal::kLeftoverKept);
      continue;
    }
    if (kind == ScratchKind::kPartial) {
      // Ours by its mark, and never complete: a complete copy takes its name.
      if (find.IsFolder() || find.IsLink() || !ResolvesInPlace(item.CStr(), folderFinal))
        RecordRefusal(report, item.CStr(), Refusal::kResolvesElsewhere);
      else if (ForceDelete(item.CStr(), DeleteOption::DeleteNoShellNotice) != DeleteResult::Failed)
        ++report.counts.leftovers;
      else
        RecordFailure(report, item.CStr(), FailureStep::kDelete, GetLastError());
      continue;
    }
    JoinPath(restored, folder, original.CStr());
    if (MoveFileExW(item.CStr(), restored.CStr(), MOVEFILE_WRITE_THROUGH)) {
      ++report.counts.leftovers;
    } else {
      DWORD error = GetLastError();
      if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        RecordRefusal(report, item.CStr(), Refusal::kLeftoverKept);
      else
        RecordFailure(report, item.CStr(), FailureStep::kReplace, error, Refusal::kLeftoverKept);
    }
  } while (NextEntry(find));
}
