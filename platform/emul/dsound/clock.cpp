// The device clock: chosen once the first device is initialised, stopped with the last.
// The manual clock moves only when a test or an offline render asks.
#include "clock.h"
#include "cursor.h"
#include "device_control.h"
#include "objects.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace dsemu {
namespace {

std::mutex clockLock; // taken before StateLock(), never after
unsigned activeDevices = 0;
std::optional<Output> chosenOutput;
std::atomic<bool> manualRunning{false};

Output OutputFromEnvironment() {
  const char* value = std::getenv("ZA32_AUDIO");
  if (value && std::strcmp(value, "manual") == 0)
    return Output::Manual;
  if (value && std::strcmp(value, "null") == 0)
    return Output::Null;
  return Output::Live;
}

} // namespace

void SelectOutput(Output output) {
  std::lock_guard guard(clockLock);
  chosenOutput = output;
}

Output SelectedOutput() {
  std::lock_guard guard(clockLock);
  return chosenOutput ? *chosenOutput : OutputFromEnvironment();
}

void ClockAcquire() {
  std::lock_guard guard(clockLock);
  if (activeDevices++ != 0)
    return;
  const Output output = chosenOutput ? *chosenOutput : OutputFromEnvironment();
  manualRunning = output == Output::Manual;
}

void ClockRelease() {
  std::lock_guard guard(clockLock);
  if (activeDevices == 0 || --activeDevices != 0)
    return;
  manualRunning = false;
}

void AdvanceFrames(size_t frames, int16_t* out) {
  if (out)
    std::fill(out, out + 2 * frames, int16_t{0});
  std::lock_guard guard(StateLock());
  if (!manualRunning)
    return;
  for (Buffer* buffer : LiveBufferList())
    if (buffer->device)
      MoveCursor(*buffer, frames);
}

} // namespace dsemu

namespace dsemu {
namespace {
std::atomic<int> chosenQuality{-1};
} // namespace

void SelectQuality(Quality quality) {
  chosenQuality = static_cast<int>(quality);
}

} // namespace dsemu
