// The audio outputs, each behind the same small table: the device clock runs on them, and
// so do hosts that pull engine instances into them (za32 play and live).
//
// Lifecycle, driven by one owner at a time (the clock or a host):
//   open   takes the output's resources and learns its period; no fill call yet. False,
//          with the reason, when the output cannot be had; nothing is then left open.
//   start  begins the fill calls, from the output's own thread; the first may come
//          before start returns. False with the reason if it cannot; close follows.
//   stop   returns once the last fill call has returned; none comes after it.
//   close  gives back what open took. Called after stop, or after a failed start.
// Fill calls never overlap. Every fill call asks for the next `count` frames of stereo at
// the output's rate, planar float at full scale 1.0, in order, and must be answered in
// time. The clock's fill call runs with the device's state lock taken, so open, start,
// stop and close are never called with that lock held; framesIntoPeriod,
// periodStartTime and periodMidi are, and must not block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dsemu {

using FillFunction = void (*)(void* context, float* const* channels, size_t count);
// One MIDI event of the frames being filled: `frame` counts from the first of them.
using MidiFunction = void (*)(void* context, uint32_t frame, const uint8_t* bytes, size_t size);

struct OutputBackend {
  const char* name;
  // False for the manual clock, which fills only when the host advances it: its
  // commands take effect at once.
  bool realTime;
  // `rate` and `period` (in frames) ask; the output sets them to what it runs at (JACK:
  // the server's). `context` goes to every fill call.
  bool (*open)(FillFunction fill, void* context, unsigned* rate, unsigned* period,
               std::string* reason);
  bool (*start)(std::string* reason);
  void (*stop)();
  void (*close)();
  // Frames the output has heard of the period in progress, where it can tell exactly;
  // null where the clock estimates it from the wall clock.
  unsigned (*framesIntoPeriod)();
  // Frames already handed to the output that it has not yet played when a fill call
  // returns: what must still be fed (silence) before stop, so that nothing is cut.
  unsigned (*framesHeld)();
  // The output's own clock (JACK's frame time) at the first frame of the period being
  // filled; called from inside a fill call. Null where the output has no such clock.
  uint32_t (*periodStartTime)();
  // Where the output takes MIDI in step with its periods (JACK): opens a MIDI input port
  // named `port` beside the audio ports, once open has succeeded (also while running);
  // its full name in `fullName`. Null where the output has no MIDI.
  bool (*openMidiInput)(const char* port, std::string* fullName, std::string* reason);
  // From inside a fill call, once openMidiInput has returned: every event that port
  // received for the frames being filled, in order, each to `take` with its frame among
  // them.
  void (*periodMidi)(MidiFunction take, void* context);
};

extern const OutputBackend kNullOutput; // paced by the wall clock, sound goes nowhere
extern const OutputBackend kSdlOutput;  // the system's audio output through SDL2
extern const OutputBackend kJackOutput; // a client of the running JACK server

} // namespace dsemu
