// A kit of any size played on engine instances: as many as its keys need (25 keys, and so
// 25 voices, each), with the kit's trigger map and note gate in front of them and their
// buses summed behind. The one player of `za32 render`, `play` and `live` and the plugin.
//
// Threads: Load and the destructor read files and allocate (off the audio thread). The
// rest is for one thread at a time, the audio thread among them: it takes no lock, reads
// no file and allocates nothing. Events are queued for the next Render at frame offsets
// inside its block; a queue that is full drops the event and counts it.
#pragma once

#include "instance/engine_instance.h"
#include "kit/kit_model.h"
#include "kit/midi_events.h"
#include "kit/note_gate.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace za32 {

class KitPlayer {
public:
  // Opens the instances at `rate` and installs the kit (sample paths resolved against its
  // folder). Null, with the reason (the key, its file and why), when it cannot; nothing
  // is left open then.
  static std::unique_ptr<KitPlayer> Load(const Kit& kit, uint32_t rate, std::string* why);
  ~KitPlayer();

  const Kit& kit() const { return kit_; }
  uint32_t rate() const { return rate_; }
  size_t InstanceCount() const { return instances_.size(); }

  // What is due at `frame` of the next block. A note of `trigger` (a MIDI note number or a
  // kit trigger) at `velocity`, 0 for a note-off, through the note gate; false when no key
  // answers it.
  bool Note(uint32_t frame, int trigger, int velocity);
  // Pitch bend, 0 to 127, 64 in the middle, to every instance.
  void Bend(uint32_t frame, int value);
  // One MIDI channel message (note on and off, pitch bend, all notes off and all sound
  // off); `channel` 0 to 15 takes that channel only, -1 all.
  MidiOutcome Midi(uint32_t frame, const uint8_t* bytes, size_t size, int channel = -1);
  // An engine message as the kit's timelines carry it: AM_NOTE to the instance of its key
  // code, AM_BEND to every instance, a setting change (AM_VOLUME, ...) to the instance of
  // the kit's key index in its low word.
  void Post(uint32_t frame, const EngineMessage& message);
  // Every note off, at once, in every instance.
  void AllNotesOff(uint32_t frame);

  // Renders the next `frames` frames with what was queued for them, adding into `out`.
  void Render(uint32_t frames, const BusBuffers& out);

  unsigned SoundingVoices() const;
  // Events dropped because a block's queue was full, since the kit was loaded.
  uint64_t DroppedEvents() const { return dropped_; }
  // What the engines would have shown in message boxes since the last call.
  std::vector<EngineBox> TakeBoxes();

private:
  KitPlayer(const Kit& kit, uint32_t rate);
  void Queue(size_t instance, uint32_t frame, UINT message, LPARAM lParam);

  static constexpr size_t kQueueCapacity = 1024; // events per instance and block

  Kit kit_;
  uint32_t rate_;
  std::vector<std::unique_ptr<EngineInstance>> instances_;
  std::vector<std::vector<InstanceEvent>> queues_; // reserved at load, one per instance
  std::vector<int> instanceOfCode_;                // key code -> instance, -1 none
  NoteGate gate_;
  std::vector<EngineMessage> scratch_; // the gate's output, reserved at load
  uint64_t dropped_ = 0;
};

} // namespace za32
