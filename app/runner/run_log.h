// The run log: every run appends its report, as plain text (UTF-8 with a
// byte-order mark, CR LF line ends), to a file beside the user's default
// settings file. The file is kept under a limit by dropping the oldest runs.
#pragma once

#include <cstddef>
#include <string>

// About 1 MiB: years of nightly runs of a small job, a few weeks of a large
// one with many failures; small enough to open in any editor.
inline constexpr size_t kRunLogLimit = 1024 * 1024;

// Every run's report begins with this text at the start of a line; the
// trimming cuts the file only there.
inline constexpr wchar_t kRunHeading[] = L"==== Harborline Backup run ";

// The default settings file's path with ".log" in place of ".hbak".
std::wstring RunLogPath(const wchar_t* defaultSettingsPath);

// Appends one run's report (which begins with kRunHeading; its lines end with
// "\r\n"). When the file would then pass the limit, the oldest runs are
// dropped first (the newest run is always kept whole). False when the file
// could not be written; the run goes on regardless.
bool AppendToRunLog(const wchar_t* logPath, const std::wstring& report,
                    size_t limit = kRunLogLimit);
