#include "kit/midi_events.h"

MidiOutcome PlayMidiMessage(NoteGate& gate, uint8_t status, uint8_t data1, uint8_t data2,
                            int channel, std::vector<EngineMessage>& out) {
  if (status < 0x80 || status >= 0xF0 || (channel >= 0 && (status & 0x0F) != channel))
    return MidiOutcome::Ignored;
  switch (status & 0xF0) {
  case 0x90:
    return gate.Note(data1 & 0x7F, data2 & 0x7F, out) ? MidiOutcome::Played : MidiOutcome::NoKey;
  case 0x80:
    return gate.Note(data1 & 0x7F, 0, out) ? MidiOutcome::Played : MidiOutcome::NoKey;
  case 0xE0:
    gate.Bend(data2 & 0x7F, out);
    return MidiOutcome::Played;
  default:
    return MidiOutcome::Ignored;
  }
}

int MidiOrderRank(uint8_t status, uint8_t data2) {
  switch (status & 0xF0) {
  case 0x90:
    return data2 == 0 ? 1 : 2;
  case 0x80:
    return 1;
  default:
    return 0;
  }
}
