// The per-thread record of the latest throw (internal to the foundation).
//
// Thread-safety: each thread sees its own record.
#pragma once

namespace zun {

struct ThrowRecord {
  static constexpr int kMaxFrames = 48;
  void* frames[kMaxFrames] = {};
  int count = 0;
};

// This thread's record; count is 0 when nothing was recorded.
ThrowRecord& UltimaExcecao();

}  // namespace zun
