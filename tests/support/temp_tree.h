// Real files and folders for tests: a fresh folder under the test prefix's
// temporary folder, removed with everything in it when the test ends.
#pragma once

#include <windows.h>

#include <string>

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

 private:
  std::wstring root_;
};

std::string ReadWholeFile(const std::wstring& path);
bool IsFolder(const std::wstring& path);
bool IsFile(const std::wstring& path);
bool Exists(const std::wstring& path);
// Removes a folder tree whatever its attributes; used by the fixture's cleanup.
void RemoveTree(const std::wstring& path);
// Long-path form of an absolute drive path.
std::wstring LongForm(const std::wstring& path);
