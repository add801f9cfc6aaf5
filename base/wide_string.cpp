#include "base/wide_string.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace {

size_t TextLength(const wchar_t* text) { return text ? wcslen(text) : 0; }

// Sizes whose byte count does not fit 32 bits are requested as the largest
// value, so that the allocation fails instead of wrapping round.
wchar_t* AllocateUnits(uint64_t units) {
  uint64_t bytes = units * sizeof(wchar_t);
  size_t request = bytes > UINT32_MAX ? SIZE_MAX : static_cast<size_t>(bytes);
  return static_cast<wchar_t*>(malloc(request));
}

inline wchar_t Lower(wchar_t c) { return static_cast<wchar_t>(towlower(c)); }

bool UnitsMatch(const wchar_t* text, const wchar_t* needle, int32_t m, bool caseSensitive) {
  if (caseSensitive) return wmemcmp(text, needle, m) == 0;
  for (int32_t i = 0; i < m; ++i)
    if (Lower(text[i]) != Lower(needle[i])) return false;
  return true;
}

}  // namespace

WideString::~WideString() { free(buf); }

WideString::WideString(WideString&& other) noexcept : buf(other.buf), len(other.len), ok(other.ok) {
  other.buf = nullptr;
  other.len = 0;
}

WideString& WideString::operator=(WideString&& other) noexcept {
  if (this != &other) {
    free(buf);
    buf = other.buf;
    len = other.len;
    ok = other.ok;
    other.buf = nullptr;
    other.len = 0;
  }
  return *this;
}

bool WideString::EnsureBuffer() {
  if (buf) return true;
  buf = AllocateUnits(1);
  if (!buf) return false;
  buf[0] = 0;
  len = 0;
  return true;
}

WideString& WideString::Assign(const wchar_t* text) {
  ok = false;
  size_t n = TextLength(text);
  wchar_t* fresh = AllocateUnits(static_cast<uint64_t>(n) + 1);
  if (!fresh) return *this;
  if (n) wmemcpy(fresh, text, n);
  fresh[n] = 0;
  free(buf);
  buf = fresh;
  len = static_cast<int32_t>(n);
  ok = true;
  return *this;
}

wchar_t* WideString::AssignN(int32_t n, const wchar_t* text) {
  ok = false;
  if (n < 0) n = 0;
  wchar_t* fresh = AllocateUnits(static_cast<uint64_t>(n) + 1);
  if (!fresh) return nullptr;
  size_t copy = 0;
  if (text) {
    while (copy < static_cast<size_t>(n) && text[copy]) ++copy;
    wmemcpy(fresh, text, copy);
  }
  fresh[copy] = 0;
  fresh[n] = 0;
  free(buf);
  buf = fresh;
  len = 0;
  ok = true;
  return buf;
}

WideString& WideString::Attach(wchar_t* heapBuffer) {
  free(buf);
  buf = heapBuffer;
  len = 0;
  ok = true;
  return *this;
}

void WideString::Clear() {
  free(buf);
  buf = nullptr;
  len = 0;
  ok = true;
}

WideString& WideString::Concat(bool keepOld, const wchar_t* const* parts, int count) {
  ok = false;
  uint64_t oldLength = keepOld ? static_cast<uint64_t>(Length()) : 0;
  uint64_t total = oldLength;
  for (int i = 0; i < count; ++i) total += TextLength(parts[i]);
  if (total >= INT32_MAX) return *this;
  wchar_t* fresh = AllocateUnits(total + 1);
  if (!fresh) return *this;
  size_t at = 0;
  if (oldLength) {
    wmemcpy(fresh, buf, oldLength);
    at = oldLength;
  }
  for (int i = 0; i < count; ++i) {
    size_t n = TextLength(parts[i]);
    if (n) wmemcpy(fresh + at, parts[i], n);  // parts may point into buf: copy first, free later
    at += n;
  }
  fresh[at] = 0;
  free(buf);
  buf = fresh;
  len = static_cast<int32_t>(at);
  ok = true;
  return *this;
}

WideString& WideString::Append(const wchar_t* a, const wchar_t* b, const wchar_t* c,
                               const wchar_t* d, const wchar_t* e) {
  const wchar_t* parts[] = {a, b, c, d, e};
  return Concat(true, parts, 5);
}

WideString& WideString::AssignConcat(const wchar_t* a, const wchar_t* b, const wchar_t* c,
                                     const wchar_t* d, const wchar_t* e) {
  const wchar_t* parts[] = {a, b, c, d, e};
  return Concat(false, parts, 5);
}

WideString& WideString::Prepend(const wchar_t* text) {
  // Concat copies every part before it lets the old buffer go, so the old
  // text can be one of the parts.
  const wchar_t* parts[] = {text, buf};
  return Concat(false, parts, 2);
}

WideString& WideString::FromInt(int32_t value) {
  wchar_t digits[16];
  int at = 15;
  digits[at] = 0;
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    digits[--at] = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0) digits[--at] = L'-';
  return Assign(digits + at);
}

int32_t WideString::Length() {
  if (len == 0 && buf) len = static_cast<int32_t>(wcslen(buf));
  return len;
}

wchar_t* WideString::At(int32_t index) {
  ok = EnsureBuffer();
  return buf ? buf + index : nullptr;
}

wchar_t* WideString::CStr() {
  ok = EnsureBuffer();
  static wchar_t empty[1] = {0};  // only when even one unit could not be had
  return buf ? buf : empty;
}

int32_t WideString::Find(const wchar_t* needle, bool caseSensitive, int32_t k, int32_t s,
                         int32_t w) {
  int32_t n = Length();
  int32_t m = static_cast<int32_t>(TextLength(needle));
  if (n == 0 || m == 0 || n < m) return 0;
  int32_t j = s <= 0 ? 0 : s - 1;
  if (j >= n || n - j < m) return 0;
  int32_t remain = n - j;
  int32_t window = (w <= 0 || w > remain) ? remain : w;
  if (window < m) return 0;
  int32_t last = j + window - m;
  if (k == 0) k = 1;
  if (k > 0) {
    for (int32_t p = j; p <= last; ++p)
      if (UnitsMatch(buf + p, needle, m, caseSensitive) && --k == 0) return p + 1;
  } else {
    for (int32_t p = last; p >= j; --p)
      if (UnitsMatch(buf + p, needle, m, caseSensitive) && ++k == 0) return p + 1;
  }
  return 0;
}

WideString& WideString::Replace(const wchar_t* needle, const wchar_t* replacement, int32_t k,
                                bool caseSensitive) {
  ok = false;
  int32_t n = Length();
  int32_t m = static_cast<int32_t>(TextLength(needle));
  int32_t r = static_cast<int32_t>(TextLength(replacement));
  if (n == 0 || m == 0 || n < m) return *this;

  // Matches are taken left to right without overlapping; with k != 0 only the
  // k-th one (from the end for k < 0) is replaced.
  int32_t only = 0;
  int32_t matches = 0;
  if (k != 0) {
    only = Find(needle, caseSensitive, k, 1, 0);
    if (only == 0) return *this;
    matches = 1;
  } else {
    for (int32_t p = 0; p + m <= n;) {
      if (UnitsMatch(buf + p, needle, m, caseSensitive)) {
        ++matches;
        p += m;
      } else {
        ++p;
      }
    }
    if (matches == 0) return *this;
  }

  uint64_t newLength = static_cast<uint64_t>(n) + static_cast<uint64_t>(matches) * r -
                       static_cast<uint64_t>(matches) * m;
  if (newLength >= INT32_MAX) return *this;
  wchar_t* out = buf;
  WideString replacementCopy;  // the replacement may point into our own buffer
  if (r > m) {
    out = AllocateUnits(newLength + 1);
    if (!out) return *this;
  } else if (replacement && replacement >= buf && replacement < buf + n + 1) {
    replacementCopy.Assign(replacement);
    if (!replacementCopy.ok) return *this;
    replacement = replacementCopy.buf;
  }

  // Writing in place is safe when r <= m: the write position never passes the
  // read position.
  int32_t read = 0;
  int32_t write = 0;
  while (read < n) {
    bool hit = false;
    if (read + m <= n) {
      if (k != 0)
        hit = read == only - 1;
      else
        hit = UnitsMatch(buf + read, needle, m, caseSensitive);
    }
    if (hit) {
      if (r) wmemmove(out + write, replacement, r);
      write += r;
      read += m;
    } else {
      out[write++] = buf[read++];
    }
  }
  out[write] = 0;
  if (out != buf) {
    free(buf);
    buf = out;
  }
  len = write;
  ok = true;
  return *this;
}

WideString& WideString::Truncate(int32_t index) {
  ok = false;
  int32_t n = Length();
  if (index < 0 || index > n || !EnsureBuffer()) return *this;
  buf[index] = 0;
  len = index;
  ok = true;
  return *this;
}

WideString& WideString::DropLeft(int32_t n) {
  ok = false;
  int32_t length = Length();
  if (!EnsureBuffer()) return *this;
  if (n < 0) n = 0;
  if (n > length) n = length;
  wmemmove(buf, buf + n, length - n + 1);
  len = length - n;
  ok = true;
  return *this;
}

WideString& WideString::DropRight(int32_t n) {
  ok = false;
  int32_t length = Length();
  if (!EnsureBuffer()) return *this;
  if (n < 0) n = 0;
  if (n > length) n = length;
  buf[length - n] = 0;
  len = length - n;
  ok = true;
  return *this;
}

WideString& WideString::Substring(const wchar_t* text, int32_t start, int32_t count) {
  ok = false;
  if (!text) return *this;
  int32_t n = static_cast<int32_t>(TextLength(text));
  int32_t from = start <= 1 ? 0 : start - 1;
  if (from > n) from = n;
  int32_t take = (count < 1 || count > n - from) ? n - from : count;
  wchar_t* fresh = AllocateUnits(static_cast<uint64_t>(take) + 1);
  if (!fresh) return *this;
  wmemcpy(fresh, text + from, take);
  fresh[take] = 0;
  free(buf);
  buf = fresh;
  len = take;
  ok = true;
  return *this;
}

WideString& WideString::OverwriteAt(int32_t position, const wchar_t* text) {
  ok = false;
  int32_t n = Length();
  if (position < 1 || position > n) return *this;
  for (int32_t i = position - 1, t = 0; i < n && text && text[t]; ++i, ++t) buf[i] = text[t];
  ok = true;
  return *this;
}

bool WideString::StartsWithDigit() { return Length() > 0 && buf[0] >= L'0' && buf[0] <= L'9'; }

bool EqualsNoCase(const wchar_t* a, const wchar_t* b) {
  if (a == b) return true;
  if (!a || !b) return false;
  for (;; ++a, ++b) {
    if (Lower(*a) != Lower(*b)) return false;
    if (!*a) return true;
  }
}

int CompareText(const wchar_t* a, const wchar_t* b, bool caseSensitive) {
  if (a == b) return 0;
  if (!a) return -1;
  if (!b) return 1;
  for (;; ++a, ++b) {
    uint16_t x = static_cast<uint16_t>(caseSensitive ? *a : Lower(*a));
    uint16_t y = static_cast<uint16_t>(caseSensitive ? *b : Lower(*b));
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
}

SplitList::SplitList(const wchar_t* text, const wchar_t* separator) {
  copy_.Assign(text);
  if (!copy_.ok) return;
  wchar_t* base = copy_.CStr();
  int32_t n = copy_.Length();
  int32_t m = static_cast<int32_t>(TextLength(separator));
  if (n == 0 || m == 0) {
    pieces_.push_back(base);
    return;
  }
  int32_t position = 1;
  while (position <= n) {
    int32_t found = copy_.Find(separator, true, 1, position, 0);
    pieces_.push_back(base + position - 1);
    if (found == 0) break;
    base[found - 1] = 0;  // Find no longer sees past here, so keep using positions
    position = found + m;
  }
  copy_.len = n;  // the terminators written above must not shorten the cached length
}

const wchar_t* SplitList::Item(int index) const {
  if (pieces_.empty()) return nullptr;
  if (index < 0) index = 0;
  if (index >= Count()) index = Count() - 1;
  return pieces_[index];
}
