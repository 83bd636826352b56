// Plays a timeline on the engine: offline, advancing the device's manual clock from one
// message to the next and writing what it mixes; or live, on the wall clock.
#pragma once

#include "host/outputs/engine_session.h"
#include "host/outputs/wav_file.h"
#include "host/sources/timeline.h"

#include <cstdint>

struct PlayStats {
  uint64_t frames = 0;
  int peak = 0;             // largest sample magnitude, 0..32768 (offline only)
  size_t maxVoices = 0;     // most voices sounding at once
  double seconds = 0;       // wall-clock time taken
  bool interrupted = false; // live only: SIGINT or SIGTERM stopped it early
};

// Renders `timeline.frames` frames into `out`; the progress bar shows on a terminal for
// renders longer than `progressAfterSeconds` of sound. InterruptedError on SIGINT/SIGTERM.
PlayStats RenderOffline(EngineSession& engine, const Timeline& timeline, FrameSink& out,
                        double progressAfterSeconds = 20);
// Stops early, every note off, on SIGINT or SIGTERM.
PlayStats PlayLive(EngineSession& engine, const Timeline& timeline);

// "0:16.2"
std::string FormatDuration(uint64_t frames);
// "-3.1 dBFS"
std::string FormatPeak(int peak);
