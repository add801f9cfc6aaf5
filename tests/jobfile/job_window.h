// A real window with the controls a job lives in (the folder-pair list, the
// four mode radio buttons, the three option boxes) and a temporary folder for
// the settings files of one test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "jobfile/settings_file.h"
#include "tests/support/temp_tree.h"
#include "tests/support/window_harness.h"

// What a user sees of one row.
struct PairRow {
  std::wstring source, destination, itemId, extraText;
  bool checked = false;
  bool operator==(const PairRow&) const = default;
};
void PrintTo(const PairRow& row, std::ostream* out);

class JobWindowTest : public testing::Test {
 protected:
  void SetUp() override;

  UiWindow& ui() { return window_.ui; }
  uint32_t Load(const std::wstring& path, uint32_t* skip = nullptr);
  SettingsSaveResult Save(const std::wstring& path);

  int AddRow(const std::wstring& source, const std::wstring& destination, bool checked);
  void ClearRows();
  int RowCount();
  std::wstring Cell(int row, int column);
  bool RowChecked(int row);
  PairRow Row(int row);

  // Checks one mode button and sets the three boxes.
  void SetMode(int mode, bool update, bool skipSystem, bool skipHidden);
  // The one checked mode button, 0 when none or several are.
  int CheckedMode();
  bool Checked(int control);
  bool Enabled(int control);

  TestWindow window_{700, 560};
  TempTree tree_;
  int list_ = 0;
  ModeButtons modes_;
  OptionBoxes options_;
};

// Keeps a file open for reading with others allowed only to read, so that
// every write into it fails (a read-only attribute does not stop Wine's root).
class WriteBlock {
 public:
  explicit WriteBlock(const std::wstring& path);
  ~WriteBlock();
  WriteBlock(const WriteBlock&) = delete;
  WriteBlock& operator=(const WriteBlock&) = delete;
  bool Holds() const;

 private:
  void* file_;
};

// A file of UTF-16LE text with its byte-order mark.
void WriteUnicodeFile(const std::wstring& path, const std::wstring& text);
// The file's text after its byte-order mark (UTF-16LE files only).
std::wstring FileText(const std::wstring& path);
// Text in the system's 8-bit code page; empty when it cannot hold it.
std::string ToCodePage(const std::wstring& text);
// A value as the profile functions read it, "<absent>" when there is none.
std::wstring ProfileValue(const std::wstring& path, const wchar_t* section, const wchar_t* key);
