#include "base/module_path.h"

#include <vector>

#include "base/sized_buffer.h"

namespace {

constexpr size_t kFirstPathLength = MAX_PATH;

}  // namespace

WideString ModulePath(HMODULE module) {
  std::vector<wchar_t> path;
  const bool read = FillSizedBuffer(path, kFirstPathLength, [module](wchar_t* data, size_t room) {
    const DWORD copied = GetModuleFileNameW(module, data, static_cast<DWORD>(room));
    if (copied == 0) return size_t{0};
    // A path that fills the whole buffer may have been cut: ask for more.
    return copied < room ? size_t{copied} + 1 : room * 2;
  });
  WideString result;
  if (read) result.Assign(path.data());
  return result;
}
