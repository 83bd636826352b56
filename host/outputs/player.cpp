#include "host/outputs/player.h"

#include "host/commands/progress.h"
#include "host/files/interrupt.h"
#include "host/host_error.h"
#include "host/outputs/device_samples.h"

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

PlayStats RenderOffline(za32::KitPlayer& player, const Timeline& timeline, MixSink& out,
                        double progressAfterSeconds) {
  PlayStats stats;
  auto start = Clock::now();
  ProgressBar progress("rendering", timeline.frames,
                       timeline.frames > progressAfterSeconds * timeline.rate);
  std::vector<float> left(kChunkFrames), right(kChunkFrames);
  std::vector<int16_t> mix(kChunkFrames * 2);
  za32::BusBuffers buses;
  buses.left[0] = left.data();
  buses.right[0] = right.data();
  uint64_t now = 0;
  size_t next = 0;
  while (now < timeline.frames) {
    if (Interrupted())
      throw InterruptedError();
    // Everything due at this frame goes to the engines before they mix on.
    bool posted = false;
    while (next < timeline.messages.size() && timeline.messages[next].frame <= now) {
      player.Post(0, {timeline.messages[next].message, timeline.messages[next].lParam});
      ++next;
      posted = true;
    }
    if (posted) {
      player.Render(0, buses);
      stats.maxVoices = std::max<size_t>(stats.maxVoices, player.SoundingVoices());
    }
    uint64_t until = timeline.frames;
    if (next < timeline.messages.size())
      until = std::min(until, timeline.messages[next].frame);
    size_t frames = static_cast<size_t>(std::min<uint64_t>(until - now, kChunkFrames));
    std::fill_n(left.begin(), frames, 0.0f);
    std::fill_n(right.begin(), frames, 0.0f);
    player.Render(static_cast<uint32_t>(frames), buses);
    // The silence cut off below has no part in the peak.
    const int peak = ToDeviceSamples(left.data(), right.data(), frames, mix.data());
    bool rungOut =
        timeline.endWhenSilent && next == timeline.messages.size() && player.SoundingVoices() == 0;
    if (rungOut) // the piece ends with the last frame that sounds
      while (frames > 0 && mix[2 * frames - 1] == 0 && mix[2 * frames - 2] == 0)
        --frames;
    stats.peak = std::max(stats.peak, peak);
    // Only a block that reaches full scale can have clipped: the float mix is looked at
    // for those alone. Past these the device's step has no value left.
    if (peak >= 32767)
      for (size_t i = 0; i < frames; ++i)
        for (float value : {left[i], right[i]}) {
          stats.truePeak = std::max(stats.truePeak, std::fabs(value));
          stats.clipped += value >= 32767.5f / 32768.0f || value < -32768.5f / 32768.0f;
        }
    out.Write({left.data(), right.data(), mix.data(), frames});
    now += frames;
    progress.Update(now);
    if (rungOut)
      break;
  }
  progress.Finish();
  stats.frames = now;
  stats.seconds = Since(start);
  return stats;
}

PlayStats RenderDevice(uint64_t frames, FrameSink& out) {
  PlayStats stats;
  auto start = Clock::now();
  std::vector<int16_t> mix(kChunkFrames * 2);
  while (stats.frames < frames) {
    if (Interrupted())
      throw InterruptedError();
    size_t count = static_cast<size_t>(std::min<uint64_t>(frames - stats.frames, kChunkFrames));
    dsemu::AdvanceFrames(count, mix.data());
    for (size_t i = 0; i < count * 2; ++i)
      stats.peak = std::max(stats.peak, std::abs(int(mix[i])));
    out.Write(std::span<const int16_t>(mix.data(), count * 2));
    stats.frames += count;
  }
  stats.seconds = Since(start);
  return stats;
}

PlayStats PlayLive(LivePlayback& playback, const Timeline& timeline) {
  PlayStats stats;
  auto start = Clock::now();
  ProgressBar progress("playing", timeline.frames, true);
  // The piece starts a little after now, on the output's own clock, so that the first
  // note is not late; each message goes a little ahead of its frame, which it carries,
  // so that the output's callback applies it at that frame whatever the host's timing.
  const uint64_t lead = playback.rate() / 20;
  const uint64_t origin = playback.Frames() + lead;
  // Sleeps in short slices until the output reaches `frame`, keeping the recording and
  // the progress bar going; false when interrupted. With `untilSilent`, only until no
  // voice sounds any more once the last message has acted.
  uint64_t lastDue = origin;
  auto waitFor = [&](uint64_t frame, bool untilSilent = false) {
    uint64_t seen = 0;
    auto moved = Clock::now();
    for (uint64_t now; (now = playback.Frames()) < frame;) {
      if (Interrupted())
        return false;
      if (untilSilent && now > lastDue + playback.period() && playback.SoundingVoices() == 0)
        break;
      if (now != seen) {
        seen = now;
        moved = Clock::now();
      } else if (Clock::now() - moved > std::chrono::seconds(2)) {
        throw HostError("the sound output stopped playing");
      }
      playback.Drain();
      stats.maxVoices = std::max<size_t>(stats.maxVoices, playback.SoundingVoices());
      progress.Update(now > origin ? now - origin : 0);
      const double seconds = double(frame - now) / playback.rate();
      std::this_thread::sleep_for(std::chrono::duration<double>(std::min(seconds, 0.005)));
    }
    return true;
  };
  bool played = true;
  for (const TimedMessage& message : timeline.messages) {
    const uint64_t due = origin + message.frame;
    if (!(played = waitFor(due - lead)))
      break;
    lastDue = due;
    while (!playback.Post(due, {message.message, message.lParam}))
      if (!(played = waitFor(playback.Frames() + playback.period())))
        break;
    if (!played)
      break;
  }
  played = played && waitFor(origin + timeline.frames, timeline.endWhenSilent);
  stats.interrupted = !played;
  playback.AllNotesOff();
  progress.Finish();
  stats.seconds = Since(start);
  const uint64_t now = playback.Frames();
  stats.frames = played && !timeline.endWhenSilent
                     ? timeline.frames
                     : std::min(timeline.frames, now > origin ? now - origin : 0);
  return stats;
}

std::string FormatDuration(uint64_t frames, uint32_t rate) {
  double seconds = double(frames) / rate;
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

std::string FormatLevel(float magnitude) {
  if (magnitude == 0)
    return "silence";
  char text[32];
  std::snprintf(text, sizeof text, "%+.1f dBFS", 20 * std::log10(magnitude));
  return text;
}
