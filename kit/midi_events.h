// MIDI channel messages as the kit's notes: key code = note number, velocity = velocity
// (a note-on with velocity 0 is a note-off), pitch bend = AM_BEND with the top 7 bits of
// its 14-bit value. Controllers, program changes and pressure play nothing.
#pragma once

#include "kit/note_gate.h"

#include <cstdint>

enum class MidiOutcome { Played, NoKey, Ignored };

// `channel` 0 to 15 takes that channel's messages only; -1 takes all 16.
MidiOutcome PlayMidiMessage(NoteGate& gate, uint8_t status, uint8_t data1, uint8_t data2,
                            int channel, std::vector<EngineMessage>& out);

// Within one moment: bends first, so that a note started there already has them; then
// note-offs, so that a note ended and started at once sounds.
int MidiOrderRank(uint8_t status, uint8_t data2);
