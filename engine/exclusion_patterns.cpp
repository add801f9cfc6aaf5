#include "engine/exclusion_patterns.h"

#include <windows.h>

#include <cwchar>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Invariant upper case, as the copy pass compares names of one folder: the
// same word in any case names the same item on the file systems a backup
// writes to. Plain ASCII, most names, is folded here; asked for every item
// of every pass, a call to the platform per name would cost more than the
// match itself.
void UpperCaseInto(const wchar_t* text, size_t length, std::wstring& upper) {
  upper.resize(length);
  bool ascii = true;
  for (size_t i = 0; i < length; ++i) {
    wchar_t c = text[i];
    if (c >= 0x80) {
      ascii = false;
      break;
    }
    upper[i] = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - (L'a' - L'A')) : c;
  }
  if (ascii || length == 0) return;
  int n = static_cast<int>(length);
  if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text, n, upper.data(), n, nullptr,
                    nullptr, 0) != n)
    upper.assign(text, length);
}

std::wstring UpperCase(const wchar_t* text, size_t length) {
  std::wstring upper;
  UpperCaseInto(text, length, upper);
  return upper;
}

bool HasWildcard(const std::wstring& text) {
  return text.find_first_of(L"*?") != std::wstring::npos;
}

}  // namespace

bool WildcardMatch(const wchar_t* pattern, size_t patternLength, const wchar_t* text,
                   size_t textLength) {
  // One backtracking point, the last "*", is enough: a later "*" can take
  // over whatever an earlier one would have had to match.
  size_t p = 0;
  size_t t = 0;
  size_t starAt = SIZE_MAX;
  size_t starText = 0;
  while (t < textLength) {
    if (p < patternLength && (pattern[p] == L'?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (p < patternLength && pattern[p] == L'*') {
      starAt = p++;
      starText = t;
    } else if (starAt != SIZE_MAX) {
      p = starAt + 1;
      t = ++starText;
    } else {
      return false;
    }
  }
  while (p < patternLength && pattern[p] == L'*') ++p;
  return p == patternLength;
}

ExclusionPatterns::NamePattern ExclusionPatterns::MakeNamePattern(const std::wstring& upperText,
                                                                  bool foldersOnly) {
  NamePattern pattern;
  pattern.foldersOnly = foldersOnly;
  pattern.text = upperText;
  size_t length = upperText.size();
  if (!HasWildcard(upperText)) {
    pattern.shape = Shape::kExact;
  } else if (length > 1 && upperText[0] == L'*' && !HasWildcard(upperText.substr(1))) {
    pattern.shape = Shape::kSuffix;
    pattern.text.erase(0, 1);
  } else if (length > 1 && upperText[length - 1] == L'*' &&
             !HasWildcard(upperText.substr(0, length - 1))) {
    pattern.shape = Shape::kPrefix;
    pattern.text.pop_back();
  } else {
    pattern.shape = Shape::kWildcard;
  }
  return pattern;
}

bool ExclusionPatterns::MatchesName(const NamePattern& pattern, const wchar_t* upperName,
                                    size_t length) {
  const std::wstring& text = pattern.text;
  switch (pattern.shape) {
    case Shape::kExact:
      return length == text.size() && wmemcmp(upperName, text.data(), length) == 0;
    case Shape::kSuffix:
      return length >= text.size() &&
             wmemcmp(upperName + length - text.size(), text.data(), text.size()) == 0;
    case Shape::kPrefix:
      return length >= text.size() && wmemcmp(upperName, text.data(), text.size()) == 0;
    case Shape::kWildcard:
      break;
  }
  return WildcardMatch(text.data(), text.size(), upperName, length);
}

void ExclusionPatterns::Clear() {
  names_.clear();
  paths_.clear();
  malformed_.clear();
  text_.clear();
}

void ExclusionPatterns::Assign(const wchar_t* list) {
  Clear();
  if (!list) return;
  const wchar_t* end = list + wcslen(list);
  const wchar_t* firstText = list;
  while (firstText < end && IsBlank(*firstText)) ++firstText;
  if (firstText == end) return;
  text_.assign(list);

  const wchar_t* start = list;
  while (start <= end) {
    const wchar_t* stop = wmemchr(start, kExclusionSeparator, static_cast<size_t>(end - start));
    if (!stop) stop = end;
    const wchar_t* first = start;
    const wchar_t* last = stop;
    while (first < last && IsBlank(*first)) ++first;
    while (last > first && IsBlank(last[-1])) --last;
    std::wstring element(first, static_cast<size_t>(last - first));
    start = stop + 1;

    std::wstring body = element;
    bool foldersOnly = !body.empty() && body.back() == L'\\';
    if (foldersOnly) body.pop_back();
    bool anchored = !body.empty() && body.front() == L'\\';
    if (anchored) body.erase(0, 1);
    // Nothing left to name an item, or an empty part between two "\".
    if (body.empty() || body.find(L"\\\\") != std::wstring::npos || body.front() == L'\\' ||
        body.back() == L'\\') {
      malformed_.push_back(element);
      continue;
    }
    std::wstring upper = UpperCase(body.data(), body.size());
    if (!anchored && upper.find(L'\\') == std::wstring::npos) {
      names_.push_back(MakeNamePattern(upper, foldersOnly));
      continue;
    }
    PathPattern path;
    path.foldersOnly = foldersOnly;
    size_t partStart = 0;
    while (partStart <= upper.size()) {
      size_t partEnd = upper.find(L'\\', partStart);
      if (partEnd == std::wstring::npos) partEnd = upper.size();
      // Only the last part is the item itself; the parts before are folders
      // by definition.
      path.parts.push_back(MakeNamePattern(upper.substr(partStart, partEnd - partStart), false));
      partStart = partEnd + 1;
    }
    paths_.push_back(std::move(path));
  }
}

bool ExclusionPatterns::Excludes(const wchar_t* relativePath, const wchar_t* name,
                                 bool folder) const {
  // One buffer per thread: the passes ask from their worker, and an
  // allocation per item would cost more than the comparisons.
  thread_local std::wstring upperName;
  thread_local std::wstring upperPath;
  thread_local std::vector<std::pair<size_t, size_t>> parts;  // start, length
  if (!names_.empty()) {
    size_t length = wcslen(name);
    UpperCaseInto(name, length, upperName);
    for (const NamePattern& pattern : names_) {
      if (pattern.foldersOnly && !folder) continue;
      if (MatchesName(pattern, upperName.data(), length)) return true;
    }
  }
  if (paths_.empty()) return false;
  while (*relativePath == L'\\') ++relativePath;
  UpperCaseInto(relativePath, wcslen(relativePath), upperPath);
  parts.clear();
  size_t partStart = 0;
  while (partStart <= upperPath.size()) {
    size_t partEnd = upperPath.find(L'\\', partStart);
    if (partEnd == std::wstring::npos) partEnd = upperPath.size();
    parts.emplace_back(partStart, partEnd - partStart);
    partStart = partEnd + 1;
  }
  for (const PathPattern& pattern : paths_) {
    if (pattern.foldersOnly && !folder) continue;
    if (pattern.parts.size() != parts.size()) continue;
    bool all = true;
    for (size_t i = 0; i < parts.size() && all; ++i)
      all = MatchesName(pattern.parts[i], upperPath.data() + parts[i].first, parts[i].second);
    if (all) return true;
  }
  return false;
}
