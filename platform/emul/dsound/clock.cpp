// The device clock, chosen when the first device is initialised and stopped with the
// last: the manual clock moves only when AdvanceFrames asks; the real-time clocks mix
// one period at a time on their own thread, for the system's audio output or, where
// there is none, for nothing, paced by the wall clock.
#include "clock.h"

#include "cursor.h"
#include "device_control.h"
#include "live_output.h"
#include "mixer.h"
#include "objects.h"
#include "sinc_kernel.h"
#include "wav_sink.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

namespace dsemu {
namespace {

using Clock = std::chrono::steady_clock;

std::mutex clockLock; // start and stop; never taken by the mixing itself
unsigned activeDevices = 0;
std::optional<Output> chosenOutput;
std::optional<Output> runningOutput;
std::atomic<int> chosenQuality{-1};
std::atomic<bool> manualRunning{false};

// Real time.
std::thread nullThread;
bool stopping = false; // guarded by progressLock
std::atomic<Quality> realTimeQuality{Quality::High};
std::atomic<uint64_t> clockFrames{0};
std::mutex progressLock;
std::condition_variable progress;

Output OutputFromEnvironment() {
  const char* value = std::getenv("ZA32_AUDIO");
  if (value && std::strcmp(value, "manual") == 0)
    return Output::Manual;
  if (value && std::strcmp(value, "null") == 0)
    return Output::Null;
  return Output::Live;
}

Quality ManualQuality() {
  const int chosen = chosenQuality;
  return chosen < 0 ? Quality::High : static_cast<Quality>(chosen);
}

// One period of real-time output. High quality is kept while a period takes less than
// half its own length to mix; past that the clock drops to the fast interpolator.
void MixPeriod(int16_t* frames, size_t count) {
  const auto started = Clock::now();
  {
    std::lock_guard guard(StateLock());
    MixLocked(count, frames, realTimeQuality);
  }
  const auto took = Clock::now() - started;
  if (chosenQuality < 0 && took > std::chrono::microseconds(count * 1000000 / kOutputRate / 2))
    realTimeQuality = Quality::Fast;
  WriteToWavCapture(frames, count);
  clockFrames += count;
  std::lock_guard guard(progressLock);
  progress.notify_all();
}

void NullLoop() {
  std::vector<int16_t> frames(2 * kPeriodFrames);
  const auto period = std::chrono::duration<double>(double(kPeriodFrames) / kOutputRate);
  const auto started = Clock::now();
  for (uint64_t periods = 1;; ++periods) {
    const auto due =
        started + std::chrono::duration_cast<Clock::duration>(period * double(periods));
    {
      std::unique_lock guard(progressLock);
      if (progress.wait_until(guard, due, [] { return stopping; }))
        return;
    }
    MixPeriod(frames.data(), kPeriodFrames);
  }
}

void StopRealTime();

// A process may end with a device still open: the real-time clock is stopped first, so
// that nothing it uses is destroyed under it.
void StopAtExit() {
  std::lock_guard guard(clockLock);
  if (runningOutput && *runningOutput != Output::Manual)
    StopRealTime();
  runningOutput.reset();
}

void StartRealTime(Output output) {
  static std::once_flag registered;
  std::call_once(registered, [] { std::atexit(StopAtExit); });
  clockFrames = 0;
  const int chosen = chosenQuality;
  realTimeQuality = chosen < 0 ? Quality::High : static_cast<Quality>(chosen);
  if (output == Output::Live) {
    std::string reason;
    if (OpenLiveOutput(MixPeriod, &reason)) {
      runningOutput = Output::Live;
      return;
    }
    static std::once_flag told;
    std::call_once(told, [&] {
      std::fprintf(stderr,
                   "za32: no audio output device (%s); sound goes to the null output, paced "
                   "by the wall clock\n",
                   reason.c_str());
    });
  }
  runningOutput = Output::Null;
  {
    std::lock_guard guard(progressLock);
    stopping = false;
  }
  nullThread = std::thread(NullLoop);
}

void StopRealTime() {
  if (runningOutput == Output::Live) {
    CloseLiveOutput();
  } else {
    {
      std::lock_guard guard(progressLock);
      stopping = true;
      progress.notify_all();
    }
    nullThread.join();
  }
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

void SelectQuality(Quality quality) {
  chosenQuality = static_cast<int>(quality);
  realTimeQuality = quality;
}

void ClockAcquire() {
  std::lock_guard guard(clockLock);
  if (activeDevices++ != 0)
    return;
  SincKernelFor(kOutputRate); // the common kernel, built before any period needs it
  const Output output = chosenOutput ? *chosenOutput : OutputFromEnvironment();
  if (output == Output::Manual) {
    runningOutput = Output::Manual;
    clockFrames = 0;
    manualRunning = true;
    return;
  }
  StartRealTime(output);
}

void ClockRelease() {
  std::lock_guard guard(clockLock);
  if (activeDevices == 0 || --activeDevices != 0)
    return;
  if (runningOutput && *runningOutput != Output::Manual)
    StopRealTime();
  manualRunning = false;
  runningOutput.reset();
}

bool RunningOutput(Output* output) {
  std::lock_guard guard(clockLock);
  if (output && runningOutput)
    *output = *runningOutput;
  return runningOutput.has_value();
}

uint64_t ClockFrames() {
  return clockFrames;
}

bool WaitForFrames(size_t frames, unsigned timeoutMilliseconds) {
  const uint64_t target = clockFrames + frames;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  std::unique_lock guard(progressLock);
  return progress.wait_until(guard, deadline, [&] { return clockFrames >= target; });
}

void AdvanceFrames(size_t frames, int16_t* out) {
  const bool capture = WavCaptureOpen();
  std::vector<int16_t> captured;
  int16_t* into = out;
  if (!out && capture) {
    captured.resize(2 * frames);
    into = captured.data();
  }
  {
    std::lock_guard guard(StateLock());
    if (!manualRunning) {
      if (out)
        std::fill(out, out + 2 * frames, int16_t{0});
      return;
    }
    MixLocked(frames, into, ManualQuality());
  }
  clockFrames += frames;
  if (capture)
    WriteToWavCapture(into, frames);
}

} // namespace dsemu
