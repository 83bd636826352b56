// wavinfo: WAV files read by the engine's own reader, with its result code and the
// format it found.
#include "host/commands/commands.h"

#include "host/files/input_file.h"
#include "host/host_error.h"

#include "samples/samples.h"

#include <cstdio>
#include <string>

namespace {

std::string ResultName(DWORD result) {
  switch (result) {
  case 0:
    return "read";
  case WaveErrBufferState:
    return "the I/O buffer state could not be taken";
  case WaveErrNoMemory:
    return "WaveErrNoMemory: no memory for the format or the data";
  case WaveErrOpen:
    return "WaveErrOpen: the file cannot be opened";
  case WaveErrNotWave:
    return "WaveErrNotWave: not a RIFF WAVE file, or its format chunk is short";
  case WaveErrRead:
    return "WaveErrRead: the format fields cannot be read";
  case WaveErrTruncated:
    return "WaveErrTruncated: the file ends inside its data chunk";
  case MMIOERR_CHUNKNOTFOUND:
    return "MMIOERR_CHUNKNOTFOUND: a chunk the reader needs is missing";
  case MMIOERR_CANNOTREAD:
    return "MMIOERR_CANNOTREAD";
  case MMIOERR_CANNOTSEEK:
    return "MMIOERR_CANNOTSEEK";
  default:
    return "an error of the multimedia file I/O";
  }
}

std::string TagName(WORD tag) {
  switch (tag) {
  case 1:
    return "PCM";
  case 2:
    return "ADPCM";
  case 3:
    return "IEEE float";
  case 6:
    return "A-law";
  case 7:
    return "mu-law";
  case 0xFFFE:
    return "extensible";
  default:
    return "format tag " + std::to_string(tag);
  }
}

void FreeBlock(const void* block) {
  if (!block)
    return;
  HGLOBAL handle = GlobalHandle(block);
  GlobalUnlock(handle);
  GlobalFree(handle);
}

} // namespace

int RunWavInfo(const std::vector<std::string>& files) {
  size_t failed = 0;
  for (const std::string& file : files) {
    // The engine's reader would block on a FIFO and misname other faults: what it cannot
    // take is reported here instead.
    try {
      CheckWaveInput(file, "WAV file");
    } catch (const HostError& e) {
      std::printf("%s\n", e.what());
      ++failed;
      continue;
    }
    DWORD size = 0;
    WAVEFORMATEX* format = nullptr;
    BYTE* data = nullptr;
    DWORD result = ReadWaveFile(file.c_str(), &size, &format, &data);
    std::printf("%s: result %s%X (%s)\n", file.c_str(), result ? "0x" : "", unsigned(result),
                ResultName(result).c_str());
    if (result == 0 && format) {
      std::printf("  %s, %u channel%s, %lu Hz, %u bits, block %u, %lu bytes a second, "
                  "%u extra format bytes\n",
                  TagName(format->wFormatTag).c_str(), unsigned(format->nChannels),
                  format->nChannels == 1 ? "" : "s", (unsigned long)format->nSamplesPerSec,
                  unsigned(format->wBitsPerSample), unsigned(format->nBlockAlign),
                  (unsigned long)format->nAvgBytesPerSec, unsigned(format->cbSize));
      std::printf("  %lu bytes of data", (unsigned long)size);
      if (format->nAvgBytesPerSec)
        std::printf(", %.3f s", double(size) / format->nAvgBytesPerSec);
      std::printf("\n");
    } else {
      ++failed;
    }
    FreeBlock(format);
    FreeBlock(data);
  }
  if (failed)
    throw HostError(std::to_string(failed) + " of " + std::to_string(files.size()) +
                    " files could not be read as WAV files");
  return 0;
}
