#include "jobfile/profile_edits.h"

#include <windows.h>

#include <atomic>
#include <cwchar>

#include "base/owner.h"
#include "base/path.h"
#include "base/wide_string.h"
#include "jobfile/profile_file.h"

namespace {

constexpr unsigned char kUtf16LeMark[] = {0xFF, 0xFE};
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Attributes a rewritten file takes over from the one it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// Far beyond any real settings file.
constexpr LONGLONG kLargestFile = 0x10000000;

bool ReadBytes(const wchar_t* path, std::string& bytes) {
  HandleHolder file(CreateFileW(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > kLargestFile) return false;
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  return bytes.empty() ||
         (ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
          read == bytes.size());
}

bool WriteBytes(const wchar_t* path, const std::string& bytes) {
  HandleHolder file(
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return false;
  DWORD written = 0;
  return (bytes.empty() || (WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                      &written, nullptr) &&
                            written == bytes.size())) &&
         FlushFileBuffers(file.Get());
}

// The file a write must change: the target of a link, else the path itself.
std::wstring WriteTarget(const wchar_t* path) {
  HandleHolder file(
      CreateFileW(path, 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  WideString target;
  if (!file.Valid() || !FinalPathOf(file.Get(), target)) return path;
  DropLongPathPrefix(target);
  return target.CStr();
}

// --- The content as the profile functions see it ---------------------------

struct IniLine {
  std::wstring key;
  std::wstring value;
  bool hasValue = false;
  bool operator==(const IniLine&) const = default;
};
struct IniSection {
  std::wstring name;
  std::vector<IniLine> lines;
  bool operator==(const IniSection&) const = default;
};
using IniImage = std::vector<IniSection>;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == 0x1A; }

std::wstring Trimmed(const wchar_t* begin, const wchar_t* end) {
  while (begin < end && IsBlank(*begin)) ++begin;
  while (end > begin && IsBlank(end[-1])) --end;
  return std::wstring(begin, end);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  return EqualsNoCase(a.c_str(), b.c_str());
}

// The text in the encodings the profile functions read and write.
std::wstring Decoded(const std::string& bytes) {
  auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  std::wstring text;
  if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
    text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    return text;
  }
  if (bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text.push_back(static_cast<wchar_t>(at(i) << 8 | at(i + 1)));
    return text;
  }
  UINT codePage = CP_ACP;
  size_t start = 0;
  if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
    codePage = CP_UTF8;
    start = 3;
  }
  const int length = static_cast<int>(bytes.size() - start);
  if (length == 0) return text;
  const int units = MultiByteToWideChar(codePage, 0, bytes.data() + start, length, nullptr, 0);
  if (units <= 0) return text;
  text.resize(static_cast<size_t>(units));
  MultiByteToWideChar(codePage, 0, bytes.data() + start, length, text.data(), units);
  return text;
}

// Sections and keys in file order; comments and blank lines are no content.
// Lines before the first section belong to a section without a name.
IniImage Parse(const std::wstring& text) {
  IniImage image;
  const wchar_t* p = text.c_str();
  const wchar_t* end = p + text.size();
  while (p < end) {
    const wchar_t* lineEnd = p;
    while (lineEnd < end && *lineEnd != L'\r' && *lineEnd != L'\n') ++lineEnd;
    std::wstring line = Trimmed(p, lineEnd);
    p = lineEnd < end ? lineEnd + 1 : end;
    if (line.empty() || line[0] == L';') continue;
    if (line[0] == L'[') {
      const size_t close = line.find(L']');
      if (close != std::wstring::npos) image.push_back({line.substr(1, close - 1), {}});
      continue;
    }
    if (image.empty()) image.push_back({L"", {}});
    IniLine entry;
    const size_t equals = line.find(L'=');
    if (equals == std::wstring::npos) {
      entry.key = line;
    } else {
      entry.key = Trimmed(line.data(), line.data() + equals);
      entry.value = Trimmed(line.data() + equals + 1, line.data() + line.size());
      entry.hasValue = true;
    }
    image.back().lines.push_back(std::move(entry));
  }
  return image;
}

IniLine LineOf(const std::wstring& key, const std::wstring& value) {
  return IniLine{Trimmed(key.data(), key.data() + key.size()),
                 Trimmed(value.data(), value.data() + value.size()), true};
}

IniSection* FindSection(IniImage& image, const std::wstring& name) {
  for (IniSection& section : image)
    if (SameName(section.name, name)) return &section;
  return nullptr;
}

void Apply(IniImage& image, const ProfileEdit& edit) {
  const std::wstring name = Trimmed(edit.section.data(), edit.section.data() + edit.section.size());
  const std::wstring key = Trimmed(edit.key.data(), edit.key.data() + edit.key.size());
  if (edit.kind == ProfileEdit::Kind::RemoveKey) {
    for (IniSection& section : image) {
      if (!SameName(section.name, name)) continue;
      for (auto line = section.lines.begin(); line != section.lines.end(); ++line) {
        if (SameName(line->key, key)) {
          section.lines.erase(line);
          return;
        }
      }
    }
    return;
  }
  if (edit.kind == ProfileEdit::Kind::ReplaceSection) {
    for (IniSection& section : image)
      if (SameName(section.name, name)) section.lines.clear();
  }
  IniSection* section = FindSection(image, name);
  if (!section) {
    image.push_back({name, {}});
    section = &image.back();
  }
  if (edit.kind == ProfileEdit::Kind::ReplaceSection) {
    for (const std::wstring& line : edit.lines) {
      const size_t equals = line.find(L'=');
      if (equals != std::wstring::npos)
        section->lines.push_back(LineOf(line.substr(0, equals), line.substr(equals + 1)));
    }
    return;
  }
  for (IniLine& line : section->lines) {
    if (SameName(line.key, key)) {
      line.value = LineOf(key, edit.value).value;
      line.hasValue = true;
      return;
    }
  }
  section->lines.push_back(LineOf(key, edit.value));
}

// Sections without keys are no content: the platforms differ in whether an
// emptied section keeps its heading.
IniImage WithoutEmptySections(IniImage image) {
  IniImage kept;
  for (IniSection& section : image)
    if (!section.lines.empty()) kept.push_back(std::move(section));
  return kept;
}

// --- Making the changes on the copy ------------------------------------------

bool WriteEdit(const wchar_t* file, const ProfileEdit& edit) {
  if (edit.kind == ProfileEdit::Kind::SetKey)
    return WritePrivateProfileStringW(edit.section.c_str(), edit.key.c_str(), edit.value.c_str(),
                                      file) != FALSE;
  if (edit.kind == ProfileEdit::Kind::RemoveKey)
    return WritePrivateProfileStringW(edit.section.c_str(), edit.key.c_str(), nullptr, file) !=
           FALSE;
  std::vector<wchar_t> block;
  for (const std::wstring& line : edit.lines) {
    block.insert(block.end(), line.begin(), line.end());
    block.push_back(0);
  }
  block.push_back(0);
  if (block.size() < 2) block.push_back(0);
  return WritePrivateProfileSectionW(edit.section.c_str(), block.data(), file) != FALSE;
}

// A name beside the target that no other write uses, this process's or
// another's, so that the profile functions never answer from what they kept
// of an earlier copy.
std::wstring ScratchName(const std::wstring& target) {
  static std::atomic<unsigned> counter{0};
  return target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(++counter) + L".saving";
}

// Replaces target by the finished copy; the copy keeps the target's
// attributes. False leaves the target as it was.
bool ReplaceWith(const std::wstring& target, const std::wstring& scratch, DWORD attributes,
                 bool existed) {
  if (!existed)
    return MoveFileExW(scratch.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
  SetFileAttributesW(scratch.c_str(), (attributes & kKeptAttributes) | FILE_ATTRIBUTE_NORMAL);
  if (ReplaceFileW(target.c_str(), scratch.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                   nullptr, nullptr))
    return true;
  return MoveFileExW(scratch.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool WriteThroughCopy(const std::wstring& target, const std::wstring& scratch,
                      const std::vector<ProfileEdit>& edits) {
  const DWORD attributes = GetFileAttributesW(target.c_str());
  const bool existed = attributes != INVALID_FILE_ATTRIBUTES;
  if (existed && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) return false;
  std::string original;
  if (existed) {
    // A file that another program holds without letting others write is
    // not to be replaced behind its back.
    HandleHolder writable(CreateFileW(target.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!writable.Valid() || !ReadBytes(target.c_str(), original)) return false;
  } else {
    original.assign(reinterpret_cast<const char*>(kUtf16LeMark), sizeof kUtf16LeMark);
  }
  if (!WriteBytes(scratch.c_str(), original)) return false;

  std::vector<const wchar_t*> texts;
  for (const ProfileEdit& edit : edits) {
    for (const std::wstring* text : {&edit.section, &edit.key, &edit.value})
      texts.push_back(text->c_str());
    for (const std::wstring& line : edit.lines) texts.push_back(line.c_str());
  }
  // An 8-bit file that cannot hold a text would store it with "?" in it.
  if (!MakeFileHoldText(scratch.c_str(), texts)) return false;
  bool written = true;
  for (const ProfileEdit& edit : edits) written = written && WriteEdit(scratch.c_str(), edit);
  // Lets the profile functions write out and forget the copy now, before it
  // is renamed or deleted: a copy they kept could be written again later.
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, scratch.c_str());
  if (!written) return false;

  IniImage expected = Parse(Decoded(original));
  for (const ProfileEdit& edit : edits) Apply(expected, edit);
  std::string result;
  if (!ReadBytes(scratch.c_str(), result)) return false;
  if (WithoutEmptySections(Parse(Decoded(result))) != WithoutEmptySections(std::move(expected)))
    return false;
  return ReplaceWith(target, scratch, attributes, existed);
}

}  // namespace

bool ApplyProfileEdits(const wchar_t* path, const std::vector<ProfileEdit>& edits) {
  if (!path || !*path) return false;
  const std::wstring target = WriteTarget(path);
  const std::wstring scratch = ScratchName(target);
  if (WriteThroughCopy(target, scratch, edits)) return true;
  SetFileAttributesW(scratch.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(scratch.c_str());
  return false;
}
