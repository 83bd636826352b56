// The sample formats the device plays: checking a WAVEFORMATEX and describing it for
// the mixer.
#pragma once

#include "dsound.h"

#include <cstddef>
#include <vector>

namespace dsemu {

// How one sample of one channel is stored.
enum class Encoding { U8, S16, S24, S32, F32 };

struct SampleFormat {
  Encoding encoding = Encoding::S16;
  unsigned channels = 2;
  unsigned blockAlign = 4; // bytes of one frame
  DWORD rate = 44100;
};

// DS_OK with `out` filled when the device can play `format`; DSERR_BADFORMAT for a
// format it cannot play; DSERR_INVALIDPARAM for a block that contradicts itself.
HRESULT CheckFormat(const WAVEFORMATEX* format, SampleFormat* out);

// The format block as the device keeps it: 18 bytes and, except for plain PCM, cbSize
// more. Plain PCM keeps cbSize 0, as the 16-byte PCM form may carry anything there.
std::vector<BYTE> CopyFormatBlock(const WAVEFORMATEX* format);

// The device's own output: 44,100 Hz, 16-bit stereo.
WAVEFORMATEX OutputFormat();
inline constexpr DWORD kOutputRate = 44100;

} // namespace dsemu
