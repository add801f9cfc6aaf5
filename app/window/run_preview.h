// What a run of the checked folder pairs would do, item by item, worked out
// by the engine's own passes with nothing changed (BackupJob::previewOnly):
// the main window's Preview, the strict-mode warning's count and the
// deletion guard's question show it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/backup_job.h"
#include "engine/pair_passes.h"

struct PreviewPair {
  std::wstring source;
  std::wstring destination;
};

struct PlannedRow {
  int pair = 0;  // index into RunPreview::pairs
  PlannedAction action = PlannedAction::kCopy;
  bool folder = false;
  uint64_t bytes = 0;
  std::wstring path;
};

struct PairPreview {
  PreviewPair folders;
  PairOutcome outcome = kPairFinished;
  PassCounts counts;  // summed over the pair's passes, as a run would count them
  uint64_t filesDeleted = 0;
  DeletionGuardCount guard;  // tripped: a run would ask first (or, unattended, not delete)
};

struct RunPreview {
  std::vector<PairPreview> pairs;
  std::vector<PlannedRow> rows;
  uint64_t FilesDeleted() const;
};

// The options come from options (flags, skip mask, versions, guard); only
// the folder texts differ per pair. Deletions the guard would ask about are
// listed, marked in the pair's guard count.
void PlanRun(const std::vector<PreviewPair>& pairs, const BackupJob& options, RunPreview& preview);

// "9,512".
std::wstring GroupedNumber(uint64_t value);
