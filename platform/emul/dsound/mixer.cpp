#include "mixer.h"

#include "buffer_commands.h"
#include "cursor.h"
#include "decode.h"
#include "gains.h"
#include "objects.h"
#include "resampler.h"
#include "sample_conversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace dsemu {
namespace {

// Output frames mixed at a time: long enough to amortise the set-up of each voice,
// short enough that the scratch stays in the cache.
constexpr size_t kChunk = 1024;

// The gains of the volumes and pans asked for lately: every voice asks for its own and
// its device's every block, which in short blocks costs more than a look here.
class GainsMemo {
public:
  ChannelGains For(LONG volume, LONG pan) {
    const uint32_t key = static_cast<uint32_t>(volume) * 40503u ^ static_cast<uint32_t>(pan);
    Entry& entry = entries_[(key * 2654435761u) >> 26];
    if (entry.volume != volume || entry.pan != pan)
      entry = {volume, pan, GainsFor(volume, pan)};
    return entry.gains;
  }

private:
  static constexpr uint32_t kEntries = 64; // the hash's top 6 bits
  struct Entry {
    LONG volume = 0;
    LONG pan = 0;
    ChannelGains gains = GainsFor(0, 0);
  };
  Entry entries_[kEntries];
};

// Scratch of the one mixer that runs at a time (StateLock() is held).
struct Scratch {
  std::vector<float> mixLeft = std::vector<float>(kChunk);
  std::vector<float> mixRight = std::vector<float>(kChunk);
  std::vector<float> left;
  std::vector<float> right;
  GainsMemo gains;
};

Releasable<Scratch>& HeldScratch() {
  static Releasable<Scratch> scratch;
  return scratch;
}

Scratch& TheScratch() {
  return HeldScratch().Get();
}

ChannelGains DeviceGains(const Device* device, GainsMemo& gains) {
  const Buffer* primary = device->primary;
  if (!primary)
    return {1.0f, 1.0f};
  return gains.For(primary->volume, primary->pan);
}

// Where one chunk of a buffer goes: the chunk's left and right channels.
struct Destination {
  float* left;
  float* right;
};

// The next block of a voice comes after every other voice's: its data, `count` frames
// from frame `next`, is asked for now so that it is in the cache by then.
void Prefetch(const Buffer& buffer, uint64_t next, size_t count) {
  const size_t length = buffer.Frames();
  if (next >= length)
    next = buffer.looping ? next % length : length;
  const size_t ahead = std::min<size_t>(count, length - next) * buffer.format.blockAlign;
  const BYTE* from = buffer.data->bytes.data() + next * buffer.format.blockAlign;
  for (size_t offset = 0; offset < ahead; offset += 64)
    __builtin_prefetch(from + offset, 0, 2);
}

// Mixes `frames` frames of the buffer into `to` from `offset` on.
void MixVoice(Buffer& buffer, size_t offset, size_t frames, Quality quality, ChannelGains gains,
              uint32_t rate, Destination to, Scratch& scratch) {
  const uint64_t sounding = SoundingFrames(buffer, frames);
  if (sounding == 0 || (gains.left == 0.0f && gains.right == 0.0f))
    return;
  const uint32_t frequency = buffer.frequency;
  const Cursor cursor = buffer.cursor;
  const uint64_t lastWhole =
      cursor.frame + (cursor.fraction + uint64_t{frequency} * (sounding - 1)) / rate;

  const Resamplers& resamplers = ChosenResamplers();
  MixFunction mix;
  const SincKernel* kernel = nullptr;
  unsigned before = 0;
  unsigned after = 0;
  if (frequency == rate && cursor.fraction == 0) {
    mix = resamplers.equalRate;
  } else if (quality == Quality::Fast) {
    mix = resamplers.cubic;
    before = kCubicBefore;
    after = kCubicAfter;
  } else {
    mix = resamplers.sinc;
    kernel = &SincKernelFor(frequency, rate);
    before = kernel->half - 1;
    after = kernel->half;
  }

  const int64_t first = int64_t{cursor.frame} - before;
  const size_t count = static_cast<size_t>(lastWhole + after - cursor.frame) + before + 1;
  const BYTE* bytes = buffer.data->bytes.data();
  const size_t length = buffer.Frames();
  const SampleFormat& format = buffer.format;
  const bool stereo = format.channels != 1; // more than two fold to two

  VoiceRun run;
  run.start = before;
  run.fraction = cursor.fraction;
  run.frequency = frequency;
  run.frames = static_cast<size_t>(sounding);
  run.gainLeft = gains.left;
  run.gainRight = gains.right;
  run.rate = rate;
  // 16-bit stereo inside the data, the common case, is read where it lies.
  if (mix == resamplers.cubic && resamplers.cubicStereo16 && format.encoding == Encoding::S16 &&
      format.channels == 2 && first >= 0 && first + count + kRunPadding <= length) {
    run.left = run.right = nullptr;
    resamplers.cubicStereo16(run, bytes + static_cast<size_t>(first) * 4, to.left + offset,
                             to.right + offset);
    Prefetch(buffer, lastWhole + after + 1, count);
    return;
  }
  if (scratch.left.size() < count + kRunPadding)
    scratch.left.resize(count + kRunPadding);
  if (stereo && scratch.right.size() < count + kRunPadding)
    scratch.right.resize(count + kRunPadding);
  DecodeFrames(format, bytes, length, buffer.looping, first, count, scratch.left.data(),
               stereo ? scratch.right.data() : nullptr);
  run.left = scratch.left.data();
  run.right = stereo ? scratch.right.data() : run.left;
  mix(run, kernel, to.left + offset, to.right + offset);
  Prefetch(buffer, lastWhole + after + 1, count);
}

// One chunk of one buffer, from `first` on, split at the frames its commands are due at.
// Without a destination only the cursor moves.
void MixBuffer(Buffer& buffer, uint64_t first, size_t frames, const Destination* to,
               Quality quality, uint32_t rate, Scratch& scratch) {
  for (size_t at = 0;;) {
    const uint64_t next = ApplyCommandsDue(buffer, first + at);
    const size_t until = next - first < frames ? static_cast<size_t>(next - first) : frames;
    if (buffer.device) {
      if (to && to->left && !buffer.primary && buffer.playing) {
        const ChannelGains master = DeviceGains(buffer.device, scratch.gains);
        const ChannelGains own = scratch.gains.For(buffer.volume, buffer.pan);
        MixVoice(buffer, at, until - at, quality,
                 {own.left * master.left, own.right * master.right}, rate, *to, scratch);
      }
      MoveCursor(buffer, until - at);
    }
    if (until == frames)
      return;
    at = until;
  }
}

// The most decoded frames one voice needs for a chunk: a chunk's worth at the fastest
// frequency, and the widest kernel's reach on both sides.
size_t LongestRun(uint32_t rate) {
  const uint64_t frames = (uint64_t{kChunk} * DSBFREQUENCY_MAX + rate - 1) / rate + 1;
  return static_cast<size_t>(frames) + SincKernelTaps(DSBFREQUENCY_MAX, rate) + kRunPadding;
}

} // namespace

void MixLocked(uint64_t firstFrame, size_t frames, MixTarget target, Quality quality) {
  Scratch& scratch = TheScratch();
  const uint32_t rate = OutputRate();
  const FloatBuses* buses = target.buses;
  for (size_t done = 0; done < frames;) {
    const size_t chunk = std::min(kChunk, frames - done);
    if (target.interleaved) {
      std::fill_n(scratch.mixLeft.begin(), chunk, 0.0f);
      std::fill_n(scratch.mixRight.begin(), chunk, 0.0f);
    }
    const Destination mixed{scratch.mixLeft.data(), scratch.mixRight.data()};
    for (auto* list : {&LiveBufferList(), &RetiringBufferList()})
      for (Buffer* buffer : *list) {
        const Destination* to = nullptr;
        Destination bus{};
        if (target.interleaved) {
          to = &mixed;
        } else if (buses) {
          const unsigned b = buses->count == 1 ? 0 : buffer->bus;
          if (b < buses->count && buses->left[b] && buses->right[b]) {
            bus = {buses->left[b] + done, buses->right[b] + done};
            to = &bus;
          }
        }
        MixBuffer(*buffer, firstFrame + done, chunk, to, quality, rate, scratch);
      }
    if (target.interleaved) {
      int16_t* to = target.interleaved + 2 * done;
      for (size_t k = 0; k < chunk; ++k) {
        to[2 * k] = ToSample(scratch.mixLeft[k]);
        to[2 * k + 1] = ToSample(scratch.mixRight[k]);
      }
    }
    done += chunk;
  }
  std::erase_if(RetiringBufferList(), [](Buffer* buffer) {
    if (!buffer->pending.empty())
      return false;
    DestroyBuffer(buffer);
    return true;
  });
}

void ReserveMixScratch() {
  Scratch& scratch = TheScratch();
  scratch.mixLeft.resize(kChunk);
  scratch.mixRight.resize(kChunk);
  const size_t longest = LongestRun(OutputRate());
  scratch.left.reserve(longest);
  scratch.right.reserve(longest);
}

void ReleaseMixScratch() {
  HeldScratch().Release();
}

} // namespace dsemu
