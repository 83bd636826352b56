#include "cursor.h"

#include "device_control.h"
#include "rate_divider.h"

namespace dsemu {
namespace {
RateDivider divider(kOutputRate); // made again when the output rate is another
} // namespace

Cursor MoveCursor(Buffer& buffer, uint64_t outputFrames) {
  const uint64_t frames = buffer.Frames();
  if (!buffer.playing || frames == 0 || outputFrames == 0)
    return buffer.cursor;
  const uint64_t rate = OutputRate();
  const uint64_t total = buffer.cursor.fraction + uint64_t{buffer.frequency} * outputFrames;
  // A short block's move, the common case, without a division.
  if (divider.rate != rate)
    divider = RateDivider(static_cast<uint32_t>(rate));
  const uint64_t whole = total < RateDivider::kExactBelow
                             ? divider.Quotient(static_cast<uint32_t>(total))
                             : total / rate;
  const uint64_t position = buffer.cursor.frame + whole;
  if (position < frames) {
    const Cursor moved{static_cast<DWORD>(position), static_cast<DWORD>(total - whole * rate)};
    buffer.cursor = moved;
    return moved;
  }
  if (buffer.looping) {
    const Cursor moved{static_cast<DWORD>(position % frames), static_cast<DWORD>(total % rate)};
    buffer.cursor = moved;
    return moved;
  }
  // A one-shot buffer has reached its end.
  buffer.playing = false;
  buffer.looping = false;
  buffer.cursor = Cursor{};
  return Cursor{};
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
