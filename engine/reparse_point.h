// Recreating a link (any reparse point that does not bear data) at the other
// side of a pair, pointing at what the source link resolves to.
#pragma once

#include <windows.h>

#include "base/wide_string.h"
#include "engine/pass_report.h"

// The text a recreated link stores for target: relative to linkFolder (".\"
// or "..\" steps) when both lie on the same drive or network share, else the
// target itself. Both paths are absolute; a leading "\\?\" is ignored.
void LinkTargetText(const wchar_t* linkFolder, const wchar_t* target, WideString& text);

// Why a link was not recreated: the step, the system's error code and, where
// the code alone would mislead, a reason that says more.
struct LinkFailure {
  FailureStep step = FailureStep::kCreateLink;
  DWORD error = 0;
  Refusal reason = Refusal::kNone;
};

// Creates at destination a symbolic link to the item that source resolves to,
// with the directory flag for a folder link, and gives the new link the
// source link's attributes and times. False when the platform lacks links
// (kCreateLink), the source cannot be resolved (kOpenSource), or no link
// appeared (kCreateLink: the destination name already exists, for one); then
// failure, when given, says why.
bool CopyReparsePoint(const wchar_t* source, const wchar_t* destination,
                      LinkFailure* failure = nullptr);
