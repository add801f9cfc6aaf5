// The program's own text type: a heap buffer of UTF-16 code units with a cached
// length and an `ok` flag that reports the outcome of the last operation.
//
// Positions: Find, Replace's matches, Substring's start and OverwriteAt count
// from 1 (0 answers "not found"); Truncate, At and the buffer `buf` count from
// 0. So Truncate(Find(x)) keeps everything up to and including the first unit
// of x.
#pragma once

#include <cstdint>
#include <vector>

class WideString {
 public:
  WideString() = default;
  explicit WideString(const wchar_t* text) { Assign(text); }
  ~WideString();
  WideString(const WideString&) = delete;  // copies are explicit: Assign
  WideString& operator=(const WideString&) = delete;
  WideString(WideString&& other) noexcept;
  WideString& operator=(WideString&& other) noexcept;

  WideString& Assign(const wchar_t* text);
  // Allocates n + 1 units and copies at most n units of text; the length is left
  // unknown so that a platform call may write into the returned buffer.
  wchar_t* AssignN(int32_t n, const wchar_t* text);
  // Takes ownership of a buffer from malloc (null makes the string empty).
  WideString& Attach(wchar_t* heapBuffer);
  void Clear();
  WideString& Append(const wchar_t* a, const wchar_t* b = nullptr, const wchar_t* c = nullptr,
                     const wchar_t* d = nullptr, const wchar_t* e = nullptr);
  WideString& AssignConcat(const wchar_t* a, const wchar_t* b = nullptr, const wchar_t* c = nullptr,
                           const wchar_t* d = nullptr, const wchar_t* e = nullptr);
  WideString& Prepend(const wchar_t* text);
  WideString& FromInt(int32_t value);

  int32_t Length();
  wchar_t* At(int32_t index);
  wchar_t* CStr();

  // Position (1-based) of the k-th match (k < 0: from the end) of needle within
  // the window of w units starting at position s, or 0.
  int32_t Find(const wchar_t* needle, bool caseSensitive = false, int32_t k = 1, int32_t s = 1,
               int32_t w = 0);
  // Replaces the k-th match, or every match when k is 0.
  WideString& Replace(const wchar_t* needle, const wchar_t* replacement, int32_t k = 0,
                      bool caseSensitive = false);
  WideString& Truncate(int32_t index);
  WideString& DropLeft(int32_t n);
  WideString& DropRight(int32_t n);
  WideString& Substring(const wchar_t* text, int32_t start, int32_t count);
  WideString& OverwriteAt(int32_t position, const wchar_t* text);
  bool StartsWithDigit();

  wchar_t* buf = nullptr;
  int32_t len = 0;  // 0 means unknown: recounted when needed
  bool ok = false;

 private:
  bool EnsureBuffer();
  WideString& Concat(bool keepOld, const wchar_t* const* parts, int count);
};

bool EqualsNoCase(const wchar_t* a, const wchar_t* b);
int CompareText(const wchar_t* a, const wchar_t* b, bool caseSensitive);

// Cuts a text at every occurrence of a separator. The pieces point into a
// private copy in which the first unit of each separator became a terminator.
class SplitList {
 public:
  SplitList(const wchar_t* text, const wchar_t* separator);
  int Count() const { return static_cast<int>(pieces_.size()); }
  // An index beyond the last piece gives the last piece; an empty list null.
  const wchar_t* Item(int index) const;

 private:
  WideString copy_;
  std::vector<const wchar_t*> pieces_;
};
