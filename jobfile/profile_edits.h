// Every write of a settings file, all or nothing: the changes are made by the
// platform's profile functions on a copy beside the file, the copy is read
// back byte by byte and must hold exactly what the file held with the changes
// made, and only then does it replace the file. A full disk, a size limit or
// a file that cannot be replaced leaves the file as it was.
#pragma once

#include <string>
#include <vector>

// One change, with the profile functions' meaning (names ignore case).
struct ProfileEdit {
  enum class Kind {
    SetKey,          // the key's value; the key (and section) added when missing
    RemoveKey,       // the key gone, when there is one
    ReplaceSection,  // every key of the section replaced by lines ("key=value")
  };
  Kind kind = Kind::SetKey;
  std::wstring section;
  std::wstring key;
  std::wstring value;
  std::vector<std::wstring> lines;
};

// Makes the changes in the file at path (a full path), creating it in
// UTF-16LE when it is missing. A file that is a link is written through to
// its target; the file keeps its attributes. True only when the file holds
// every change; false leaves it byte for byte as it was.
bool ApplyProfileEdits(const wchar_t* path, const std::vector<ProfileEdit>& edits);
