#include "engine/exclusion_patterns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct MatchCase {
  const wchar_t* patterns;
  const wchar_t* relativePath;
  bool folder;
  bool excluded;
};

std::wstring LastPart(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

TEST(ExclusionPatterns, EachPatternFormMatchesWhatItSays) {
  const MatchCase cases[] = {
      // A name at any depth, any case.
      {L"*.tmp", L"a.tmp", false, true},
      {L"*.tmp", L"deep\\er\\B.TMP", false, true},
      {L"*.tmp", L"a.tmp.txt", false, false},
      {L"*.TMP", L"x.tmp", true, true},  // a name pattern takes folders as well
      {L"~$*", L"~$Report.docx", false, true},
      {L"~$*", L"Report~$.docx", false, false},
      {L"Thumbs.db", L"Pictures\\thumbs.DB", false, true},
      {L"\u00C4rger*", L"\u00E4rgernis.txt", false, true},  // beyond ASCII, any case
      {L"Thumbs.db", L"Pictures\\Thumbs.db.bak", false, false},
      {L"?ache", L"Cache", false, true},
      {L"?ache", L"ache", false, false},
      {L"a*b*c", L"aXXbYYc", false, true},
      {L"a*b*c", L"aXXbYY", false, false},
      {L"*", L"anything", false, true},
      // Folders only.
      {L"node_modules\\", L"web\\node_modules", true, true},
      {L"node_modules\\", L"web\\node_modules", false, false},
      {L"Cache\\", L"CACHE", true, true},
      // A path below the root, one name per part.
      {L"Projects\\*\\bin\\", L"Projects\\App\\bin", true, true},
      {L"Projects\\*\\bin\\", L"projects\\app\\BIN", true, true},
      {L"Projects\\*\\bin\\", L"Projects\\App\\bin", false, false},
      {L"Projects\\*\\bin\\", L"Projects\\App\\Sub\\bin", true, false},
      {L"Projects\\*\\bin\\", L"Other\\Projects\\App\\bin", true, false},
      {L"Projects\\*\\bin\\", L"Projects\\bin", true, false},
      {L"docs\\*.pdf", L"docs\\a.pdf", false, true},
      {L"docs\\*.pdf", L"sub\\docs\\a.pdf", false, false},
      // A leading "\" anchors a name at the root.
      {L"\\build\\", L"build", true, true},
      {L"\\build\\", L"src\\build", true, false},
      // Lists, blanks around elements.
      {L" *.tmp ;  Cache\\ ", L"x\\Cache", true, true},
      {L" *.tmp ;  Cache\\ ", L"y.tmp", false, true},
      {L" *.tmp ;  Cache\\ ", L"keep.txt", false, false},
      {L"", L"a.tmp", false, false},
  };
  for (const MatchCase& row : cases) {
    ExclusionPatterns patterns;
    patterns.Assign(row.patterns);
    std::wstring name = LastPart(row.relativePath);
    EXPECT_EQ(patterns.Excludes(row.relativePath, name.c_str(), row.folder), row.excluded)
        << "patterns \"" << std::string(row.patterns, row.patterns + wcslen(row.patterns))
        << "\" item " << std::string(name.begin(), name.end());
    EXPECT_TRUE(patterns.Malformed().empty());
  }
}

TEST(ExclusionPatterns, MalformedElementsAreKeptAsWrittenAndExcludeNothing) {
  ExclusionPatterns patterns;
  patterns.Assign(L"*.tmp;; \\ ;a\\\\b;\\\\;Cache\\");
  EXPECT_EQ(patterns.Malformed(), (std::vector<std::wstring>{L"", L"\\", L"a\\\\b", L"\\\\"}));
  EXPECT_TRUE(patterns.Excludes(L"x.tmp", L"x.tmp", false));
  EXPECT_TRUE(patterns.Excludes(L"Cache", L"Cache", true));
  EXPECT_FALSE(patterns.Excludes(L"a\\b", L"b", false));
  EXPECT_FALSE(patterns.Excludes(L"plain.txt", L"plain.txt", false));

  // Only malformed elements: nothing to match, but still noted.
  patterns.Assign(L";");
  EXPECT_TRUE(patterns.Empty());
  EXPECT_EQ(patterns.Malformed().size(), 2u);

  // A blank or missing list is simply no patterns.
  for (const wchar_t* none : {L"", L"   ", static_cast<const wchar_t*>(nullptr)}) {
    patterns.Assign(none);
    EXPECT_TRUE(patterns.Empty());
    EXPECT_TRUE(patterns.Malformed().empty());
  }
}

TEST(ExclusionPatterns, WildcardMatchBacktracksAcrossRepeatedParts) {
  EXPECT_TRUE(WildcardMatch(L"*AB*AB", 6, L"XABYABAB", 8));
  EXPECT_TRUE(WildcardMatch(L"A?C*", 4, L"ABC", 3));
  EXPECT_FALSE(WildcardMatch(L"A?C", 3, L"AC", 2));
  EXPECT_TRUE(WildcardMatch(L"**", 2, L"", 0));
  EXPECT_FALSE(WildcardMatch(L"?", 1, L"", 0));
}
