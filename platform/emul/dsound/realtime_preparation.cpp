// Getting the device ready to mix in real time without allocating, and giving back what
// that kept once a private copy of the device is done with.
#include "device_control.h"
#include "gains.h"
#include "mixer.h"
#include "objects.h"
#include "sinc_kernel.h"

#include <algorithm>

namespace dsemu {

void PrepareForRealTime(unsigned voices, DWORD lowest, DWORD highest) {
  {
    std::lock_guard guard(StateLock());
    FillBufferPool(voices);
    ReserveMixScratch();
    // Buffers let go while playing wait there for the mixer.
    auto& retiring = RetiringBufferList();
    retiring.reserve(std::max<size_t>(retiring.capacity(), 2 * size_t(voices) + 64));
  }
  LevelToAmplitude(-1); // the table of levels
  // One kernel for every step of the grid between the two frequencies.
  const uint32_t rate = OutputRate();
  lowest = std::max<DWORD>(lowest, DSBFREQUENCY_MIN);
  highest = std::min<DWORD>(highest, DSBFREQUENCY_MAX);
  SincKernelFor(lowest, rate);
  for (double frequency = std::max<double>(lowest, rate); frequency < highest; frequency *= 1.01)
    SincKernelFor(static_cast<DWORD>(frequency), rate);
  SincKernelFor(highest, rate);
}

void ReleaseRealTimeMemory() {
  std::lock_guard guard(StateLock());
  if (!LiveDeviceList().empty())
    return;
  EmptyBufferPool();
  ReleaseMixScratch();
  ReleaseSincKernels();
  // Lost buffers a caller still holds stay listed.
  ReleaseObjectLists();
}

} // namespace dsemu
