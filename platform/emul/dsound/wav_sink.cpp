#include "wav_sink.h"

#include "device_control.h"
#include "formats.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <sndfile.h>

namespace dsemu {
namespace {

std::mutex sinkLock; // taken after StateLock() is released, never with it
SNDFILE* sink = nullptr;
std::atomic<bool> sinkOpen{false};

} // namespace

bool StartWavCapture(const char* path) {
  if (!path)
    return false;
  SF_INFO info{};
  info.samplerate = OutputRate();
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path, SFM_WRITE, &info);
  if (!file)
    return false;
  std::lock_guard guard(sinkLock);
  if (sink)
    sf_close(sink);
  sink = file;
  sinkOpen = true;
  return true;
}

bool StopWavCapture() {
  std::lock_guard guard(sinkLock);
  if (!sink)
    return true;
  const bool closed = sf_close(sink) == 0;
  sink = nullptr;
  sinkOpen = false;
  return closed;
}

bool WavCaptureOpen() {
  return sinkOpen;
}

void WriteToWavCapture(const int16_t* frames, size_t count) {
  std::lock_guard guard(sinkLock);
  if (sink)
    sf_writef_short(sink, frames, static_cast<sf_count_t>(count));
}

} // namespace dsemu
