// live: the kit played from a MIDI port until Ctrl-C.
#include "host/commands/commands.h"
#include "host/files/kit_file.h"

#include "host/files/interrupt.h"
#include "host/host_error.h"
#include "host/outputs/engine_session.h"
#include "host/outputs/recording.h"
#include "host/sources/midi_input.h"
#include "kit/midi_events.h"

#include "platform/emul/dsound/device_control.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <unistd.h>

namespace {

struct LiveCounts {
  uint64_t notes = 0;   // note-ons received, on keys of the kit or not
  size_t voices = 0;    // sounding now
  uint64_t late = 0;    // buffer commands applied after their due frame
  uint64_t dropped = 0; // messages lost in the inbox and periods the input missed
};

std::string StatusLine(const LiveCounts& counts) {
  char line[160];
  std::snprintf(line, sizeof line, "voices %2zu | notes %llu | late %llu | dropped %llu",
                counts.voices, static_cast<unsigned long long>(counts.notes),
                static_cast<unsigned long long>(counts.late),
                static_cast<unsigned long long>(counts.dropped));
  return line;
}

std::unique_ptr<MidiInput> OpenInput(const LiveOptions& options, MidiInbox& inbox) {
  std::string midi = options.midi;
  if (midi.empty())
    midi = AlsaSequencerPresent() ? "alsa" : "jack";
  if (midi == "alsa")
    return OpenAlsaMidiInput(inbox, options.connect);
  return OpenJackMidiInput(inbox, options.connect);
}

} // namespace

int RunLive(const LiveOptions& options) {
  Kit kit = LoadKit(options.kit);
  CheckKitSamplesExist(kit);
  dsemu::SelectPeriod(options.period);
  AudioOutput output = ChosenAudioOutput(options.audio, false);
  std::optional<Recording> recording;
  if (options.record) {
    std::vector<std::filesystem::path> inputs = KitFiles(kit);
    inputs.push_back(options.kit);
    recording.emplace(*options.record, inputs);
  }
  LiveCounts counts;
  {
    EngineSession engine(output);
    size_t files = engine.InstallKit(kit);
    MidiInbox inbox;
    // The output runs before the port opens, so that no note comes before it can sound.
    std::unique_ptr<MidiInput> input = OpenInput(options, inbox);
    std::printf("playing %s (%zu files) from the MIDI port %s; Ctrl-C to stop\n",
                kit.source.c_str(), files, input->PortName().c_str());
    std::fflush(stdout);

    const bool terminal = isatty(STDOUT_FILENO);
    NoteGate gate(kit);
    std::vector<EngineMessage> notes;
    auto shown = std::chrono::steady_clock::now();
    // Ctrl-C is how live play ends: it ends well (status 0).
    while (!Interrupted()) {
      inbox.Wait(20);
      InboxMessage m;
      while (inbox.Take(&m)) {
        notes.clear();
        PlayMidiMessage(gate, m.status, m.data1, m.data2, -1, notes);
        counts.notes += (m.status & 0xF0) == 0x90 && m.data2 > 0;
        uint64_t due = 0;
        bool timed = m.jackFrame && dsemu::OutputFrameOfJackTime(*m.jackFrame, &due);
        due += input->SlackFrames();
        for (const EngineMessage& note : notes)
          timed ? engine.PostAt(note.message, note.lParam, due)
                : engine.Post(note.message, note.lParam);
      }
      engine.Pump();
      counts.voices = SoundingVoices();
      counts.late = dsemu::LateCommands();
      counts.dropped = inbox.Dropped() + input->MissedPeriods();
      auto now = std::chrono::steady_clock::now();
      if (terminal && now - shown > std::chrono::milliseconds(100)) {
        std::printf("\r%s ", StatusLine(counts).c_str());
        std::fflush(stdout);
        shown = now;
      }
    }
    input.reset(); // no more notes while the engine closes
    if (terminal)
      std::printf("\n");
  } // the device has played out what it mixed
  if (recording)
    recording->Finish();
  std::printf("stopped     %s\n", StatusLine(counts).c_str());
  return 0;
}
