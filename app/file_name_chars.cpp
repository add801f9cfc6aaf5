#include "app/file_name_chars.h"

#include <utility>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include "base/owner.h"

namespace {

using PcreCode = Owner<pcre2_code*, pcre2_code_free>;
using PcreMatchData = Owner<pcre2_match_data*, pcre2_match_data_free>;

// The output can never be longer than the input; the first size leaves room
// for the terminator and the library's own reckoning.
constexpr PCRE2_SIZE kOutputFactor = 2;
constexpr PCRE2_SIZE kLargestOutput = static_cast<PCRE2_SIZE>(1) << 30;

}  // namespace

int StripInvalidFileNameChars(WideString& text) {
  const int32_t length = text.Length();
  if (length == 0) return 0;
  static const wchar_t kPattern[] = L"\\\\|/|:|\\*|\\?|\"|<|>|\\|";
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  PcreCode pattern(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(kPattern), PCRE2_ZERO_TERMINATED, 0,
                                 &errorCode, &errorOffset, nullptr));
  if (!pattern.Valid()) return 0;
  PcreMatchData match(pcre2_match_data_create_from_pattern(pattern.Get(), nullptr));
  if (!match.Valid()) return 0;
  PCRE2_SIZE capacity = static_cast<PCRE2_SIZE>(length) * kOutputFactor + 2;
  for (;;) {
    WideString output;
    wchar_t* out = output.AssignN(static_cast<int32_t>(capacity), nullptr);
    if (!out) return 0;
    PCRE2_SIZE outLength = capacity;
    const int rc = pcre2_substitute(pattern.Get(), reinterpret_cast<PCRE2_SPTR>(text.CStr()),
                                    static_cast<PCRE2_SIZE>(length), 0, PCRE2_SUBSTITUTE_GLOBAL,
                                    match.Get(), nullptr, reinterpret_cast<PCRE2_SPTR>(L""), 0,
                                    reinterpret_cast<PCRE2_UCHAR*>(out), &outLength);
    if (rc == PCRE2_ERROR_NOMEMORY && capacity < kLargestOutput) {
      capacity *= 2;
      continue;
    }
    if (rc <= 0) return 0;
    out[outLength] = 0;
    const int removed = length - static_cast<int32_t>(outLength);
    text = std::move(output);
    return removed;
  }
}
