#include "tests/jobfile/job_window.h"

#include <windows.h>

#include <commctrl.h>

#include <ostream>

#include "ui/ui_window.h"

namespace {

constexpr wchar_t kPairTitles[] =
    L"  Backup source folder\n  Destination folder\n  Item ID\n  FTP encrypted info";

}  // namespace

void PrintTo(const PairRow& row, std::ostream* out) {
  auto narrow = [](const std::wstring& text) {
    std::string bytes;
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    bytes.resize(size > 0 ? size - 1 : 0);
    if (size > 1)
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
    return bytes.size() > 80 ? bytes.substr(0, 80) + "..." : bytes;
  };
  *out << "{" << narrow(row.source) << " | " << narrow(row.destination) << " | id "
       << narrow(row.itemId) << " | " << narrow(row.extraText) << " | "
       << (row.checked ? "checked" : "unchecked") << "}";
}

void JobWindowTest::SetUp() {
  list_ = ui().AddListView(kPairTitles, 15, 65, 620, 130);
  modes_.common = ui().AddRadioButton(L"Common", 270, 500);
  modes_.strict = ui().AddRadioButton(L"Strict", 295, 500);
  modes_.restore = ui().AddRadioButton(L"Restore", 320, 500);
  modes_.sync = ui().AddRadioButton(L"Sync", 345, 550);
  options_.updateMethod = ui().AddCheckBox(L"Use update method", 30, 415, 460);
  options_.skipSystem = ui().AddCheckBox(L"Skip copying system files.", 30, 440, 180);
  options_.skipHidden = ui().AddCheckBox(L"Skip copying hidden files.", 280, 440, 180);
  ASSERT_NE(list_, 0);
  ASSERT_NE(options_.skipHidden, 0);
  DrainEvents(ui());
}

uint32_t JobWindowTest::Load(const std::wstring& path, uint32_t* skip) {
  uint32_t flag = LoadSettingsFile(path.c_str(), ui(), list_, modes_, options_, skip);
  DrainEvents(ui());
  return flag;
}

SettingsSaveResult JobWindowTest::Save(const std::wstring& path) {
  return SaveSettingsFile(path.c_str(), ui(), list_, modes_, options_);
}

int JobWindowTest::AddRow(const std::wstring& source, const std::wstring& destination,
                          bool checked) {
  int row = ui().AddListRow(list_, source.c_str());
  ui().SetRowText(list_, row, kDestinationColumn, destination.c_str());
  ui().SetRowChecked(list_, row, checked);
  DrainEvents(ui());
  return row;
}

void JobWindowTest::ClearRows() {
  ui().SendToControl(list_, LVM_DELETEALLITEMS, 0, 0);
  DrainEvents(ui());
}

int JobWindowTest::RowCount() { return ui().ListRowCount(list_); }

std::wstring JobWindowTest::Cell(int row, int column) {
  WideString text = ui().GetRowText(list_, row, column);
  return text.buf ? std::wstring(text.CStr()) : L"<unreadable>";
}

bool JobWindowTest::RowChecked(int row) { return ui().IsRowChecked(list_, row); }

PairRow JobWindowTest::Row(int row) {
  return PairRow{Cell(row, kSourceColumn), Cell(row, kDestinationColumn), Cell(row, kItemIdColumn),
                 Cell(row, kExtraTextColumn), RowChecked(row)};
}

void JobWindowTest::SetMode(int mode, bool update, bool skipSystem, bool skipHidden) {
  for (int button : {modes_.common, modes_.strict, modes_.restore, modes_.sync})
    ui().SetControlState(button, button == mode ? kStateCheck : kStateUncheck);
  ui().SetControlState(options_.updateMethod, update ? kStateCheck : kStateUncheck);
  ui().SetControlState(options_.skipSystem, skipSystem ? kStateCheck : kStateUncheck);
  ui().SetControlState(options_.skipHidden, skipHidden ? kStateCheck : kStateUncheck);
  DrainEvents(ui());
}

int JobWindowTest::CheckedMode() {
  int found = 0, count = 0;
  for (int button : {modes_.common, modes_.strict, modes_.restore, modes_.sync})
    if (Checked(button)) {
      found = button;
      ++count;
    }
  return count == 1 ? found : 0;
}

bool JobWindowTest::Checked(int control) { return ui().IsChecked(control); }

bool JobWindowTest::Enabled(int control) { return IsWindowEnabled(ui().ControlHandle(control)); }

WriteBlock::WriteBlock(const std::wstring& path)
    : file_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr)) {}

WriteBlock::~WriteBlock() {
  if (Holds()) CloseHandle(file_);
}

bool WriteBlock::Holds() const { return file_ != INVALID_HANDLE_VALUE; }

void WriteUnicodeFile(const std::wstring& path, const std::wstring& text) {
  std::string bytes("\xFF\xFE");
  bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_EQ(written, bytes.size());
}

std::wstring FileText(const std::wstring& path) {
  std::string bytes = ReadWholeFile(path);
  if (bytes.size() < 2 || bytes.compare(0, 2, "\xFF\xFE") != 0) return L"<not UTF-16LE>";
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
}

std::string ToCodePage(const std::wstring& text) {
  BOOL usedDefault = FALSE;
  int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(),
                                 static_cast<int>(text.size()), nullptr, 0, nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return {};
  std::string bytes(size, '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()),
                      bytes.data(), size, nullptr, nullptr);
  return bytes;
}

std::wstring ProfileValue(const std::wstring& path, const wchar_t* section, const wchar_t* key) {
  std::wstring value(70000, L'\0');
  DWORD length = GetPrivateProfileStringW(section, key, L"<absent>", value.data(),
                                          static_cast<DWORD>(value.size()), path.c_str());
  value.resize(length);
  return value;
}
