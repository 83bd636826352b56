// The sample formats the device plays: checking a WAVEFORMATEX and describing it for
// the mixer.
#pragma once

#include "dsound.h"

#include <cstddef>
#include <vector>

namespace dsemu {

// How one sample of one channel is stored, little-endian.
enum class Encoding {
  U8,        // unsigned 8-bit
  S16,       // signed 16-bit
  SignedInt, // signed, 3 to 8 bytes (24 to 64 bits)
  F16,       // IEEE half precision
  F32,       // IEEE single precision
  F64,       // IEEE double precision
  // Float sizes no IEEE format has (8, 24, 40, 48 or 56 bits): the data means nothing,
  // so it plays as silence.
  Undefined,
};

struct SampleFormat {
  Encoding encoding = Encoding::S16;
  unsigned channels = 2;
  unsigned sampleBytes = 2; // bytes of one sample of one channel
  unsigned blockAlign = 4;  // bytes of one frame
  DWORD rate = 44100;
  // Each channel's share of the left and right outputs when there are more than two
  // (see channel_fold.h); empty otherwise.
  std::vector<float> foldLeft;
  std::vector<float> foldRight;
};

// DS_OK with `out` filled when the device takes `format` for a secondary buffer, else
// the error Wine's DirectSound gives (tests/data/wine_format_answers.tsv): E_NOTIMPL for a tag
// other than PCM, IEEE float and EXTENSIBLE; DSERR_INVALIDPARAM for a block that contradicts
// itself; DSERR_CONTROLUNAVAIL for an extensible block longer than it should be.
HRESULT CheckFormat(const WAVEFORMATEX* format, SampleFormat* out);

// The primary buffer's formats: those of CheckFormat the output can carry (one or two
// channels, a playable rate); DSERR_BADFORMAT for the others.
HRESULT CheckPrimaryFormat(const WAVEFORMATEX* format);

// The rate a buffer of `format` plays at first: its own, kept within the range
// SetFrequency allows.
DWORD StartingFrequency(const SampleFormat& format);

// The format block as the device keeps it: 18 bytes and, except for plain PCM, cbSize
// more. Plain PCM keeps cbSize 0, as the 16-byte PCM form may carry anything there.
std::vector<BYTE> CopyFormatBlock(const WAVEFORMATEX* format);

// The device's own output: 44,100 Hz, 16-bit stereo.
WAVEFORMATEX OutputFormat();
inline constexpr DWORD kOutputRate = 44100;

} // namespace dsemu
