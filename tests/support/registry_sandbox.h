// Registry tests work below keys of their own: a fresh key under
// HKCU\Software\Harborline Tests, and one name for machine-wide keys
// (HKLM\SOFTWARE, HKCR) that the fixture removes again in every view.
#pragma once

#include <gtest/gtest.h>

#include <string>

class RegistrySandbox : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // root + "\Software\Harborline Tests\" + this test's key + "\" + relative.
  std::wstring Path(const wchar_t* root, const wchar_t* relative) const;
  // A name unique to this test, for keys directly below HKLM\SOFTWARE or HKCR.
  const std::wstring& MachineKeyName() const { return name_; }

 private:
  std::wstring name_;
};

// Deletes root\subkey with everything below it in the given view, through
// the platform alone; a no-op for an empty subkey.
void RemoveTestKey(HKEY root, const std::wstring& subkey, REGSAM view);
