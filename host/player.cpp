#include "player.h"

#include "interrupt.h"
#include "progress.h"

#include "platform/emul/dsound/device_control.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kChunkFrames = 4096;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

PlayStats RenderOffline(EngineSession& engine, const Timeline& timeline, FrameSink& out,
                        double progressAfterSeconds) {
  PlayStats stats;
  auto start = Clock::now();
  ProgressBar progress("rendering", timeline.frames,
                       timeline.frames > progressAfterSeconds * kOutputRate);
  std::vector<int16_t> mix(kChunkFrames * 2);
  uint64_t now = 0;
  size_t next = 0;
  while (now < timeline.frames) {
    if (Interrupted())
      throw InterruptedError();
    // Everything due at this frame goes to the engine before the device mixes on.
    bool posted = false;
    while (next < timeline.messages.size() && timeline.messages[next].frame <= now) {
      engine.Post(timeline.messages[next].message, timeline.messages[next].lParam);
      ++next;
      posted = true;
    }
    if (posted) {
      engine.Pump();
      stats.maxVoices = std::max(stats.maxVoices, SoundingVoices());
    }
    uint64_t until = timeline.frames;
    if (next < timeline.messages.size())
      until = std::min(until, timeline.messages[next].frame);
    size_t frames = static_cast<size_t>(std::min<uint64_t>(until - now, kChunkFrames));
    dsemu::AdvanceFrames(frames, mix.data());
    for (size_t i = 0; i < frames * 2; ++i)
      stats.peak = std::max(stats.peak, std::abs(int(mix[i])));
    out.Write(std::span<const int16_t>(mix.data(), frames * 2));
    now += frames;
    progress.Update(now);
  }
  progress.Finish();
  stats.frames = now;
  stats.seconds = Since(start);
  return stats;
}

PlayStats PlayLive(EngineSession& engine, const Timeline& timeline) {
  PlayStats stats;
  auto start = Clock::now();
  ProgressBar progress("playing", timeline.frames, true);
  auto due = [&](uint64_t frame) {
    return start + std::chrono::duration_cast<Clock::duration>(
                       std::chrono::duration<double>(double(frame) / kOutputRate));
  };
  size_t next = 0;
  for (;;) {
    uint64_t target =
        next < timeline.messages.size() ? timeline.messages[next].frame : timeline.frames;
    // Sleep in short slices, keeping the message loop and the progress bar going.
    while (Clock::now() < due(target) && !Interrupted()) {
      engine.Pump();
      double elapsed = Since(start);
      progress.Update(static_cast<uint64_t>(elapsed * kOutputRate));
      std::this_thread::sleep_until(
          std::min(due(target), Clock::now() + std::chrono::milliseconds(10)));
    }
    if (Interrupted()) {
      stats.interrupted = true;
      break;
    }
    if (next >= timeline.messages.size())
      break;
    while (next < timeline.messages.size() && timeline.messages[next].frame <= target) {
      engine.Post(timeline.messages[next].message, timeline.messages[next].lParam);
      ++next;
    }
    engine.Pump();
    stats.maxVoices = std::max(stats.maxVoices, SoundingVoices());
  }
  AllNotesOff(0);
  progress.Finish();
  stats.seconds = Since(start);
  stats.frames = stats.interrupted
                     ? std::min<uint64_t>(timeline.frames, uint64_t(stats.seconds * kOutputRate))
                     : timeline.frames;
  return stats;
}

std::string FormatDuration(uint64_t frames) {
  double seconds = double(frames) / kOutputRate;
  int minutes = static_cast<int>(seconds / 60);
  char text[32];
  std::snprintf(text, sizeof text, "%d:%04.1f", minutes, seconds - minutes * 60);
  return text;
}

std::string FormatPeak(int peak) {
  if (peak == 0)
    return "silence";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f dBFS", 20 * std::log10(peak / 32768.0));
  return text;
}
