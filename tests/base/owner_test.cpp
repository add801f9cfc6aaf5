// The owner template, and buffers sized by the call that fills them.
#include "base/owner.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/module_path.h"
#include "base/sized_buffer.h"

namespace {

bool IsOpenHandle(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

HandleHolder NewEvent() { return HandleHolder(CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

}  // namespace

TEST(Owner, MovesOwnershipAndClosesOnlyOnce) {
  HandleHolder first = NewEvent();  // handed out by a function
  ASSERT_TRUE(first.Valid());
  const HANDLE handle = first.Get();
  HandleHolder second(std::move(first));
  EXPECT_FALSE(first.Valid());
  EXPECT_EQ(first.Get(), INVALID_HANDLE_VALUE) << "kernel handles store -1 for none";
  EXPECT_EQ(second.Get(), handle);
  HandleHolder third;
  third = std::move(second);
  EXPECT_TRUE(IsOpenHandle(handle));
  third.Reset();
  EXPECT_FALSE(IsOpenHandle(handle));
}

TEST(Owner, OutParameterReleasesWhatWasHeldAndNoneValuesAreNone) {
  HandleHolder holder = NewEvent();
  const HANDLE before = holder.Get();
  HANDLE* out = holder.Out();
  EXPECT_FALSE(IsOpenHandle(before)) << "released before the call writes a new one";
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), out,
                              0, FALSE, DUPLICATE_SAME_ACCESS));
  EXPECT_TRUE(holder.Valid());
  holder.Reset(nullptr);
  EXPECT_FALSE(holder.Valid());
  using NullOnly = Owner<HMENU, DestroyMenu>;
  NullOnly menu(CreatePopupMenu());
  EXPECT_TRUE(menu.Valid());
  HMENU given = menu.Release();
  EXPECT_FALSE(menu.Valid());
  EXPECT_EQ(menu.Get(), nullptr);
  EXPECT_TRUE(IsMenu(given)) << "given away, not destroyed";
  DestroyMenu(given);
}

TEST(FillSizedBuffer, ExactFitTakesOneCallLongerGrowsToTheReportedSize) {
  std::vector<wchar_t> buffer;
  int calls = 0;
  auto fill = [&](const std::wstring& text) {
    return [&calls, text](wchar_t* data, size_t room) {
      ++calls;
      if (text.size() + 1 > room) return text.size() + 1;
      std::copy(text.begin(), text.end(), data);
      data[text.size()] = 0;
      return text.size() + 1;
    };
  };
  EXPECT_TRUE(FillSizedBuffer(buffer, 8, fill(L"1234567")));
  EXPECT_EQ(calls, 1) << "exactly the first size";
  EXPECT_STREQ(buffer.data(), L"1234567");
  calls = 0;
  const std::wstring longer(5000, L'x');
  EXPECT_TRUE(FillSizedBuffer(buffer, 8, fill(longer)));
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(std::wstring(buffer.data()), longer);
  EXPECT_FALSE(FillSizedBuffer(buffer, 8, [](wchar_t*, size_t) { return size_t{0}; }))
      << "a failed call is a failure";
}

TEST(ModulePath, IsTheWholePathOfTheProgram) {
  WideString path = ModulePath();
  ASSERT_NE(path.buf, nullptr);
  wchar_t expected[4096];
  ASSERT_GT(GetModuleFileNameW(nullptr, expected, 4096), 0u);
  EXPECT_STREQ(path.CStr(), expected);
}
