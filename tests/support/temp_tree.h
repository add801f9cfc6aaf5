// Real files and folders for tests: a fresh folder under the test prefix's
// temporary folder, removed with everything in it when the test ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::wstring& Root() const { return root_; }
  // Root + "\" + relative path.
  std::wstring Path(const std::wstring& relative) const;

  // Creates the parent folders as needed.
  void MakeFolder(const std::wstring& relative) const;
  void WriteFile(const std::wstring& relative, const std::string& content) const;
  // A file of the given size whose bytes follow from the seed, so that two
  // files of one size but different seeds differ.
  void WriteFileOfSize(const std::wstring& relative, uint64_t size, uint32_t seed) const;

 private:
  std::wstring root_;
};

std::string ReadWholeFile(const std::wstring& path);
// The text in UTF-8, as files written by the tests and host names hold it.
std::string Utf8(const std::wstring& text);
bool IsFolder(const std::wstring& path);
bool IsFile(const std::wstring& path);
bool Exists(const std::wstring& path);
// Removes a folder tree whatever its attributes; used by the fixture's cleanup.
void RemoveTree(const std::wstring& path);
// The text in double quotes, as one argument of a command line.
std::wstring Quoted(const std::wstring& text);
// levels folders named stem + number + tail, one inside the other, then leaf:
// a relative path for trees deeper than the classic length limit.
std::wstring DeepRelativePath(const std::wstring& stem, const std::wstring& tail, int levels,
                              const std::wstring& leaf);
// Long-path form of an absolute drive path.
std::wstring LongForm(const std::wstring& path);

// The three times of a file or folder, as 64-bit values.
struct ItemTimes {
  int64_t creation = 0;
  int64_t lastAccess = 0;
  int64_t lastWrite = 0;
};
ItemTimes TimesOf(const std::wstring& path);
bool SetTimes(const std::wstring& path, const ItemTimes& times);
// Sets only the last-write time.
bool SetWriteTime(const std::wstring& path, int64_t lastWrite);
DWORD AttributesOf(const std::wstring& path);
bool SetAttributes(const std::wstring& path, DWORD attributes);
// The file system's identity of a file: a rewritten file gets a new one
// when it is replaced by another file, not when it is written in place.
uint64_t FileIdOf(const std::wstring& path);
// Names in one folder, sorted; "." and ".." left out.
std::vector<std::wstring> NamesIn(const std::wstring& folder);

// One line per item below root, sorted: relative path, kind (dir, file, link),
// for files size and a hash of the contents, and the read-only, hidden and
// system attributes. Two trees with equal descriptions hold the same data.
std::wstring DescribeTree(const std::wstring& root, bool withAttributes = true);

// Whether creation times set on a file are kept (Wine, on a host file system
// without them, reports the last-write time instead).
bool PlatformKeepsCreationTimes(const TempTree& tree);
// Whether CreateSymbolicLinkW makes links here: some platforms answer success
// and create nothing.
bool PlatformCreatesSymbolicLinks(const TempTree& tree);
// Makes a link of the host system beneath a tree (Wine maps such a link to a
// folder to a reparse folder of tag 0). Empty on success, else why not.
std::string MakeHostFolderLink(const std::wstring& linkPath, const std::wstring& targetPath);
// Removes such a link (which Wine 8 cannot remove itself) with the host's rm.
bool RemoveHostLink(const std::wstring& linkPath);
// The host system's name of a path (under Wine); empty elsewhere.
std::wstring HostName(const std::wstring& path);
// Runs a program of the host system (Wine starts host programs as well) and
// waits until done says so, within a bound of timeoutMs. Empty on success,
// else why not.
std::string RunHostProgram(const char* program, const std::wstring& arguments,
                           const std::function<bool()>& done, unsigned long timeoutMs = 30000);
// A host link to a file, which Wine shows as a plain file. Empty on success.
std::string MakeHostFileLink(const std::wstring& linkPath, const std::wstring& targetPath);
// Renames a file on the host to a name differing from another only in case,
// so that one folder holds both ("Notes.txt" and "notes.txt"), which Wine
// itself never creates. Empty on success.
std::string RenameOnHost(const std::wstring& path, const std::wstring& newPath);

// A drive letter of the test prefix mapped to a folder, with the current
// folder of the test process on that drive, for cases that must be unable to
// harm the machine if the code regresses (drive roots, empty and relative
// folders): under Wine, Z: is the whole host file system. The mapping and the
// previous current folder are undone on destruction. Parallel tests each get
// a letter of their own.
class MappedDrive {
 public:
  // Maps a free letter to folder (which must exist) and makes currentFolder
  // (relative to the drive's root, "" for the root itself) the current folder.
  MappedDrive(const std::wstring& folder, const std::wstring& currentFolder = L"");
  ~MappedDrive();
  MappedDrive(const MappedDrive&) = delete;
  MappedDrive& operator=(const MappedDrive&) = delete;

  bool Ready() const { return letter_ != 0 && whyNot_.empty(); }
  const std::string& WhyNot() const { return whyNot_; }
  // "T:" and "T:\".
  std::wstring Drive() const { return std::wstring(1, letter_) + L":"; }
  std::wstring Root() const { return Drive() + L"\\"; }

 private:
  wchar_t letter_ = 0;
  std::string whyNot_;
  std::wstring linkName_;  // host path of the prefix's drive link
  std::wstring previousFolder_;
};
