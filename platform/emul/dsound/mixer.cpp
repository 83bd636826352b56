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

// A buffer's gains, worked out again only when its volume or pan has changed: every voice
// asks every block, for itself and for its device's primary buffer.
ChannelGains GainsOf(Buffer& buffer) {
  Buffer::RememberedGains& memo = buffer.gains;
  if (!memo.known || memo.volume != buffer.volume || memo.pan != buffer.pan)
    memo = {true, buffer.volume, buffer.pan, GainsFor(buffer.volume, buffer.pan)};
  return memo.gains;
}

// In short blocks a voice would pay its set-up every block: its kernel's table brought
// back into the cache, the frames its kernel reaches decoded again. A voice mixed in short
// pieces is instead resampled a few blocks ahead, unscaled, into a slot, and each piece
// adds its share with the gains of the moment. Those frames depend on nothing but the
// cursor, the frequency, the bytes, looping, the quality and the rate; the slot keeps
// them all, and any change resamples again from the cursor, so no timing moves.
constexpr size_t kAheadFrames = 1024;
constexpr size_t kAheadSlots = 32;   // voices beyond are mixed directly
constexpr size_t kDirectPiece = 256; // pieces this long gain little from a slot
// A slot holds up to this many pieces ahead, and the slots refill at staggered pieces, a
// sixteenth of them each time, so that every block costs about the same: no one block
// pays for every voice's next sixteen.
constexpr size_t kAheadPhases = 16;

struct AheadSlot {
  const Buffer* owner = nullptr;
  uint64_t version = 0;
  Cursor next; // the cursor of frame `used`
  DWORD frequency = 0;
  uint32_t rate = 0;
  bool looping = false;
  Quality quality = Quality::Fast;
  size_t used = 0;
  size_t filled = 0;
  uint64_t played = 0;   // frames the voice has played since it took the slot
  unsigned backoff = 0;  // turns passed up after a refill went to waste, doubling
  unsigned skipping = 0; // turns still to pass up
  uint64_t lastMix = 0;  // the MixLocked call it was last read in

  void Empty() { used = filled = 0; }
  // Whether its frames are still those the buffer would make from where it is.
  bool Matches(const Buffer& buffer, Quality q, uint32_t r) const {
    return owner == &buffer && version == buffer.data->version &&
           next.frame == buffer.cursor.frame && next.fraction == buffer.cursor.fraction &&
           frequency == buffer.frequency && looping == buffer.looping && quality == q && rate == r;
  }
};

// A voice's last piece of a chunk out of its slot waits to be added until a piece goes to
// other frames, a voice is mixed directly (each of which adds what waits first, so every
// sum keeps its order) or the chunk ends. The voices' pieces into the same frames are then
// added in one pass, each output frame read and written once for all of them; the add a
// voice was about 5 % of a 64-frame block. Only a last piece waits, so its slot cannot be
// refilled under it: only its own voice refills it, and not again in this chunk.
struct WaitingAdds {
  ScaledRun runs[kAheadSlots];
  size_t count = 0;
  float* left = nullptr;
  float* right = nullptr;
  size_t frames = 0;
};

// Scratch of the one mixer that runs at a time (StateLock() is held).
struct Scratch {
  std::vector<float> mixLeft = std::vector<float>(kChunk);
  std::vector<float> mixRight = std::vector<float>(kChunk);
  std::vector<float> left;
  std::vector<float> right;
  std::vector<float> ahead = std::vector<float>(kAheadSlots * 2 * kAheadFrames);
  AheadSlot slots[kAheadSlots];
  size_t nextSlot = 0;
  uint64_t mixes = 0;
  WaitingAdds waiting;
};

Releasable<Scratch>& HeldScratch() {
  static Releasable<Scratch> scratch;
  return scratch;
}

Scratch& TheScratch() {
  return HeldScratch().Get();
}

ChannelGains DeviceGains(const Device* device) {
  Buffer* primary = device->primary;
  if (!primary)
    return {1.0f, 1.0f};
  return GainsOf(*primary);
}

// Where one chunk of a buffer goes: the chunk's left and right channels.
struct Destination {
  float* left;
  float* right;
};

void AddWaiting(Scratch& scratch) {
  WaitingAdds& waiting = scratch.waiting;
  if (waiting.count == 0)
    return;
  ChosenResamplers().addScaled(waiting.runs, waiting.count, waiting.frames, waiting.left,
                               waiting.right);
  waiting.count = 0;
}

// Adds `run`'s `frames` frames into `left` and `right` with the pieces that wait, or
// after them.
void AddLater(const ScaledRun& run, float* left, float* right, size_t frames, Scratch& scratch) {
  WaitingAdds& waiting = scratch.waiting;
  if (waiting.count == kAheadSlots ||
      (waiting.count > 0 &&
       (waiting.left != left || waiting.right != right || waiting.frames != frames)))
    AddWaiting(scratch);
  if (waiting.count == 0) {
    waiting.left = left;
    waiting.right = right;
    waiting.frames = frames;
  }
  waiting.runs[waiting.count++] = run;
}

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

// The slot the buffer holds, or null.
AheadSlot* HeldSlot(const Buffer& buffer, Scratch& scratch) {
  if (buffer.aheadSlot >= 0 && scratch.slots[buffer.aheadSlot].owner == &buffer)
    return &scratch.slots[buffer.aheadSlot];
  return nullptr;
}

// The buffer's slot, or a slot no voice read in this mix or the one before, or null.
AheadSlot* SlotFor(Buffer& buffer, Scratch& scratch) {
  if (AheadSlot* held = HeldSlot(buffer, scratch))
    return held;
  for (size_t tried = 0; tried < kAheadSlots; ++tried) {
    const size_t index = (scratch.nextSlot + tried) % kAheadSlots;
    AheadSlot& slot = scratch.slots[index];
    if (slot.lastMix + 1 < scratch.mixes || slot.owner == nullptr) {
      scratch.nextSlot = index + 1;
      slot = AheadSlot{};
      slot.owner = &buffer;
      buffer.aheadSlot = static_cast<int>(index);
      return &slot;
    }
  }
  return nullptr;
}

// Mixes `frames` frames of the buffer into `to` from `offset` on out of its slot, resampling ahead
// when the slot has run out or no longer holds the cursor; `last` when the piece ends the
// buffer's chunk, so that it may wait (see WaitingAdds). Null when the piece is better mixed
// directly.
AheadSlot* MixVoiceAhead(Buffer& buffer, size_t offset, size_t frames, bool last, Quality quality,
                         ChannelGains gains, uint32_t rate, Destination to, Scratch& scratch) {
  if (frames == 0 || frames >= kDirectPiece ||
      (buffer.frequency == rate && buffer.cursor.fraction == 0) ||
      (gains.left == 0.0f && gains.right == 0.0f))
    return nullptr;
  AheadSlot* slot = SlotFor(buffer, scratch);
  if (!slot)
    return nullptr;
  slot->lastMix = scratch.mixes;
  const size_t index = static_cast<size_t>(slot - scratch.slots);
  float* left = scratch.ahead.data() + index * 2 * kAheadFrames;
  float* right = left + kAheadFrames;
  const bool matches = slot->Matches(buffer, quality, rate);
  if (!matches || slot->filled - slot->used < frames) {
    // A voice whose frequency moves every block (a bend) would resample a whole slot for
    // one piece each time: after such a waste it passes up 1, 2, 4, then 8 turns.
    if (!matches && slot->used < slot->filled) {
      slot->backoff = std::min(std::max(2 * slot->backoff, 1u), 8u);
      slot->skipping = slot->backoff;
    } else if (matches) {
      slot->backoff = 0;
    }
    // Slots refill a span ahead (16 pieces, at most kAheadFrames), each at its own
    // sixteenth of the span, so that about a sixteenth of them refill in any one block.
    // Until a slot's turn comes, as when many notes start at once, its pieces are mixed
    // directly. Counted in the voice's own frames, not the output's, so that the same
    // notes in the same blocks are summed the same way whenever they come.
    const size_t span = std::min(kAheadFrames, kAheadPhases * frames);
    const size_t phase = index % kAheadPhases * (span / kAheadPhases);
    const bool turn = span - (slot->played + phase) % span <= frames;
    if (!turn || slot->skipping > 0) {
      slot->skipping -= turn ? 1 : 0;
      slot->played += frames;
      slot->Empty();
      return nullptr;
    }
    const size_t fill = span;
    std::fill_n(left, fill, 0.0f);
    std::fill_n(right, fill, 0.0f);
    MixVoice(buffer, 0, fill, quality, {1.0f, 1.0f}, rate, {left, right}, scratch);
    slot->version = buffer.data->version;
    slot->next = buffer.cursor;
    slot->frequency = buffer.frequency;
    slot->looping = buffer.looping;
    slot->quality = quality;
    slot->rate = rate;
    slot->used = 0;
    slot->filled = fill;
  }
  AddLater({left + slot->used, right + slot->used, gains.left, gains.right}, to.left + offset,
           to.right + offset, frames, scratch);
  if (!last)
    AddWaiting(scratch);
  slot->used += frames;
  slot->played += frames;
  return slot;
}

// One chunk of one buffer, from `first` on, split at the frames its commands are due at.
// Without a destination only the cursor moves.
void MixBuffer(Buffer& buffer, uint64_t first, size_t frames, const Destination* to,
               Quality quality, uint32_t rate, Scratch& scratch) {
  // A buffer stopped with nothing to do: most of them, every block.
  if (!buffer.playing && buffer.pending.empty())
    return;
  for (size_t at = 0;;) {
    const uint64_t next =
        buffer.pending.empty() ? UINT64_MAX : ApplyCommandsDue(buffer, first + at);
    const size_t until = next - first < frames ? static_cast<size_t>(next - first) : frames;
    if (buffer.device) {
      AheadSlot* slot = nullptr;
      if (to && to->left && !buffer.primary && buffer.playing) {
        const ChannelGains master = DeviceGains(buffer.device);
        const ChannelGains own = GainsOf(buffer);
        const ChannelGains gains{own.left * master.left, own.right * master.right};
        slot = MixVoiceAhead(buffer, at, until - at, until == frames, quality, gains, rate, *to,
                             scratch);
        if (!slot) {
          AddWaiting(scratch); // what waits comes first in `to`
          MixVoice(buffer, at, until - at, quality, gains, rate, *to, scratch);
        }
      }
      const Cursor moved = MoveCursor(buffer, until - at);
      if (slot) {
        slot->next = moved;
        if (!buffer.playing)
          slot->Empty();
      } else if (AheadSlot* held = HeldSlot(buffer, scratch)) {
        // Moved on without it (a long piece, no destination): not a waste to back off for.
        held->Empty();
      }
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
  ++scratch.mixes;
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
    AddWaiting(scratch);
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
