#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/file_object.h"
#include "engine/file_size.h"
#include "engine/find_handle.h"
#include "engine/handle_holder.h"
#include "tests/support/temp_tree.h"

namespace {

std::vector<std::wstring> Listed(const std::wstring& folder, int filter) {
  std::vector<std::wstring> names;
  FindHandle find(filter);
  std::wstring pattern = LongForm(folder) + L"\\*";
  if (FirstEntry(find, pattern.c_str())) {
    do names.push_back(find.Name());
    while (NextEntry(find));
  }
  EXPECT_EQ(find.search, INVALID_HANDLE_VALUE) << "the search ends with the entries";
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadAll(FileObject& file) {
  std::string text;
  char chunk[64];
  DWORD got = 0;
  while (ReadFromFile(file, chunk, sizeof(chunk), &got) && got) text.append(chunk, got);
  return text;
}

bool IsOpenHandle(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

}  // namespace

TEST(HandleHolder, StoresNullAsNoHandleAndClosesWhatItReplaces) {
  HandleHolder holder(nullptr);
  EXPECT_EQ(holder.Get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(holder.Valid());

  HANDLE first = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE second = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  holder.Reset(first);
  holder.Reset(first);  // the same handle again stays open
  EXPECT_TRUE(IsOpenHandle(first));
  holder.Reset(second);
  EXPECT_FALSE(IsOpenHandle(first));
  HANDLE kept = holder.Release();
  EXPECT_EQ(kept, second);
  EXPECT_FALSE(holder.Valid());
  EXPECT_TRUE(IsOpenHandle(second));
  CloseHandle(second);
}

TEST(FindHandle, FilterModesAndNoDotEntries) {
  TempTree tree;
  tree.WriteFile(L"a.txt", "a");
  tree.WriteFile(L"b.txt", "bb");
  tree.MakeFolder(L"sub");
  std::wstring root = tree.Root();
  EXPECT_EQ(Listed(root, kFindEverything), (std::vector<std::wstring>{L"a.txt", L"b.txt", L"sub"}));
  EXPECT_EQ(Listed(root, kFindFilesOnly), (std::vector<std::wstring>{L"a.txt", L"b.txt"}));
  EXPECT_EQ(Listed(root, kFindFoldersOnly), (std::vector<std::wstring>{L"sub"}));
  EXPECT_EQ(Listed(root, kFindSkipLinks), (std::vector<std::wstring>{L"a.txt", L"b.txt", L"sub"}));
  EXPECT_TRUE(Listed(tree.Path(L"sub"), kFindEverything).empty());
}

TEST(FindHandle, SkipLinksModeLeavesOutHostFolderLinks) {
  TempTree tree;
  tree.MakeFolder(L"real");
  std::string whyNot = MakeHostFolderLink(tree.Path(L"up"), tree.Root());
  if (!whyNot.empty()) GTEST_SKIP() << whyNot;
  EXPECT_EQ(Listed(tree.Root(), kFindSkipLinks), (std::vector<std::wstring>{L"real"}));
  EXPECT_EQ(Listed(tree.Root(), kFindEverything), (std::vector<std::wstring>{L"real", L"up"}));
}

TEST(FindHandle, MissingFolderReportsWhy) {
  TempTree tree;
  FindHandle find;
  std::wstring pattern = tree.Path(L"missing\\*");
  EXPECT_FALSE(FirstEntry(find, pattern.c_str()));
  EXPECT_EQ(find.lastError, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(find.search, INVALID_HANDLE_VALUE);
}

TEST(ReparseTags, OnlyDataBearingTagsAreNotLinks) {
  const DWORD reparse = FILE_ATTRIBUTE_REPARSE_POINT;
  EXPECT_TRUE(IsLinkEntry(reparse, 0)) << "host links appear with tag 0";
  EXPECT_TRUE(IsLinkEntry(reparse | FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_MOUNT_POINT));
  EXPECT_TRUE(IsLinkEntry(reparse, IO_REPARSE_TAG_SYMLINK));
  EXPECT_TRUE(IsLinkEntry(reparse, 0x80000099)) << "unknown tags stay links";
  EXPECT_FALSE(IsLinkEntry(reparse, IO_REPARSE_TAG_DEDUP));
  EXPECT_FALSE(IsLinkEntry(reparse, IO_REPARSE_TAG_WOF));
  EXPECT_FALSE(IsLinkEntry(reparse, IO_REPARSE_TAG_HSM));
  EXPECT_FALSE(IsLinkEntry(reparse, IO_REPARSE_TAG_HSM2));
  EXPECT_FALSE(IsLinkEntry(reparse | FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_CLOUD));
  EXPECT_FALSE(IsLinkEntry(reparse, IO_REPARSE_TAG_CLOUD_3));
  EXPECT_FALSE(IsLinkEntry(reparse, IO_REPARSE_TAG_CLOUD_F));
  EXPECT_FALSE(IsLinkEntry(FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_SYMLINK))
      << "without the attribute the tag word means nothing";
}

TEST(FileObject, TruncatingUtf16OpenLeavesJustTheMark) {
  TempTree tree;
  tree.WriteFile(L"old.ini", "previous contents");
  for (const wchar_t* name : {L"old.ini", L"new.ini"}) {
    FileObject file;
    ASSERT_NE(OpenFile(file, tree.Path(name).c_str(), kFileTruncate | kFileUtf16Le, 0), nullptr);
    CloseFile(file);
    EXPECT_EQ(ReadWholeFile(tree.Path(name)), std::string("\xFF\xFE", 2));
  }
}

TEST(FileObject, ReadingStartsAfterTheMarkAndTakesItsEncoding) {
  TempTree tree;
  tree.WriteFile(L"utf8.txt", "\xEF\xBB\xBFhello");
  tree.WriteFile(L"le.txt", std::string("\xFF\xFEh\0", 4));
  tree.WriteFile(L"be.txt", std::string("\xFE\xFF\0h", 4));
  tree.WriteFile(L"plain.txt", "hello");
  FileObject file;
  ASSERT_NE(OpenFile(file, tree.Path(L"utf8.txt").c_str(), 0, 0), nullptr);
  EXPECT_EQ(file.mode & kFileEncodingBits, static_cast<uint32_t>(kFileUtf8));
  EXPECT_EQ(ReadAll(file), "hello");
  ASSERT_NE(OpenFile(file, tree.Path(L"le.txt").c_str(), kFileUtf8, 0), nullptr);
  EXPECT_EQ(file.mode & kFileEncodingBits, static_cast<uint32_t>(kFileUtf16Le))
      << "the mark wins over the mode asked for";
  EXPECT_EQ(ReadAll(file), std::string("h\0", 2));
  ASSERT_NE(OpenFile(file, tree.Path(L"be.txt").c_str(), 0, 0), nullptr);
  EXPECT_EQ(file.mode & kFileEncodingBits, static_cast<uint32_t>(kFileUtf16Be));
  EXPECT_EQ(ReadAll(file), std::string("\0h", 2));
  ASSERT_NE(OpenFile(file, tree.Path(L"plain.txt").c_str(), 0, 0), nullptr);
  EXPECT_EQ(file.mode & kFileEncodingBits, 0u);
  EXPECT_EQ(ReadAll(file), "hello");
}

TEST(FileObject, RawModeLeavesTheMarkAlone) {
  TempTree tree;
  tree.WriteFile(L"utf8.txt", "\xEF\xBB\xBFhi");
  FileObject file;
  ASSERT_NE(OpenFile(file, tree.Path(L"utf8.txt").c_str(), kFileRaw, 0), nullptr);
  EXPECT_EQ(file.mode, static_cast<uint32_t>(kFileRaw));
  EXPECT_EQ(ReadAll(file), "\xEF\xBB\xBFhi");
}

TEST(FileObject, AppendingWritesAtTheEndAndMarksNewFiles) {
  TempTree tree;
  tree.WriteFile(L"log.txt", "\xEF\xBB\xBFone");
  FileObject file;
  ASSERT_NE(OpenFile(file, tree.Path(L"log.txt").c_str(), kFileAppend, 0), nullptr);
  DWORD written = 0;
  ASSERT_TRUE(WriteToFile(file, "two", 3, &written));
  CloseFile(file);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"log.txt")), "\xEF\xBB\xBFonetwo");

  ASSERT_NE(OpenFile(file, tree.Path(L"fresh.txt").c_str(), kFileAppend | kFileUtf8, 0), nullptr);
  ASSERT_TRUE(WriteToFile(file, "x", 1, &written));
  CloseFile(file);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"fresh.txt")), "\xEF\xBB\xBFx");
}

TEST(FileObject, CreatesMissingParentFolders) {
  TempTree tree;
  std::wstring path = tree.Path(L"one\\two\\file.bin");
  FileObject file;
  EXPECT_EQ(OpenFile(file, path.c_str(), kFileTruncate | kFileRaw, 0), nullptr)
      << "without the bit the folders stay missing";
  ASSERT_NE(OpenFile(file, path.c_str(), kFileTruncate | kFileRaw | kFileCreateParents, 0),
            nullptr);
  CloseFile(file);
  EXPECT_TRUE(IsFile(path));
}

TEST(FileObject, ExclusiveModeKeepsOthersOut) {
  TempTree tree;
  tree.WriteFile(L"f.bin", "data");
  std::wstring path = tree.Path(L"f.bin");
  FileObject file;
  ASSERT_NE(OpenFile(file, path.c_str(), kFileRaw, 0), nullptr);
  HandleHolder reader(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(reader.Valid()) << "shared for reading";
  reader.Close();
  ASSERT_NE(OpenFile(file, path.c_str(), kFileAppend | kFileExclusive | kFileRaw, 0), nullptr);
  reader.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(reader.Valid());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST(FileObject, CreateNewNeverTouchesAnExistingFile) {
  TempTree tree;
  tree.WriteFile(L"taken.bin", "keep me");
  FileObject file;
  EXPECT_EQ(
      OpenFile(file, tree.Path(L"taken.bin").c_str(), kFileTruncate | kFileCreateNew | kFileRaw, 0),
      nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(ReadWholeFile(tree.Path(L"taken.bin")), "keep me");
}

TEST(FileObject, SeekingAndClosing) {
  TempTree tree;
  tree.WriteFile(L"f.bin", "0123456789");
  FileObject file;
  EXPECT_EQ(SeekFile(file, 3, FILE_BEGIN), 0u) << "closed";
  EXPECT_EQ(OpenFile(file, tree.Path(L"missing.bin").c_str(), kFileRaw, 0), nullptr);
  EXPECT_EQ(file.handle, INVALID_HANDLE_VALUE);
  ASSERT_NE(OpenFile(file, tree.Path(L"f.bin").c_str(), kFileRaw, 0), nullptr);
  EXPECT_EQ(SeekFromStart(file, 4), 4u);
  EXPECT_EQ(SeekFile(file, 2, FILE_CURRENT), 6u);
  EXPECT_EQ(ReadAll(file), "6789");
  EXPECT_EQ(SeekFile(file, -1, FILE_END), 9u);
  CloseFile(file);
  EXPECT_EQ(file.mode, 0u);
  EXPECT_EQ(file.handle, INVALID_HANDLE_VALUE);
  DWORD got = 0;
  char c;
  EXPECT_FALSE(ReadFromFile(file, &c, 1, &got));
}

TEST(QueryFileSize, AsksTheFileAndFallsBackToTheListing) {
  TempTree tree;
  tree.WriteFileOfSize(L"f.bin", 300000, 1);
  EXPECT_EQ(QueryFileSize(tree.Path(L"f.bin").c_str()), 300000u);
  EXPECT_EQ(QueryFileSize(tree.Path(L"missing.bin").c_str()), 0u);
  // A name that cannot be opened still has a directory entry to read.
  EXPECT_EQ(QueryFileSize(tree.Path(L"f.b?n").c_str()), 300000u);
}

TEST(GetFolderSize, SumsTheTreeAndSkipsLinks) {
  TempTree tree;
  tree.WriteFileOfSize(L"a.bin", 1000, 1);
  tree.WriteFileOfSize(L"sub\\b.bin", 2000, 2);
  tree.WriteFileOfSize(L"sub\\deeper\\c.bin", 3000, 3);
  tree.MakeFolder(L"empty");
  std::string whyNot = MakeHostFolderLink(tree.Path(L"sub\\up"), tree.Root());
  EXPECT_EQ(GetFolderSize(tree.Root().c_str()), 6000u);
  EXPECT_EQ(GetFolderSize(LongForm(tree.Root() + L"\\").c_str()), 6000u);
  EXPECT_EQ(GetFolderSize(tree.Path(L"missing").c_str()), 0u);
  if (!whyNot.empty()) GTEST_SKIP() << "the link part: " << whyNot;
}
