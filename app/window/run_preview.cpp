#include "app/window/run_preview.h"

namespace {

struct Collector {
  RunPreview* preview = nullptr;
  PairPreview* pair = nullptr;
};

void CollectItem(void* context, const PlannedItem& item) {
  Collector& collector = *static_cast<Collector*>(context);
  PlannedRow row;
  row.pair = static_cast<int>(collector.preview->pairs.size()) - 1;
  row.action = item.action;
  row.folder = item.folder;
  row.bytes = item.bytes;
  row.path = item.path;
  if (item.action == PlannedAction::kDelete && !item.folder) ++collector.pair->filesDeleted;
  collector.preview->rows.push_back(std::move(row));
}

void CollectCounts(void* context, PairPhase, const PassReport& report) {
  AddCounts(static_cast<Collector*>(context)->pair->counts, report.counts);
}

// The preview lists what the run would delete once someone agreed; the
// pair's guard count says that a run would ask first.
bool ListGuardedDeletions(void*, BackupJob&) { return true; }

}  // namespace

uint64_t RunPreview::FilesDeleted() const {
  uint64_t files = 0;
  for (const PairPreview& pair : pairs) files += pair.filesDeleted;
  return files;
}

void PlanRun(const std::vector<PreviewPair>& pairs, const BackupJob& options, RunPreview& preview) {
  BackupJob job;
  job.flags = options.flags;
  job.skipAttributes = options.skipAttributes;
  job.versionDays = options.versionDays;
  job.deletionGuard = options.deletionGuard;
  job.previewOnly = true;
  Collector collector;
  collector.preview = &preview;
  job.itemPlanned = CollectItem;
  job.planContext = &collector;
  PassHooks hooks;
  hooks.runWorker = RunWorkerAndWait;
  hooks.passEnded = CollectCounts;
  hooks.confirmDeletions = ListGuardedDeletions;
  hooks.context = &collector;
  for (const PreviewPair& folders : pairs) {
    preview.pairs.emplace_back();
    PairPreview& pair = preview.pairs.back();
    pair.folders = folders;
    collector.pair = &pair;
    pair.outcome = RunPairPasses(job, folders.source.c_str(), folders.destination.c_str(), hooks);
    pair.guard = job.guardCount;
  }
}

std::wstring GroupedNumber(uint64_t value) {
  std::wstring digits = std::to_wstring(value);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
    digits.insert(static_cast<size_t>(at), 1, L',');
  return digits;
}
