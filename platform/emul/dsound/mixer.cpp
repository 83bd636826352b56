#include "mixer.h"

#include "buffer_commands.h"
#include "cursor.h"
#include "decode.h"
#include "gains.h"
#include "objects.h"
#include "resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace dsemu {
namespace {

// Output frames mixed at a time: long enough to amortise the set-up of each voice,
// short enough that the scratch stays in the cache.
constexpr size_t kChunk = 1024;

// Scratch of the one mixer that runs at a time (StateLock() is held).
struct Scratch {
  std::vector<float> mixLeft = std::vector<float>(kChunk);
  std::vector<float> mixRight = std::vector<float>(kChunk);
  std::vector<float> left;
  std::vector<float> right;
};

Scratch& TheScratch() {
  static auto* scratch = new Scratch; // never destroyed, like the state it mixes
  return *scratch;
}

ChannelGains DeviceGains(const Device* device) {
  const Buffer* primary = device->primary;
  if (!primary)
    return {1.0f, 1.0f};
  return GainsFor(primary->volume, primary->pan);
}

// Mixes `frames` frames of the buffer into the scratch mix from `offset` on.
void MixVoice(Buffer& buffer, size_t offset, size_t frames, Quality quality, ChannelGains gains,
              Scratch& scratch) {
  const uint64_t sounding = SoundingFrames(buffer, frames);
  if (sounding == 0 || (gains.left == 0.0f && gains.right == 0.0f))
    return;
  const uint32_t frequency = buffer.frequency;
  const Cursor cursor = buffer.cursor;
  const uint64_t lastWhole =
      cursor.frame + (cursor.fraction + uint64_t{frequency} * (sounding - 1)) / kOutputRate;

  const Resamplers& resamplers = ChosenResamplers();
  MixFunction mix;
  const SincKernel* kernel = nullptr;
  unsigned before = 0;
  unsigned after = 0;
  if (frequency == kOutputRate && cursor.fraction == 0) {
    mix = resamplers.equalRate;
  } else if (quality == Quality::Fast) {
    mix = resamplers.cubic;
    before = kCubicBefore;
    after = kCubicAfter;
  } else {
    mix = resamplers.sinc;
    kernel = &SincKernelFor(frequency);
    before = kernel->half - 1;
    after = kernel->half;
  }

  const int64_t first = int64_t{cursor.frame} - before;
  const size_t count = static_cast<size_t>(lastWhole + after - cursor.frame) + before + 1;
  const bool stereo = buffer.format.channels != 1; // more than two fold to two
  if (scratch.left.size() < count + kRunPadding)
    scratch.left.resize(count + kRunPadding);
  if (stereo && scratch.right.size() < count + kRunPadding)
    scratch.right.resize(count + kRunPadding);
  DecodeFrames(buffer.format, buffer.data->bytes.data(), buffer.Frames(), buffer.looping, first,
               count, scratch.left.data(), stereo ? scratch.right.data() : nullptr);

  VoiceRun run;
  run.left = scratch.left.data();
  run.right = stereo ? scratch.right.data() : run.left;
  run.start = before;
  run.fraction = cursor.fraction;
  run.frequency = frequency;
  run.frames = static_cast<size_t>(sounding);
  run.gainLeft = gains.left;
  run.gainRight = gains.right;
  mix(run, kernel, scratch.mixLeft.data() + offset, scratch.mixRight.data() + offset);

  // The next block of this voice comes after every other voice's: ask for its data now
  // so that it is in the cache by then.
  const size_t length = buffer.Frames();
  size_t next = static_cast<size_t>(lastWhole + after + 1);
  if (next >= length)
    next = buffer.looping ? next % length : length;
  const size_t ahead = std::min(count, length - next) * buffer.format.blockAlign;
  const BYTE* from = buffer.data->bytes.data() + next * buffer.format.blockAlign;
  for (size_t offset = 0; offset < ahead; offset += 64)
    __builtin_prefetch(from + offset, 0, 2);
}

// Full scale 1.0 to 16 bits, clipped, rounded to nearest: adding 1.5 * 2^23 leaves the
// rounded integer in the low bits of the float. No branches, so the loop vectorises.
inline int16_t ToSample(float value) {
  float scaled = value * 32768.0f;
  scaled = scaled < -32768.0f ? -32768.0f : scaled;
  scaled = scaled > 32767.0f ? 32767.0f : scaled;
  const float shifted = scaled + 12582912.0f;
  int32_t bits;
  std::memcpy(&bits, &shifted, sizeof bits);
  return static_cast<int16_t>(bits - 0x4B400000);
}

// One chunk of one buffer, from `first` on, split at the frames its commands are due at.
void MixBuffer(Buffer& buffer, uint64_t first, size_t frames, bool sound, Quality quality,
               Scratch& scratch) {
  for (size_t at = 0;;) {
    const uint64_t next = ApplyCommandsDue(buffer, first + at);
    const size_t until = next - first < frames ? static_cast<size_t>(next - first) : frames;
    if (buffer.device) {
      if (sound && !buffer.primary && buffer.playing) {
        const ChannelGains master = DeviceGains(buffer.device);
        const ChannelGains own = GainsFor(buffer.volume, buffer.pan);
        MixVoice(buffer, at, until - at, quality,
                 {own.left * master.left, own.right * master.right}, scratch);
      }
      MoveCursor(buffer, until - at);
    }
    if (until == frames)
      return;
    at = until;
  }
}

} // namespace

void MixLocked(uint64_t firstFrame, size_t frames, int16_t* out, Quality quality) {
  Scratch& scratch = TheScratch();
  for (size_t done = 0; done < frames;) {
    const size_t chunk = std::min(kChunk, frames - done);
    if (out) {
      std::fill_n(scratch.mixLeft.begin(), chunk, 0.0f);
      std::fill_n(scratch.mixRight.begin(), chunk, 0.0f);
    }
    for (auto* list : {&LiveBufferList(), &RetiringBufferList()})
      for (Buffer* buffer : *list)
        MixBuffer(*buffer, firstFrame + done, chunk, out != nullptr, quality, scratch);
    if (out) {
      int16_t* to = out + 2 * done;
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
    delete buffer;
    return true;
  });
}

} // namespace dsemu
