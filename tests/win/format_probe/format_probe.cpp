// Creates secondary sound buffers over a grid of formats and writes to the file it is
// given, one line a format, the format's fields and the answer of CreateSoundBuffer,
// tab-separated under a header. record-format-answers runs it under Wine and keeps its
// output as the table the emulated device must agree with.
#include <dsound.h>
#include <ks.h>
#include <ksmedia.h>
#include <mmreg.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The engine's own flags for a sample's buffer.
constexpr DWORD kFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN |
                         DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY |
                         DSBCAPS_GETCURRENTPOSITION2;
// A whole number of frames for every block size of the grid.
constexpr DWORD kBufferBytes = 40320 * 4;
constexpr WORD kNotExtensible = 0xFFFF;

struct Row {
  WORD tag = WAVE_FORMAT_PCM;
  WORD subFormat = kNotExtensible; // the sub-format's tag when tag is EXTENSIBLE
  WORD channels = 2;
  DWORD rate = 44100;
  WORD bits = 16;
  WORD blockAlign = 4;
  DWORD byteRate = 44100 * 4;
  WORD cbSize = 0;
  WORD validBits = 16;
  DWORD channelMask = 3;
};

DWORD DefaultMask(WORD channels) {
  switch (channels) {
  case 1:
    return SPEAKER_FRONT_CENTER;
  case 2:
    return KSAUDIO_SPEAKER_STEREO;
  case 4:
    return KSAUDIO_SPEAKER_QUAD;
  case 6:
    return KSAUDIO_SPEAKER_5POINT1;
  case 8:
    return KSAUDIO_SPEAKER_7POINT1_SURROUND;
  default:
    return 0;
  }
}

// A self-consistent format; the rows that test a mismatch change one field after.
Row Consistent(WORD tag, WORD subFormat, WORD channels, WORD bits, DWORD rate) {
  Row row;
  row.tag = tag;
  row.subFormat = tag == WAVE_FORMAT_EXTENSIBLE ? subFormat : kNotExtensible;
  row.channels = channels;
  row.rate = rate;
  row.bits = bits;
  row.blockAlign = static_cast<WORD>(channels * bits / 8);
  row.byteRate = rate * row.blockAlign;
  row.cbSize = tag == WAVE_FORMAT_EXTENSIBLE ? 22 : 0;
  row.validBits = bits;
  row.channelMask = DefaultMask(channels);
  return row;
}

std::vector<Row> Grid() {
  std::vector<Row> rows;
  const WORD extensible = WAVE_FORMAT_EXTENSIBLE;
  const struct {
    WORD tag, subFormat;
  } kinds[] = {{WAVE_FORMAT_PCM, 0},           {WAVE_FORMAT_IEEE_FLOAT, 0},
               {extensible, WAVE_FORMAT_PCM},  {extensible, WAVE_FORMAT_IEEE_FLOAT},
               {extensible, WAVE_FORMAT_ALAW}, {WAVE_FORMAT_ADPCM, 0},
               {WAVE_FORMAT_ALAW, 0},          {WAVE_FORMAT_MULAW, 0},
               {WAVE_FORMAT_MPEGLAYER3, 0},    {WAVE_FORMAT_UNKNOWN, 0}};
  for (const auto& kind : kinds)
    for (WORD channels : {1, 2, 4, 6, 8})
      for (WORD bits : {8, 16, 24, 32, 64})
        rows.push_back(Consistent(kind.tag, kind.subFormat, channels, bits, 44100));

  // Rates, at the edges of the playable range and beyond.
  const Row rateFormats[] = {Consistent(WAVE_FORMAT_PCM, 0, 2, 16, 0),
                             Consistent(WAVE_FORMAT_IEEE_FLOAT, 0, 1, 32, 0),
                             Consistent(extensible, WAVE_FORMAT_PCM, 6, 24, 0)};
  for (const Row& format : rateFormats)
    for (DWORD rate : {0u, 1u, 99u, 100u, 101u, 8000u, 22050u, 48000u, 96000u, 192000u, 199999u,
                       200000u, 200001u, 384000u}) {
      Row row = Consistent(format.tag, format.subFormat, format.channels, format.bits, rate);
      rows.push_back(row);
    }

  // Channel counts outside the main grid, and sample sizes that are not whole bytes.
  for (WORD channels : {0, 3, 5, 7, 9, 16, 18}) {
    rows.push_back(Consistent(WAVE_FORMAT_PCM, 0, channels, 16, 44100));
    rows.push_back(Consistent(extensible, WAVE_FORMAT_PCM, channels, 16, 44100));
  }
  for (WORD bits : {0, 4, 12, 20, 48}) {
    rows.push_back(Consistent(WAVE_FORMAT_PCM, 0, 2, bits, 44100));
    rows.push_back(Consistent(extensible, WAVE_FORMAT_PCM, 2, bits, 44100));
    rows.push_back(Consistent(WAVE_FORMAT_IEEE_FLOAT, 0, 2, bits, 44100));
  }

  // Block-align and byte-rate mismatches.
  const Row mismatchFormats[] = {Consistent(WAVE_FORMAT_PCM, 0, 2, 16, 44100),
                                 Consistent(WAVE_FORMAT_PCM, 0, 1, 24, 44100),
                                 Consistent(WAVE_FORMAT_IEEE_FLOAT, 0, 2, 32, 44100),
                                 Consistent(extensible, WAVE_FORMAT_PCM, 2, 24, 44100),
                                 Consistent(extensible, WAVE_FORMAT_IEEE_FLOAT, 2, 32, 44100)};
  for (const Row& format : mismatchFormats) {
    for (int change : {-int{format.blockAlign}, -1, 1, int{format.blockAlign}}) {
      Row row = format;
      row.blockAlign = static_cast<WORD>(row.blockAlign + change);
      rows.push_back(row);
    }
    for (long change :
         {-static_cast<long>(format.byteRate), -1L, 1L, static_cast<long>(format.byteRate)}) {
      Row row = format;
      row.byteRate = static_cast<DWORD>(row.byteRate + change);
      rows.push_back(row);
    }
  }

  // cbSize, and the extensible block's own fields.
  for (WORD size : {1, 2, 22, 100, 65535}) {
    Row row = Consistent(WAVE_FORMAT_PCM, 0, 2, 16, 44100);
    row.cbSize = size;
    rows.push_back(row);
  }
  for (WORD size : {2, 22, 100}) {
    Row row = Consistent(WAVE_FORMAT_IEEE_FLOAT, 0, 2, 32, 44100);
    row.cbSize = size;
    rows.push_back(row);
  }
  for (WORD size : {0, 2, 21, 23, 100}) {
    Row row = Consistent(extensible, WAVE_FORMAT_PCM, 2, 16, 44100);
    row.cbSize = size;
    rows.push_back(row);
  }
  const struct {
    WORD bits, valid;
  } validBits[] = {{16, 0}, {16, 12}, {16, 17}, {24, 20}, {32, 24}, {32, 0}, {32, 33}};
  for (const auto& sizes : validBits) {
    Row row = Consistent(extensible, WAVE_FORMAT_PCM, 2, sizes.bits, 44100);
    row.validBits = sizes.valid;
    rows.push_back(row);
  }
  const struct {
    WORD channels;
    DWORD mask;
  } masks[] = {{2, 0},
               {2, SPEAKER_FRONT_CENTER},
               {2, KSAUDIO_SPEAKER_5POINT1},
               {6, 0},
               {6, KSAUDIO_SPEAKER_5POINT1_SURROUND},
               {6, KSAUDIO_SPEAKER_STEREO},
               {1, SPEAKER_FRONT_LEFT},
               {4, 0xFFFFFFFF}};
  for (const auto& layout : masks) {
    Row row = Consistent(extensible, WAVE_FORMAT_PCM, layout.channels, 16, 44100);
    row.channelMask = layout.mask;
    rows.push_back(row);
  }
  for (WORD size : {21, 23, 40}) {
    Row row = Consistent(extensible, WAVE_FORMAT_ALAW, 2, 16, 44100);
    row.cbSize = size;
    rows.push_back(row);
    row.subFormat = WAVE_FORMAT_IEEE_FLOAT;
    row.bits = 32;
    row.blockAlign = 8;
    row.byteRate = 44100 * 8;
    row.validBits = 32;
    rows.push_back(row);
  }
  Row large = Consistent(extensible, WAVE_FORMAT_PCM, 2, 16, 44100);
  large.cbSize = 40;
  rows.push_back(large);
  large.validBits = 17;
  rows.push_back(large);
  Row wideAlaw = Consistent(extensible, WAVE_FORMAT_ALAW, 2, 16, 44100);
  wideAlaw.validBits = 17;
  rows.push_back(wideAlaw);

  // Which answer wins when a format is wrong in two ways.
  for (WORD tag : {WAVE_FORMAT_ADPCM, WAVE_FORMAT_UNKNOWN, WAVE_FORMAT_EXTENSIBLE}) {
    const WORD subFormat = WAVE_FORMAT_ALAW;
    Row row = Consistent(tag, subFormat, 2, 12, 44100);
    rows.push_back(row);
    row = Consistent(tag, subFormat, 2, 16, 44100);
    row.blockAlign = 3;
    rows.push_back(row);
    row = Consistent(tag, subFormat, 2, 16, 44100);
    row.byteRate = 0;
    rows.push_back(row);
    rows.push_back(Consistent(tag, subFormat, 0, 16, 44100));
    rows.push_back(Consistent(tag, subFormat, 2, 16, 0));
  }
  Row bad = Consistent(extensible, WAVE_FORMAT_PCM, 2, 16, 44100);
  bad.cbSize = 2;
  bad.blockAlign = 3;
  rows.push_back(bad);
  bad.cbSize = 23;
  rows.push_back(bad);
  bad = Consistent(extensible, WAVE_FORMAT_PCM, 2, 16, 44100);
  bad.validBits = 17;
  bad.blockAlign = 3;
  rows.push_back(bad);

  // Rates: zero with a byte rate, and the largest.
  Row zeroRate = Consistent(WAVE_FORMAT_PCM, 0, 2, 16, 0);
  zeroRate.byteRate = 176400;
  rows.push_back(zeroRate);
  for (DWORD rate : {1000000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    Row row = Consistent(WAVE_FORMAT_PCM, 0, 1, 8, rate);
    rows.push_back(row);
  }
  return rows;
}

HRESULT Create(IDirectSound* sound, const Row& row) {
  // Room for any cbSize, so that nothing is read past the block.
  std::vector<BYTE> block(sizeof(WAVEFORMATEX) + 65536, 0);
  auto* format = reinterpret_cast<WAVEFORMATEX*>(block.data());
  format->wFormatTag = row.tag;
  format->nChannels = row.channels;
  format->nSamplesPerSec = row.rate;
  format->nAvgBytesPerSec = row.byteRate;
  format->nBlockAlign = row.blockAlign;
  format->wBitsPerSample = row.bits;
  format->cbSize = row.cbSize;
  if (row.tag == WAVE_FORMAT_EXTENSIBLE) {
    auto* extensible = reinterpret_cast<WAVEFORMATEXTENSIBLE*>(format);
    extensible->Samples.wValidBitsPerSample = row.validBits;
    extensible->dwChannelMask = row.channelMask;
    // The sub-formats for wave tags share one GUID but for its first field.
    extensible->SubFormat = {
        row.subFormat, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
  }
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = kFlags;
  desc.dwBufferBytes = kBufferBytes;
  desc.lpwfxFormat = format;
  IDirectSoundBuffer* buffer = nullptr;
  const HRESULT result = sound->CreateSoundBuffer(&desc, &buffer, nullptr);
  if (buffer)
    buffer->Release();
  return result;
}

const char* Name(HRESULT result) {
  switch (result) {
  case DS_OK:
    return "DS_OK";
  case DSERR_BADFORMAT:
    return "DSERR_BADFORMAT";
  case DSERR_INVALIDPARAM:
    return "DSERR_INVALIDPARAM";
  case DSERR_CONTROLUNAVAIL:
    return "DSERR_CONTROLUNAVAIL";
  case DSERR_OUTOFMEMORY:
    return "DSERR_OUTOFMEMORY";
  case DSERR_GENERIC:
    return "DSERR_GENERIC";
  case E_NOTIMPL:
    return "E_NOTIMPL";
  default:
    return "other";
  }
}

// "Wine 8.0", or "Windows" on a system that is not Wine.
std::string SystemName() {
  using GetVersion = const char*(CDECL*)();
  const auto version = reinterpret_cast<GetVersion>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")));
  return version ? std::string("Wine ") + version() : "Windows";
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: format_probe OUTPUT\n");
    return 2;
  }
  IDirectSound* sound = nullptr;
  if (FAILED(DirectSoundCreate(nullptr, &sound, nullptr))) {
    std::fprintf(stderr, "format_probe: no sound device\n");
    return 1;
  }
  if (FAILED(sound->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY))) {
    std::fprintf(stderr, "format_probe: SetCooperativeLevel failed\n");
    sound->Release();
    return 1;
  }
  FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::perror(argv[1]);
    sound->Release();
    return 1;
  }
  std::fprintf(out, "# %s: CreateSoundBuffer's answer for each format.\n", SystemName().c_str());
  std::fprintf(out, "# Written by tests/win/format_probe/record-format-answers; do not edit.\n");
  std::fprintf(out, "tag\tsubformat\tchannels\trate\tbits\tblockalign\tbyterate\tcbsize"
                    "\tvalidbits\tmask\tresult\tname\n");
  for (const Row& row : Grid()) {
    const HRESULT result = Create(sound, row);
    char subFormat[8] = "-";
    if (row.subFormat != kNotExtensible)
      std::snprintf(subFormat, sizeof subFormat, "0x%04x", row.subFormat);
    std::fprintf(out, "0x%04x\t%s\t%u\t%lu\t%u\t%u\t%lu\t%u\t%u\t0x%08lx\t0x%08lx\t%s\n", row.tag,
                 subFormat, row.channels, static_cast<unsigned long>(row.rate), row.bits,
                 row.blockAlign, static_cast<unsigned long>(row.byteRate), row.cbSize,
                 row.validBits, static_cast<unsigned long>(row.channelMask),
                 static_cast<unsigned long>(result), Name(result));
  }
  sound->Release();
  if (std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
