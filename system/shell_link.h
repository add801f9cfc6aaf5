// Desktop shortcuts: one shortcut file being edited through the shell's link
// object, and their removal.
#pragma once

#include <shlobj.h>

class ShellLink {
 public:
  ShellLink();  // initialises COM for the thread
  ~ShellLink();
  ShellLink(const ShellLink&) = delete;
  ShellLink& operator=(const ShellLink&) = delete;

  // Opens an existing shortcut for editing, or creates the file at once.
  bool OpenLink(const wchar_t* path);
  // Points the open shortcut at the program with the arguments, takes its
  // icon from iconFile and writes the file.
  bool Save(const wchar_t* program, const wchar_t* arguments, const wchar_t* iconFile);

 private:
  void Release();

  IShellLinkW* link_ = nullptr;
  IPersistFile* file_ = nullptr;
  bool ready_ = false;
  bool comStarted_ = false;
};

// Deletes a shortcut file and tells the shell; a missing file counts as
// deleted.
bool DeleteShortcut(const wchar_t* path);
