#include "formats.h"

#include <cstring>

namespace dsemu {
namespace {

bool IsPlayableRate(DWORD rate) {
  return rate >= DSBFREQUENCY_MIN && rate <= DSBFREQUENCY_MAX;
}

HRESULT CheckExtensible(const WAVEFORMATEX* format, SampleFormat* out) {
  if (format->cbSize < sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX))
    return DSERR_INVALIDPARAM;
  WAVEFORMATEXTENSIBLE extensible;
  std::memcpy(&extensible, format, sizeof extensible);
  const WORD container = format->wBitsPerSample;
  const WORD valid = extensible.Samples.wValidBitsPerSample;
  if (valid > container)
    return DSERR_INVALIDPARAM;
  if (extensible.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT) {
    if (container != 32)
      return DSERR_BADFORMAT;
    out->encoding = Encoding::F32;
    return DS_OK;
  }
  if (extensible.SubFormat != KSDATAFORMAT_SUBTYPE_PCM)
    return DSERR_BADFORMAT;
  // Samples narrower than their container are left-justified, so reading the whole
  // container gives the right level.
  switch (container) {
  case 8:
    out->encoding = Encoding::U8;
    return DS_OK;
  case 16:
    out->encoding = Encoding::S16;
    return DS_OK;
  case 24:
    out->encoding = Encoding::S24;
    return DS_OK;
  case 32:
    out->encoding = Encoding::S32;
    return DS_OK;
  default:
    return DSERR_BADFORMAT;
  }
}

} // namespace

HRESULT CheckFormat(const WAVEFORMATEX* format, SampleFormat* out) {
  if (!format)
    return DSERR_INVALIDPARAM;
  if (format->nChannels == 0 || format->wBitsPerSample == 0 || format->nBlockAlign == 0)
    return DSERR_INVALIDPARAM;
  if (format->wBitsPerSample % 8 != 0 ||
      format->nBlockAlign != format->nChannels * (format->wBitsPerSample / 8))
    return DSERR_INVALIDPARAM;
  if (format->nChannels > 2 || !IsPlayableRate(format->nSamplesPerSec))
    return DSERR_BADFORMAT;

  SampleFormat result;
  result.channels = format->nChannels;
  result.blockAlign = format->nBlockAlign;
  result.rate = format->nSamplesPerSec;
  switch (format->wFormatTag) {
  case WAVE_FORMAT_PCM:
    if (format->wBitsPerSample == 8)
      result.encoding = Encoding::U8;
    else if (format->wBitsPerSample == 16)
      result.encoding = Encoding::S16;
    else
      return DSERR_BADFORMAT;
    break;
  case WAVE_FORMAT_IEEE_FLOAT:
    if (format->wBitsPerSample != 32)
      return DSERR_BADFORMAT;
    result.encoding = Encoding::F32;
    break;
  case WAVE_FORMAT_EXTENSIBLE:
    if (HRESULT checked = CheckExtensible(format, &result); checked != DS_OK)
      return checked;
    break;
  default:
    return DSERR_BADFORMAT;
  }
  if (out)
    *out = result;
  return DS_OK;
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
