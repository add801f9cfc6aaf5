#include "engine/deletion_guard.h"

#include "base/path.h"
#include "engine/backup_job.h"
#include "engine/copy_pass.h"
#include "engine/find_handle.h"
#include "engine/versions.h"

namespace {

void CountFileDeletion(void* context, const PlannedItem& item) {
  if (item.action == PlannedAction::kDelete && !item.folder)
    ++static_cast<DeletionGuardCount*>(context)->filesToDelete;
}

// Files and links below folder, the versions folder at the root left out.
bool CountFiles(const wchar_t* folder, const wchar_t* root, BackupJob& job, uint64_t& files) {
  WideString pattern;
  JoinPath(pattern, folder, L"*");
  FindHandle find;
  if (!pattern.ok || !FirstEntry(find, pattern.CStr())) return true;
  WideString child;
  do {
    if (StopRequested(job)) return false;
    if (!find.IsPlainFolder()) {
      ++files;
      continue;
    }
    if (IsRootVersionsEntry(folder, find.Name(), root)) continue;
    JoinPath(child, folder, find.Name());
    if (child.ok && !CountFiles(child.CStr(), root, job, files)) return false;
  } while (NextEntry(find));
  return true;
}

}  // namespace

bool GuardTrips(uint32_t percent, uint64_t toDelete, uint64_t onSide) {
  if (percent == 0 || toDelete <= kGuardMinimumFiles) return false;
  return toDelete * 100 > static_cast<uint64_t>(percent) * onSide;
}

DWORD WINAPI DeletionCountThread(void* argument) {
  if (!argument) return 0;
  BackupJob& job = *static_cast<BackupJob*>(argument);
  DeletionGuardCount& count = job.guardCount;
  count = DeletionGuardCount();
  const bool preview = job.previewOnly;
  auto* planned = job.itemPlanned;
  void* planContext = job.planContext;
  VersionStore* versions = job.versions;
  job.previewOnly = true;
  job.itemPlanned = CountFileDeletion;
  job.planContext = &count;
  job.versions = nullptr;
  CopyThread(&job);
  job.previewOnly = preview;
  job.itemPlanned = planned;
  job.planContext = planContext;
  job.versions = versions;
  ClearReport(job.report);
  if (StopRequested(job)) return 0;
  // The whole side is counted only when the share could matter.
  if (count.filesToDelete > kGuardMinimumFiles) {
    WideString root(job.fromRoot.CStr());
    AddLongPathPrefix(root);
    if (!root.ok || !CountFiles(root.CStr(), root.CStr(), job, count.filesOnSide)) return 0;
    // A run counts after its copy pass has added them.
    if (preview) count.filesOnSide += job.plannedNewFiles;
  }
  count.counted = true;
  return 1;
}
