// Versions: what a pass would overwrite or delete is first moved, by a rename
// on the same volume, into a folder at the root of the side being written:
//
//   <root>\Harborline Versions\YYYY-MM-DD HH-MM-SS\<path relative to the root>
//
// one run folder per run and side, named after the local time of the run's
// start. Every pass treats the versions folder at a root as absent: it is
// never counted, copied, compared or deleted (a folder of that name deeper
// in a tree is ordinary data).
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/wide_string.h"
#include "engine/pass_report.h"

inline constexpr wchar_t kVersionsFolderName[] = L"Harborline Versions";
// A hundred years: beyond any age a version could sensibly be kept for.
inline constexpr uint32_t kMaximumVersionDays = 36500;

// Whether name, an entry of folder, is the versions folder of the walked
// root. Only the name is compared for most entries; folder and root may
// differ by a "\\?\" prefix and trailing separators.
bool IsRootVersionsEntry(const wchar_t* folder, const wchar_t* name, const wchar_t* root);

// The versions of one side for one run. Nothing is created until the first
// item is kept.
class VersionStore {
 public:
  // root: the side's folder as the passes walk it (long form or not; the
  // items handed to Keep must begin with the same text). runStart: local
  // time of the run's start.
  void Begin(const wchar_t* root, const SYSTEMTIME& runStart);
  bool Active() const { return active_; }
  void End() { active_ = false; }

  // Moves item (a file, a link as the link, or an emptied folder) to its
  // place in the run folder, which keptAt (when given) then holds. False,
  // with the reason recorded in report, when it could not be moved: the
  // item is then where it was. A folder whose place already exists (its
  // contents went before it) is removed once it is empty. Several threads
  // may keep items at once (the passes' pools).
  bool Keep(const wchar_t* item, PassReport& report, WideString* keptAt = nullptr);
  // Puts an item kept at keptAt back under its name, for a replacement that
  // failed after the old item had been moved; false when it cannot.
  bool PutBack(const wchar_t* item, WideString& keptAt);

  // Where item would go, for the preview; false when item lies outside the root.
  bool PlaceOf(const wchar_t* item, WideString& place);

 private:
  bool EnsureRunFolder(PassReport& report, const wchar_t* item);
  bool EnsureParent(const WideString& place, PassReport& report, const wchar_t* item);

  bool active_ = false;
  WideString root_;       // trailing separators trimmed
  WideString runFolder_;  // root\Harborline Versions\stamp
  // Guards what Keep finds out and makes before its move: the places, the
  // run folder and the parent made last.
  SRWLOCK lock_ = SRWLOCK_INIT;
  WideString lastParent_;
  bool runFolderReady_ = false;
};

// "YYYY-MM-DD HH-MM-SS".
void VersionStampText(const SYSTEMTIME& time, WideString& text);
// The time a run folder's name stands for; false for any other name.
bool ParseVersionStamp(const wchar_t* name, SYSTEMTIME& time);

// What a side's versions folder holds after pruning, and what went.
struct VersionsTally {
  uint64_t runFolders = 0;  // kept
  uint64_t files = 0;       // files and links kept
  uint64_t bytes = 0;
  uint64_t prunedFolders = 0;
  uint64_t prunedFiles = 0;
  uint64_t prunedBytes = 0;
  uint64_t failed = 0;  // run folders that could not be removed entirely
};

// Deletes the run folders of root's versions folder whose time lies more
// than days days before now (both local times), in place: links inside are
// removed as links, never followed. Folders of other names are left alone
// and not counted. Adds to tally.
void PruneVersions(const wchar_t* root, uint32_t days, const SYSTEMTIME& now, VersionsTally& tally);
