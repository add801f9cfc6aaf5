// Sizes of single files and of whole folder trees.
#pragma once

#include <cstdint>

// The size of a file (of a link's target), asked of the file itself; when it
// cannot be opened, the size that its directory entry shows; 0 when missing.
uint64_t QueryFileSize(const wchar_t* path);
// The sum of the file sizes below a folder; links are neither counted nor
// entered. Pending window messages of the calling thread are processed after
// every sub-folder.
uint64_t GetFolderSize(const wchar_t* folder);
