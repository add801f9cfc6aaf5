#include "engine/pass_report.h"

#include <windows.h>

#include <cwchar>

#include "base/path.h"

namespace {

void Keep(PassReport& report, const wchar_t* path, FailureStep step, uint32_t error,
          Refusal reason) {
  ++report.counts.failed;
  if (report.failures.size() >= kKeptFailures) return;
  WideString shown(path ? path : L"");
  DropLongPathPrefix(shown);
  FailedItem item;
  item.path.assign(shown.CStr() ? shown.CStr() : L"");
  item.step = step;
  item.error = error;
  item.reason = reason;
  report.failures.push_back(std::move(item));
}

}  // namespace

void ClearReport(PassReport& report) {
  report.counts = PassCounts();
  report.failures.clear();
}

void RecordFailure(PassReport& report, const wchar_t* path, FailureStep step, uint32_t error,
                   Refusal reason) {
  Keep(report, path, step, error, reason);
}

void RecordRefusal(PassReport& report, const wchar_t* path, Refusal reason) {
  Keep(report, path, FailureStep::kRefuse, 0, reason);
}

void AddCounts(PassCounts& sum, const PassCounts& part) {
  sum.copied += part.copied;
  sum.upToDate += part.upToDate;
  sum.deleted += part.deleted;
  sum.skipped += part.skipped;
  sum.failed += part.failed;
  sum.bytesCopied += part.bytesCopied;
  sum.leftovers += part.leftovers;
  sum.versioned += part.versioned;
}

const wchar_t* FailureStepText(FailureStep step) {
  switch (step) {
    case FailureStep::kListFolder:
      return L"list folder";
    case FailureStep::kOpenSource:
      return L"open source";
    case FailureStep::kCreateScratch:
      return L"create scratch";
    case FailureStep::kRead:
      return L"read";
    case FailureStep::kWrite:
      return L"write";
    case FailureStep::kReplace:
      return L"replace";
    case FailureStep::kSetTimes:
      return L"set times";
    case FailureStep::kDelete:
      return L"delete";
    case FailureStep::kKeepVersion:
      return L"keep version";
    case FailureStep::kCreateLink:
      return L"create link";
    case FailureStep::kRefuse:
      return L"refuse";
  }
  return L"";
}

const wchar_t* RefusalText(Refusal reason) {
  switch (reason) {
    case Refusal::kNone:
      return L"";
    case Refusal::kFolderInTheWay:
      return L"a folder of that name is in the way; in a live folder it is never replaced by a "
             L"file";
    case Refusal::kFileInTheWay:
      return L"a file of that name is in the way of the folder";
    case Refusal::kLinkInTheWay:
      return L"a link of that name is in the way; nothing is written through it";
    case Refusal::kResolvesElsewhere:
      return L"the item resolves to another place (a link); left alone";
    case Refusal::kCaseTwin:
      return L"a name differing only in case was already handled in this folder";
    case Refusal::kNameNotJudged:
      return L"the other side cannot tell whether this name exists";
    case Refusal::kPassStopped:
      return L"the other side stopped answering; the rest of this folder was not judged";
    case Refusal::kLeftoverKept:
      return L"an item an interrupted run moved aside cannot get its name back; it keeps its "
             L"scratch name";
    case Refusal::kReadSideMissing:
      return L"the folder to read is missing";
    case Refusal::kPathTooLong:
      return L"the path is too long";
    case Refusal::kVersionsFolderUnusable:
      return L"the versions folder is a link or a file; nothing is replaced or deleted without "
             L"a version";
    case Refusal::kLinkNotMade:
      return L"the system answered that the link was made, but there is none";
  }
  return L"";
}

void ErrorText(uint32_t error, WideString& text) {
  if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) {
    // Said plainly whatever the system's wording: a large file that can no
    // longer be updated must be visible as such.
    text.Assign(L"disk full: there is not enough space for the new copy");
    return;
  }
  wchar_t* message = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  while (length > 0 && (message[length - 1] == L'\r' || message[length - 1] == L'\n' ||
                        message[length - 1] == L' ' || message[length - 1] == L'.'))
    message[--length] = 0;
  if (length > 0) {
    text.Assign(message);
  } else {
    wchar_t number[32];
    swprintf(number, sizeof(number) / sizeof(number[0]), L"error %lu",
             static_cast<unsigned long>(error));
    text.Assign(number);
  }
  if (message) LocalFree(message);
}

void DescribeFailure(const FailedItem& item, WideString& text) {
  WideString why;
  if (item.step == FailureStep::kRefuse || item.reason != Refusal::kNone)
    why.Assign(RefusalText(item.reason));
  else
    ErrorText(item.error, why);
  text.AssignConcat(FailureStepText(item.step), L": ", why.CStr());
}
