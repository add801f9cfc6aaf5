// The items a job leaves alone: a list of patterns such as
// "*.tmp; ~$*; Thumbs.db; node_modules\; Projects\*\bin\". Every pass asks
// the same matcher, so that what one pass leaves out no other pass touches:
// an excluded item is not counted, copied, compared or deleted.
#pragma once

#include <string>
#include <vector>

// The list separator of the job file, the switch and the window's field.
inline constexpr wchar_t kExclusionSeparator = L';';

class ExclusionPatterns {
 public:
  // Replaces the patterns by those of the list. Blanks around an element are
  // dropped; "*" and "?" are wildcards; case does not count. An element that
  // ends in "\" matches folders only; one that holds a "\" anywhere else is
  // matched against the whole path below the walked root, one name per part
  // ("*" never spans a "\"; a leading "\" only anchors it at the root);
  // any other element matches an item's name at any depth. An empty element
  // or one without a name ("\", "a\\b") is malformed: it excludes nothing
  // and is kept, as written, in Malformed(). A null, empty or blank list
  // excludes nothing and is not malformed.
  void Assign(const wchar_t* list);
  void Clear();
  bool Empty() const { return names_.empty() && paths_.empty(); }
  // relativePath is the item below the walked root without a leading "\"
  // ("Projects\App\bin"); name is its last part. folder: the item is a
  // folder (or a link to one).
  bool Excludes(const wchar_t* relativePath, const wchar_t* name, bool folder) const;
  const std::vector<std::wstring>& Malformed() const { return malformed_; }
  // The list as last assigned (empty for none), for reports.
  const std::wstring& Text() const { return text_; }

 private:
  enum class Shape {
    kExact,     // no wildcard
    kSuffix,    // "*" then no wildcard ("*.tmp"): the common case, one compare
    kPrefix,    // no wildcard then "*" ("~$*")
    kWildcard,  // anything else
  };
  struct NamePattern {
    std::wstring text;  // upper case, without the "*" of a suffix or prefix shape
    Shape shape = Shape::kExact;
    bool foldersOnly = false;
  };
  struct PathPattern {
    std::vector<NamePattern> parts;
    bool foldersOnly = false;
  };

  static NamePattern MakeNamePattern(const std::wstring& upperText, bool foldersOnly);
  static bool MatchesName(const NamePattern& pattern, const wchar_t* upperName, size_t length);

  std::vector<NamePattern> names_;
  std::vector<PathPattern> paths_;
  std::vector<std::wstring> malformed_;
  std::wstring text_;
};

// Match of "*" and "?" wildcards against a whole text of the given length;
// the caller brings both into one case.
bool WildcardMatch(const wchar_t* pattern, size_t patternLength, const wchar_t* text,
                   size_t textLength);
