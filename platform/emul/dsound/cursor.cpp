#include "cursor.h"

#include "device_control.h"

namespace dsemu {

uint64_t MoveCursor(Buffer& buffer, uint64_t outputFrames) {
  const uint64_t frames = buffer.Frames();
  if (!buffer.playing || frames == 0 || outputFrames == 0)
    return 0;
  const uint64_t rate = OutputRate();
  const uint64_t total = buffer.cursor.fraction + uint64_t{buffer.frequency} * outputFrames;
  const uint64_t position = buffer.cursor.frame + total / rate;
  if (position < frames) {
    buffer.cursor.frame = static_cast<DWORD>(position);
    buffer.cursor.fraction = static_cast<DWORD>(total % rate);
    return outputFrames;
  }
  if (buffer.looping) {
    buffer.cursor.frame = static_cast<DWORD>(position % frames);
    buffer.cursor.fraction = static_cast<DWORD>(total % rate);
    return outputFrames;
  }
  // One-shot: it sounds for the output frames whose position is still inside the data,
  // the first k with fraction + frequency * k >= (frames - frame) * rate being the end.
  const uint64_t sounded = SoundingFrames(buffer, outputFrames);
  buffer.playing = false;
  buffer.looping = false;
  buffer.cursor = Cursor{};
  return sounded;
}

uint64_t SoundingFrames(const Buffer& buffer, uint64_t outputFrames) {
  const uint64_t frames = buffer.Frames();
  if (!buffer.playing || frames == 0)
    return 0;
  if (buffer.looping)
    return outputFrames;
  const uint64_t needed = (frames - buffer.cursor.frame) * OutputRate() - buffer.cursor.fraction;
  const uint64_t sounding = (needed + buffer.frequency - 1) / buffer.frequency;
  return sounding < outputFrames ? sounding : outputFrames;
}

DWORD WriteCursorBytes(const Buffer& buffer) {
  const DWORD play = buffer.PlayCursorBytes();
  if (!buffer.playing)
    return play;
  const uint64_t rate = OutputRate();
  const uint64_t leadFrames = (uint64_t{kPeriodFrames} * buffer.frequency + rate - 1) / rate;
  return static_cast<DWORD>((play + leadFrames * buffer.format.blockAlign) % buffer.Bytes());
}

} // namespace dsemu
