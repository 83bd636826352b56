// Seeds for the MIDI file reader's fuzz target: files of both formats with tempo changes,
// running status, note-offs as velocity 0, pitch bends, meta events short and long, and
// system exclusive and escaped events.
#include "tests/support/midi_files.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace midifile;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s directory\n", argv[0]);
    return 2;
  }
  const std::string tempoTrack =
      Track({{0, Tempo(500000)}, {960, Tempo(250000)}, {0, std::string("\xFF\x01\x02hi", 5)}});
  const std::string drums = Track({{0, "\x99\x24\x64"},
                                   {10, std::string("\x24\x00", 2)},
                                   {470, "\x26\x70"},
                                   {0, "\xE9\x00\x50"},
                                   {5, std::string("\x89\x26\x00", 3)},
                                   {0, std::string("\xF0\x02\x01\xF7", 4)},
                                   {0, std::string("\xF7\x02\xF8\xFA", 4)},
                                   {0, "\xFF\x01" + VariableLength(130) + std::string(130, 'x')}});
  const std::vector<std::string> files = {File(0, 96, {drums}), File(1, 480, {tempoTrack, drums}),
                                          File(1, 1, {tempoTrack})};
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string path = std::string(argv[1]) + "/seed" + std::to_string(i) + ".mid";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(files[i].data(), 1, files[i].size(), file) != files[i].size()) {
      std::perror(path.c_str());
      return 1;
    }
    std::fclose(file);
  }
  return 0;
}
