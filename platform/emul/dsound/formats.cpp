#include "formats.h"

#include "channel_fold.h"

#include <algorithm>
#include <cstring>

namespace dsemu {
namespace {

constexpr WORD kExtensibleExtra = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);

bool IsPlayableRate(DWORD rate) {
  return rate >= DSBFREQUENCY_MIN && rate <= DSBFREQUENCY_MAX;
}

Encoding IntegerEncoding(unsigned bytes) {
  return bytes == 1 ? Encoding::U8 : bytes == 2 ? Encoding::S16 : Encoding::SignedInt;
}

Encoding FloatEncoding(unsigned bytes) {
  switch (bytes) {
  case 2:
    return Encoding::F16;
  case 4:
    return Encoding::F32;
  case 8:
    return Encoding::F64;
  default:
    return Encoding::Undefined;
  }
}

// The fields every tag shares: a frame of whole bytes that the block size matches.
// Rates and byte rates are taken as given but for zero.
bool FieldsAgree(const WAVEFORMATEX* format) {
  const WORD bits = format->wBitsPerSample;
  return format->nChannels != 0 && bits != 0 && bits % 8 == 0 &&
         format->nBlockAlign == format->nChannels * (bits / 8) && format->nSamplesPerSec != 0 &&
         format->nAvgBytesPerSec != 0;
}

// The extensible block: its size, then its sub-format and valid bits. A block of the
// whole structure's size (40) is taken for PCM and float, as some writers give it.
HRESULT CheckExtensible(const WAVEFORMATEX* format, Encoding* encoding, DWORD* mask) {
  if (format->cbSize < kExtensibleExtra)
    return DSERR_INVALIDPARAM;
  WAVEFORMATEXTENSIBLE extensible;
  std::memcpy(&extensible, format, sizeof extensible);
  const bool isPcm = extensible.SubFormat == KSDATAFORMAT_SUBTYPE_PCM;
  const bool isFloat = extensible.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
  if (format->cbSize > kExtensibleExtra &&
      !((isPcm || isFloat) && format->cbSize == sizeof(WAVEFORMATEXTENSIBLE)))
    return DSERR_CONTROLUNAVAIL;
  if (!isPcm && !isFloat)
    return DSERR_INVALIDPARAM;
  if (extensible.Samples.wValidBitsPerSample > format->wBitsPerSample)
    return DSERR_INVALIDPARAM;
  // Samples narrower than their container are left-justified, so reading the whole
  // container gives the right level.
  const unsigned bytes = format->wBitsPerSample / 8;
  *encoding = isPcm ? IntegerEncoding(bytes) : FloatEncoding(bytes);
  *mask = extensible.dwChannelMask;
  return DS_OK;
}

} // namespace

HRESULT CheckFormat(const WAVEFORMATEX* format, SampleFormat* out) {
  if (!format)
    return DSERR_INVALIDPARAM;
  const WORD tag = format->wFormatTag;
  if (tag != WAVE_FORMAT_PCM && tag != WAVE_FORMAT_IEEE_FLOAT && tag != WAVE_FORMAT_EXTENSIBLE)
    return E_NOTIMPL;
  if (!FieldsAgree(format))
    return DSERR_INVALIDPARAM;

  const unsigned bytes = format->wBitsPerSample / 8;
  Encoding encoding = tag == WAVE_FORMAT_PCM ? IntegerEncoding(bytes) : FloatEncoding(bytes);
  DWORD mask = 0;
  if (tag == WAVE_FORMAT_EXTENSIBLE)
    if (HRESULT checked = CheckExtensible(format, &encoding, &mask); checked != DS_OK)
      return checked;
  if (!out)
    return DS_OK;
  SampleFormat result;
  result.encoding = encoding;
  result.channels = format->nChannels;
  result.sampleBytes = bytes;
  result.blockAlign = format->nBlockAlign;
  result.rate = format->nSamplesPerSec;
  if (result.channels > 2)
    FoldWeights(result.channels, mask, &result.foldLeft, &result.foldRight);
  *out = std::move(result);
  return DS_OK;
}

HRESULT CheckPrimaryFormat(const WAVEFORMATEX* format) {
  SampleFormat parsed;
  const HRESULT checked = CheckFormat(format, &parsed);
  if (checked == DSERR_INVALIDPARAM)
    return checked;
  if (checked != DS_OK || parsed.channels > 2 || !IsPlayableRate(parsed.rate))
    return DSERR_BADFORMAT;
  return DS_OK;
}

DWORD StartingFrequency(const SampleFormat& format) {
  return std::clamp<DWORD>(format.rate, DSBFREQUENCY_MIN, DSBFREQUENCY_MAX);
}

std::vector<BYTE> CopyFormatBlock(const WAVEFORMATEX* format) {
  const size_t extra = format->wFormatTag == WAVE_FORMAT_PCM ? 0 : format->cbSize;
  std::vector<BYTE> block(sizeof(WAVEFORMATEX) + extra);
  std::memcpy(block.data(), format, block.size());
  if (format->wFormatTag == WAVE_FORMAT_PCM)
    reinterpret_cast<WAVEFORMATEX*>(block.data())->cbSize = 0;
  return block;
}

WAVEFORMATEX OutputFormat() {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = kOutputRate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 4;
  format.nAvgBytesPerSec = kOutputRate * 4;
  format.cbSize = 0;
  return format;
}

} // namespace dsemu
