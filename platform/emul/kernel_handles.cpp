#include "kernel_handles.h"

#include <atomic>

namespace emul {

// Values are never reused, so a stale handle can never reach a later object.
HANDLE NewKernelHandle() {
  static std::atomic<uintptr_t> next{0x100};
  return reinterpret_cast<HANDLE>(next.fetch_add(4));
}

} // namespace emul
