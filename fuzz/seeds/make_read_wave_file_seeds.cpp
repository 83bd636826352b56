// Writes the seed corpus of the WAV reader's fuzz target into the directory given: the
// valid and broken files of the reader's tests, built with the same builders.
#include "tests/support/wav_files.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

using namespace wavfile;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s directory\n", argv[0]);
    return 2;
  }
  const std::string directory = argv[1];

  Format mono8;
  mono8.bits = 8;
  mono8.rate = 11025;
  Format stereo16;
  stereo16.channels = 2;
  stereo16.rate = 44100;
  Format adpcm;
  adpcm.tag = 2;
  adpcm.bits = 4;
  adpcm.extra = std::string(32, '\x5a');
  Format extensible;
  extensible.tag = 0xFFFE;
  extensible.channels = 2;
  extensible.extra =
      Le16(16) + Le32(3) + std::string("\x01\0\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71", 16);

  const std::string fmt = Chunk("fmt ", FmtData(stereo16));
  const std::string data = Chunk("data", Frames(stereo16, 16));
  const std::string list = Chunk("LIST", "INFO" + Chunk("INAM", "seed"));
  std::vector<std::pair<std::string, std::string>> seeds = {
      {"pcm8_odd", Wav(mono8, 7)},
      {"pcm16_stereo", Wav(stereo16, 32)},
      {"adpcm_extra32", Wav(adpcm, std::string(40, 'a'))},
      {"extensible", Wav(extensible, 8)},
      {"pcm_fmt18", Riff("WAVE", Chunk("fmt ", FormatFields(stereo16) + Le16(0)) + data)},
      {"data_first", Riff("WAVE", data + list + fmt)},
      {"chunks_between", Riff("WAVE", list + fmt + Chunk("odd ", "xyz") + data)},
      {"fmt14", Riff("WAVE", Chunk("fmt ", FormatFields(stereo16).substr(0, 14)) + data)},
      {"no_data", Riff("WAVE", fmt + list)},
      {"truncated", Riff("WAVE", fmt + ChunkDeclaring("data", 4000, "short"))},
      {"not_wave", Riff("AVI ", fmt + data)},
      {"short_header", std::string("RIFF\x10\0\0\0WA", 10)},
      {"empty", ""},
  };
  for (const auto& [name, bytes] : seeds)
    WriteFile(directory + "/" + name + ".wav", bytes);
  return 0;
}
