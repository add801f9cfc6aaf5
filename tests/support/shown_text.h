// A control's text as the user reads it: the "&" that marks a mnemonic
// dropped, "&&" read as one "&". Tests name controls by this text, so that a
// mnemonic added or moved changes no test.
#pragma once

#include <string>

inline std::wstring ShownText(const std::wstring& text) {
  std::wstring shown;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&' && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  return shown;
}

// Whether a control's text reads as wanted (both taken as shown).
inline bool ReadsAs(const std::wstring& text, const std::wstring& wanted) {
  return ShownText(text) == ShownText(wanted);
}
