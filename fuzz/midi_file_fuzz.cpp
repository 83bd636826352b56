// The MIDI file reader on arbitrary bytes: every input is either read into messages in
// time order or refused with a HostError naming the file; nothing else may happen.
#include "host/host_error.h"
#include "host/sources/midi_file.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  try {
    MidiSong song = ParseMidiFile(bytes, size, "input.mid");
    for (size_t i = 0; i < song.messages.size(); ++i) {
      const MidiMessage& m = song.messages[i];
      if (m.status < 0x80 || m.status >= 0xF0 || m.frame > song.lastFrame ||
          (i > 0 && m.frame < song.messages[i - 1].frame)) {
        std::fprintf(stderr, "invariant broken: channel messages in time order\n");
        std::abort();
      }
    }
  } catch (const HostError& error) {
    if (std::string(error.what()).rfind("input.mid: ", 0) != 0) {
      std::fprintf(stderr, "invariant broken: the error names the file: %s\n", error.what());
      std::abort();
    }
  }
  return 0;
}
