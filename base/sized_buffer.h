// Buffers sized by the call that fills them: call with a first guess, learn
// the size the system reports, grow and call again. A fixed size is never a
// silent limit.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

// fill(data, capacity) makes the call with a buffer of capacity elements and
// answers how many elements the complete result needs: at most capacity when
// it fit, more to have the buffer grown to that and the call made again, 0
// when the call failed. True when a complete result is in the buffer.
template <typename T, typename Fill>
bool FillSizedBuffer(std::vector<T>& buffer, size_t firstCapacity, Fill fill) {
  buffer.resize(std::max<size_t>({firstCapacity, buffer.size(), 1}));
  // The needed size may change between calls (a process list grows); a few
  // rounds settle it, a call that keeps asking for more is a failure.
  for (int round = 0; round < 16; ++round) {
    const size_t needed = fill(buffer.data(), buffer.size());
    if (needed == 0) return false;
    if (needed <= buffer.size()) return true;
    buffer.resize(needed);
  }
  return false;
}
