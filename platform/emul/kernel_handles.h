// Handle values for the emulation's kernel objects (open files, directory searches):
// small multiples of four as Windows gives them, never null and never
// INVALID_HANDLE_VALUE, and never the same for two live objects of any kind.
#pragma once

#include "wintypes.h"

namespace emul {

HANDLE NewKernelHandle();

} // namespace emul
