#include "host/sources/midi_timeline.h"

#include "kit/midi_events.h"

#include <algorithm>
#include <cmath>

Timeline BuildMidiTimeline(const Kit& kit, const MidiSong& song, const MidiPlayOptions& options) {
  std::vector<MidiMessage> ordered = song.messages;
  std::stable_sort(ordered.begin(), ordered.end(), [](const MidiMessage& a, const MidiMessage& b) {
    if (a.frame != b.frame)
      return a.frame < b.frame;
    return MidiOrderRank(a.status, a.data2) < MidiOrderRank(b.status, b.data2);
  });

  Timeline timeline;
  timeline.rate = options.rate;
  NoteGate gate(kit);
  std::vector<EngineMessage> notes;
  for (const MidiMessage& m : ordered) {
    notes.clear();
    MidiOutcome outcome = PlayMidiMessage(gate, m.status, m.data1, m.data2, options.channel, notes);
    bool noteOn = (m.status & 0xF0) == 0x90 && m.data2 > 0;
    if (outcome == MidiOutcome::NoKey && noteOn)
      ++timeline.notesWithoutKey;
    if (outcome == MidiOutcome::Played && noteOn)
      ++timeline.notes;
    for (const EngineMessage& note : notes)
      timeline.messages.push_back({m.frame, note.message, note.lParam});
  }
  double tail = options.tail.value_or(kMaxRingOutSeconds);
  timeline.frames = song.lastFrame + static_cast<uint64_t>(std::llround(tail * options.rate));
  timeline.endWhenSilent = !options.tail;
  return timeline;
}
