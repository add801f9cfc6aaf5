// What a run does item by item, told as it happens; a preview (a run with
// BackupJob::previewOnly set) tells the same items and changes nothing.
#pragma once

#include <cstdint>

enum class PlannedAction : uint8_t {
  kCopy,      // a new item written by the first pass (Common, Strict, Restore, Sync)
  kUpdate,    // an existing item replaced by the first pass
  kDelete,    // an item Strict's deletion pass removes
  kCopyBack,  // an item written by Sync's copy back, new or replaced
  kVersion,   // the old item moved into the versions folder first
};

struct PlannedItem {
  PlannedAction action = PlannedAction::kCopy;
  const wchar_t* path = nullptr;  // the item written or removed, without "\\?\"
  uint64_t bytes = 0;             // copies only
  bool folder = false;            // a folder removed (deletion pass)
};

// "copy", "update", "delete", "copy-back", "version".
const wchar_t* PlannedActionText(PlannedAction action);
