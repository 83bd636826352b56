// The WAV reader: a RIFF "WAVE" file into a format block and a data block, through the
// buffered multimedia file I/O. It converts nothing and checks the format only as far
// as its layout needs; whether the device can play it shows when its buffer is made.
#include "samples.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

const FOURCC WaveForm = mmioFOURCC('W', 'A', 'V', 'E');
const FOURCC FormatChunk = mmioFOURCC('f', 'm', 't', ' ');
const FOURCC DataChunk = mmioFOURCC('d', 'a', 't', 'a');

// The fields of WAVEFORMATEX before cbSize, as a "fmt " chunk stores them.
constexpr LONG FormatFieldsSize = 16;

// Stage 1: the "fmt " chunk into a new format block; leaves the file after the chunk.
DWORD ReadFormat(HMMIO file, const MMCKINFO& form, WAVEFORMATEX** format) {
  MMCKINFO chunk{};
  chunk.ckid = FormatChunk;
  if (MMRESULT result = mmioDescend(file, &chunk, &form, MMIO_FINDCHUNK))
    return result;
  if (chunk.cksize < FormatFieldsSize)
    return WaveErrNotWave;

  BYTE fields[FormatFieldsSize];
  if (mmioRead(file, reinterpret_cast<HPSTR>(fields), FormatFieldsSize) != FormatFieldsSize)
    return WaveErrRead;
  WORD tag;
  std::memcpy(&tag, fields, sizeof tag);
  // PCM has no extra bytes, whatever the chunk holds after the 16 fields.
  WORD extra = 0;
  if (tag != WAVE_FORMAT_PCM &&
      mmioRead(file, reinterpret_cast<HPSTR>(&extra), sizeof extra) != sizeof extra)
    return WaveErrRead;

  *format =
      static_cast<WAVEFORMATEX*>(AllocateGlobalBlock(sizeof(WAVEFORMATEX) + extra, GMEM_FIXED));
  if (!*format)
    return WaveErrNoMemory;
  std::memcpy(*format, fields, FormatFieldsSize);
  (*format)->cbSize = extra;
  if (extra != 0 &&
      mmioRead(file, reinterpret_cast<HPSTR>(*format) + sizeof(WAVEFORMATEX), extra) != extra)
    return WaveErrNotWave;

  return mmioAscend(file, &chunk, 0);
}

// A "data" chunk claiming more than the file holds is refused before its block is
// allocated: a few bytes of file must not cost gigabytes of memory. When the file's size
// cannot be learnt, the copy still finds the end.
DWORD CheckDataInFile(HMMIO file, const MMCKINFO& chunk) {
  LONG end = mmioSeek(file, 0, SEEK_END);
  if (end < 0)
    return 0;
  if (uint64_t{chunk.dwDataOffset} + chunk.cksize > static_cast<uint64_t>(end))
    return WaveErrTruncated;
  if (mmioSeek(file, static_cast<LONG>(chunk.dwDataOffset), SEEK_SET) < 0)
    return MMIOERR_CANNOTSEEK;
  return 0;
}

// Stage 3: one pass straight out of the I/O layer's read buffer, each run of buffered
// bytes copied at once, the buffer refilled as it runs empty.
DWORD CopyData(HMMIO file, DWORD size, BYTE* data, DWORD* dataSize) {
  MMIOINFO info;
  if (mmioGetInfo(file, &info, 0) != MMSYSERR_NOERROR)
    return WaveErrBufferState;
  BYTE* out = data;
  DWORD left = size;
  while (left > 0) {
    if (info.pchNext == info.pchEndRead) {
      if (MMRESULT result = mmioAdvance(file, &info, MMIO_READ))
        return result;
      if (info.pchNext == info.pchEndRead)
        return WaveErrTruncated;
    }
    DWORD run = std::min<DWORD>(left, static_cast<DWORD>(info.pchEndRead - info.pchNext));
    std::memcpy(out, info.pchNext, run);
    info.pchNext += run;
    out += run;
    left -= run;
  }
  if (MMRESULT result = mmioSetInfo(file, &info, 0))
    return result;
  *dataSize = size;
  return 0;
}

DWORD ReadOpenFile(HMMIO file, DWORD* dataSize, WAVEFORMATEX** format, BYTE** data) {
  MMCKINFO form{};
  if (MMRESULT result = mmioDescend(file, &form, nullptr, 0))
    return result;
  if (form.ckid != FOURCC_RIFF || form.fccType != WaveForm)
    return WaveErrNotWave;
  if (DWORD result = ReadFormat(file, form, format))
    return result;

  // Stage 2: the "data" chunk, searched from the first chunk after the form type, so
  // that it may stand before or after "fmt ". The seek is not examined: after a failed
  // one the search starts wherever the file stands.
  mmioSeek(file, static_cast<LONG>(form.dwDataOffset + 4), SEEK_SET);
  MMCKINFO chunk{};
  chunk.ckid = DataChunk;
  if (MMRESULT result = mmioDescend(file, &chunk, &form, MMIO_FINDCHUNK))
    return result;
  if (DWORD result = CheckDataInFile(file, chunk))
    return result;
  *data = static_cast<BYTE*>(AllocateGlobalBlock(chunk.cksize, GMEM_FIXED));
  if (!*data)
    return WaveErrNoMemory;

  return CopyData(file, chunk.cksize, *data, dataSize);
}

} // namespace

DWORD ReadWaveFile(LPCSTR fileName, DWORD* dataSize, WAVEFORMATEX** format, BYTE** data) {
  *dataSize = 0;
  *format = nullptr;
  *data = nullptr;
  // mmioOpenA writes into the name only when asked to parse it.
  HMMIO file = mmioOpenA(const_cast<LPSTR>(fileName), nullptr, MMIO_READ | MMIO_ALLOCBUF);
  if (!file)
    return WaveErrOpen;

  DWORD result = ReadOpenFile(file, dataSize, format, data);
  if (result != 0) {
    if (*data) {
      FreeGlobalBlock(*data);
      *data = nullptr;
    }
    if (*format) {
      FreeGlobalBlock(*format);
      *format = nullptr;
    }
    *dataSize = 0;
  }
  // A failed copy closes without handing the buffer state back; closing ends the file's
  // use all the same.
  mmioClose(file, 0);
  return result;
}
