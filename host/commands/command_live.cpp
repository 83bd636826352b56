// live: the kit played from a MIDI port until Ctrl-C.
#include "host/commands/commands.h"
#include "host/files/kit_file.h"

#include "host/files/interrupt.h"
#include "host/files/safe_output.h"
#include "host/host_error.h"
#include "host/outputs/live_playback.h"
#include "host/outputs/wav_file.h"
#include "host/sources/midi_input.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <unistd.h>

namespace {

struct LiveCounts {
  uint64_t notes = 0;   // note-ons received, on keys of the kit or not
  size_t voices = 0;    // sounding now
  uint64_t late = 0;    // events that acted after their due frame
  uint64_t dropped = 0; // messages lost in the inbox, periods the input missed and
                        // recorded frames lost
};

std::string StatusLine(const LiveCounts& counts) {
  char line[160];
  std::snprintf(line, sizeof line, "voices %2zu | notes %llu | late %llu | dropped %llu",
                counts.voices, static_cast<unsigned long long>(counts.notes),
                static_cast<unsigned long long>(counts.late),
                static_cast<unsigned long long>(counts.dropped));
  return line;
}

// JACK MIDI into a JACK output goes on to the output's own MIDI port, so that each event
// plays at its frame of the period it came in.
std::unique_ptr<MidiInput> OpenInput(const LiveOptions& options, MidiInbox& inbox,
                                     LivePlayback& playback) {
  std::string midi = options.midi;
  if (midi.empty())
    midi = AlsaSequencerPresent() ? "alsa" : "jack";
  if (midi == "alsa")
    return OpenAlsaMidiInput(inbox, options.connect);
  std::string why;
  const std::string port = playback.OpenMidiPort(&why);
  if (!why.empty())
    std::fprintf(stderr, "za32: warning: %s; MIDI acts at the start of each period\n", why.c_str());
  return OpenJackMidiInput(inbox, options.connect, port);
}

} // namespace

int RunLive(const LiveOptions& options) {
  Kit kit = LoadKit(options.kit);
  CheckKitSamplesExist(kit);
  AudioOutput output = ChosenAudioOutput(options.audio, false);
  std::vector<std::filesystem::path> inputs = KitFiles(kit);
  inputs.push_back(options.kit);
  if (options.record)
    CheckOutputTarget(*options.record, inputs);
  std::optional<WavWriter> recording;
  LiveCounts counts;
  {
    MidiInbox inbox; // outlives the playback, whose callback reads it
    LivePlayback playback(output, kit, options.period);
    if (options.record) {
      recording.emplace(*options.record, playback.rate(), 2, inputs);
      playback.RecordTo(&*recording);
    }
    // The output runs before the port opens, so that no note comes before it can sound.
    std::unique_ptr<MidiInput> input = OpenInput(options, inbox, playback);
    playback.TakeMidiFrom(&inbox);
    std::printf("playing %s (%zu keys) from the MIDI port %s at %u Hz; Ctrl-C to stop\n",
                kit.source.c_str(), kit.keys.size(), input->PortName().c_str(), playback.rate());
    std::fflush(stdout);

    const bool terminal = isatty(STDOUT_FILENO);
    auto shown = std::chrono::steady_clock::now();
    // Ctrl-C is how live play ends: it ends well (status 0).
    while (!Interrupted()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      playback.Drain();
      counts.notes = playback.MidiNotes();
      counts.voices = playback.SoundingVoices();
      counts.late = playback.LateMessages();
      counts.dropped = inbox.Dropped() + input->MissedPeriods() + playback.DroppedFrames();
      auto now = std::chrono::steady_clock::now();
      if (terminal && now - shown > std::chrono::milliseconds(100)) {
        std::printf("\r%s ", StatusLine(counts).c_str());
        std::fflush(stdout);
        shown = now;
      }
    }
    input.reset(); // no more notes while the output closes
    playback.AllNotesOff();
    if (terminal)
      std::printf("\n");
  } // the output has played out what it was given
  if (recording) {
    recording->Close();
    std::printf("recorded    %s\n", std::filesystem::absolute(*options.record).string().c_str());
  }
  std::printf("stopped     %s\n", StatusLine(counts).c_str());
  return 0;
}
