// The device clock, chosen when the first device is initialised and stopped with the
// last: the manual clock moves only when AdvanceFrames asks; a real-time clock mixes one
// period at a time whenever its output (null, SDL or JACK) asks for one, and keeps the
// output frame that buffer commands are stamped with. Each output is one OutputBackend.
#include "clock.h"

#include "device_control.h"
#include "mixer.h"
#include "objects.h"
#include "output_backend.h"
#include "sinc_kernel.h"
#include "wav_sink.h"

#include "platform/emul/control.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace dsemu {
namespace {

using Clock = std::chrono::steady_clock;

std::mutex clockLock; // start and stop; never taken by the mixing itself
unsigned activeDevices = 0;
std::optional<Output> chosenOutput;
std::optional<Output> runningOutput;
unsigned chosenPeriod = 0;
std::atomic<const OutputBackend*> backend{nullptr}; // the real-time output running
std::atomic<int> chosenQuality{-1};
std::atomic<bool> manualRunning{false};
std::atomic<Quality> realTimeQuality{Quality::High};
std::atomic<uint32_t> outputRate{kOutputRate}; // changed only while no device runs

// Where the output stands; written by the mixing, guarded by StateLock().
struct Timing {
  bool realTime = false;
  unsigned period = 0;  // frames of latency a command gets
  size_t lastCount = 0; // frames of the latest fill call
  Clock::time_point lastFill;
  uint32_t lastOutputTime = 0; // the output's own clock at the latest fill, if it has one
  bool outputTimeKnown = false;
} timing;
std::atomic<uint64_t> mixedFrames{0};
std::atomic<uint64_t> lateCommands{0};
std::atomic<unsigned> runningPeriod{0};

std::mutex progressLock;
std::condition_variable progress;

// The manual clock: nothing to open, no thread; AdvanceFrames mixes.
bool OpenManual(FillFunction, void*, unsigned*, unsigned*, std::string*) {
  return true;
}
bool StartManual(std::string*) {
  return true;
}
void StopManual() {}
unsigned ManualHeld() {
  return 0;
}
constexpr OutputBackend kManualOutput{"manual",   false,      OpenManual, StartManual,
                                      StopManual, StopManual, nullptr,    ManualHeld,
                                      nullptr,    nullptr,    nullptr};

Output OutputFromEnvironment() {
  const char* value = std::getenv("ZA32_AUDIO");
  if (!value)
    return Output::Live;
  if (std::strcmp(value, "manual") == 0)
    return Output::Manual;
  if (std::strcmp(value, "null") == 0)
    return Output::Null;
  if (std::strcmp(value, "jack") == 0)
    return Output::Jack;
  return Output::Live;
}

Quality ManualQuality() {
  const int chosen = chosenQuality;
  return chosen < 0 ? Quality::High : static_cast<Quality>(chosen);
}

// The frame being heard: the latest period mixed is playing, this far into it.
uint64_t NowLocked() {
  const uint64_t mixed = mixedFrames;
  if (timing.lastCount == 0)
    return mixed;
  uint64_t into;
  const OutputBackend* running = backend;
  if (running && running->framesIntoPeriod)
    into = running->framesIntoPeriod();
  else
    into = static_cast<uint64_t>(
        std::chrono::duration<double>(Clock::now() - timing.lastFill).count() * OutputRate());
  return mixed - timing.lastCount + std::min<uint64_t>(into, timing.lastCount - 1);
}

// One period of real-time output. High quality is kept while a period takes less than
// half its own length to mix; past that the clock drops to the fast interpolator.
void MixPeriod(int16_t* frames, size_t count) {
  const auto started = Clock::now();
  {
    std::lock_guard guard(StateLock());
    timing.lastFill = started;
    timing.lastCount = count;
    const OutputBackend* running = backend;
    if (running && running->periodStartTime) {
      timing.lastOutputTime = running->periodStartTime();
      timing.outputTimeKnown = true;
    }
    MixLocked(mixedFrames, count, frames, realTimeQuality);
    mixedFrames += count;
  }
  const auto took = Clock::now() - started;
  if (chosenQuality < 0 && took > std::chrono::microseconds(count * 1000000 / OutputRate() / 2))
    realTimeQuality = Quality::Fast;
  WriteToWavCapture(frames, count);
  std::lock_guard guard(progressLock);
  progress.notify_all();
}

// The device mixes 16-bit stereo at 44,100 Hz; the outputs take float, so each period is
// mixed so and handed on, in pieces of the scratch's size.
constexpr size_t kMostPeriodFrames = 8192;
std::vector<int16_t> periodScratch(2 * kMostPeriodFrames);

void FillPeriod(void*, float* const* channels, size_t count) {
  for (size_t done = 0; done < count;) {
    const size_t frames = std::min(count - done, kMostPeriodFrames);
    MixPeriod(periodScratch.data(), frames);
    for (size_t i = 0; i < frames; ++i) {
      channels[0][done + i] = periodScratch[2 * i] / 32768.0f;
      channels[1][done + i] = periodScratch[2 * i + 1] / 32768.0f;
    }
    done += frames;
  }
}

bool WaitForMixed(uint64_t frame, Clock::time_point deadline) {
  std::unique_lock guard(progressLock);
  return progress.wait_until(guard, deadline, [&] { return mixedFrames >= frame; });
}

void StopOutput() {
  // What the output holds is played out before it stops: the last note is not cut.
  if (const unsigned held = backend.load()->framesHeld())
    WaitForMixed(mixedFrames + held, Clock::now() + std::chrono::seconds(1));
  const OutputBackend* stopping = backend;
  stopping->stop();
  {
    std::lock_guard guard(StateLock());
    timing = Timing{};
    backend = nullptr;
  }
  stopping->close();
  runningPeriod = 0;
  manualRunning = false;
}

// A process may end with a device still open: the real-time clock is stopped first, so
// that nothing it uses is destroyed under it.
void StopAtExit() {
  std::lock_guard guard(clockLock);
  if (backend)
    StopOutput();
  runningOutput.reset();
}

const OutputBackend* BackendFor(Output output) {
  switch (output) {
  case Output::Jack:
    return &kJackOutput;
  case Output::Live:
    return &kSdlOutput;
  case Output::Null:
    return &kNullOutput;
  default:
    return &kManualOutput;
  }
}

bool StartBackend(const OutputBackend* chosen, std::string* reason) {
  unsigned period = chosenPeriod ? chosenPeriod : kDefaultPeriodFrames;
  unsigned rate = OutputRate();
  if (!chosen->open(FillPeriod, nullptr, &rate, &period, reason))
    return false;
  if (rate != OutputRate()) {
    *reason = "the " + std::string(chosen->name) + " output runs at " + std::to_string(rate) +
              " Hz; the sound device plays " + std::to_string(OutputRate()) +
              " Hz (start the server with -r " + std::to_string(OutputRate()) + ")";
    chosen->close();
    return false;
  }
  {
    std::lock_guard guard(StateLock());
    timing = Timing{};
    timing.realTime = chosen->realTime;
    timing.period = chosen->realTime ? period : 0;
  }
  backend = chosen;
  runningPeriod = chosen->realTime ? period : 0;
  manualRunning = !chosen->realTime;
  if (chosen->start(reason))
    return true;
  chosen->close();
  backend = nullptr;
  runningPeriod = 0;
  manualRunning = false;
  std::lock_guard guard(StateLock());
  timing = Timing{};
  return false;
}

bool StartOutput(Output output) {
  // Only a real-time clock has a thread to stop at exit; the manual clock registers
  // nothing, so that a private copy of the device, once unloaded, leaves no handler
  // behind for the process's exit.
  if (BackendFor(output)->realTime) {
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit(StopAtExit); });
  }
  mixedFrames = 0;
  lateCommands = 0;
  const int chosen = chosenQuality;
  realTimeQuality = chosen < 0 ? Quality::High : static_cast<Quality>(chosen);
  std::string reason;
  if (StartBackend(BackendFor(output), &reason)) {
    runningOutput = output;
    return true;
  }
  if (output != Output::Live) {
    std::fprintf(stderr, "za32: cannot open the %s output: %s\n", BackendFor(output)->name,
                 reason.c_str());
    return false;
  }
  static std::once_flag told;
  std::call_once(told, [&] {
    std::fprintf(stderr,
                 "za32: no audio output device (%s); sound goes to the null output, paced "
                 "by the wall clock\n",
                 reason.c_str());
  });
  if (!StartBackend(&kNullOutput, &reason))
    return false;
  runningOutput = Output::Null;
  return true;
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

void SelectPeriod(unsigned frames) {
  std::lock_guard guard(clockLock);
  chosenPeriod = frames;
}

unsigned RunningPeriod() {
  return runningPeriod;
}

bool SelectOutputRate(uint32_t rate) {
  std::lock_guard guard(clockLock);
  if (activeDevices != 0 || rate < kMinOutputRate || rate > kMaxOutputRate)
    return false;
  outputRate = rate;
  return true;
}

uint32_t OutputRate() {
  return outputRate.load(std::memory_order_relaxed);
}

void SelectQuality(Quality quality) {
  chosenQuality = static_cast<int>(quality);
  realTimeQuality = quality;
}

bool ClockAcquire() {
  std::lock_guard guard(clockLock);
  if (activeDevices != 0) {
    ++activeDevices;
    return true;
  }
  SincKernelFor(OutputRate(), OutputRate()); // the common kernel, built before any period needs it
  if (!StartOutput(chosenOutput ? *chosenOutput : OutputFromEnvironment()))
    return false;
  ++activeDevices;
  return true;
}

void ClockRelease() {
  std::lock_guard guard(clockLock);
  if (activeDevices == 0 || --activeDevices != 0)
    return;
  if (backend)
    StopOutput();
  runningOutput.reset();
}

std::optional<uint64_t> CommandFrameLocked() {
  if (!timing.realTime)
    return std::nullopt;
  uint64_t stamp;
  if (!emul::DispatchingDueFrame(&stamp))
    stamp = NowLocked();
  uint64_t at = stamp + timing.period;
  if (at < mixedFrames) {
    ++lateCommands;
    at = mixedFrames;
  }
  return at;
}

void WaitUntilMixed(uint64_t frame) {
  {
    std::lock_guard guard(StateLock());
    if (!timing.realTime)
      return;
  }
  WaitForMixed(frame, Clock::now() + std::chrono::seconds(1));
}

bool RunningOutput(Output* output) {
  std::lock_guard guard(clockLock);
  if (output && runningOutput)
    *output = *runningOutput;
  return runningOutput.has_value();
}

uint64_t ClockFrames() {
  return mixedFrames;
}

uint64_t OutputFrameNow() {
  std::lock_guard guard(StateLock());
  return NowLocked();
}

unsigned CommandLatency() {
  std::lock_guard guard(StateLock());
  return timing.period;
}

uint64_t LateCommands() {
  return lateCommands;
}

bool OutputFrameOfJackTime(uint32_t jackFrameTime, uint64_t* frame) {
  std::lock_guard guard(StateLock());
  if (!timing.outputTimeKnown)
    return false;
  // The latest period filled began at lastOutputTime in JACK's frames; the difference
  // is signed so that JACK's 32-bit frame time may wrap.
  const auto offset = static_cast<int32_t>(jackFrameTime - timing.lastOutputTime);
  const int64_t first = static_cast<int64_t>(mixedFrames - timing.lastCount);
  *frame = static_cast<uint64_t>(std::max<int64_t>(0, first + offset));
  return true;
}

bool WaitForFrames(size_t frames, unsigned timeoutMilliseconds) {
  return WaitForMixed(mixedFrames + frames,
                      Clock::now() + std::chrono::milliseconds(timeoutMilliseconds));
}

void AdvanceFramesInto(size_t frames, const FloatBuses& out) {
  std::lock_guard guard(StateLock());
  if (!manualRunning)
    return;
  MixLocked(mixedFrames, frames, MixTarget{nullptr, &out}, ManualQuality());
  mixedFrames += frames;
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
    MixLocked(mixedFrames, frames, into, ManualQuality());
    mixedFrames += frames;
  }
  if (capture)
    WriteToWavCapture(into, frames);
}

} // namespace dsemu
