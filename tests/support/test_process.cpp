#include "tests/support/test_process.h"

#include <windows.h>

#include <cstdio>

namespace {

LONG WINAPI ReportUnhandledException(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  std::fprintf(stderr, "unhandled exception 0x%08lx at %p on thread %lu\n",
               static_cast<unsigned long>(record->ExceptionCode), record->ExceptionAddress,
               static_cast<unsigned long>(GetCurrentThreadId()));
  std::fflush(stderr);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void PrepareTestProcess() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  SetUnhandledExceptionFilter(ReportUnhandledException);
}
