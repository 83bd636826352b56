// Plays a timeline: offline on a kit player's engine instances, block by block, each
// message at its frame; or live on the classic engine, on the wall clock.
#pragma once

#include "host/outputs/engine_session.h"
#include "host/outputs/live_playback.h"
#include "host/outputs/mix_sink.h"
#include "host/outputs/wav_file.h"
#include "host/sources/timeline.h"
#include "instance/kit_player.h"

#include <cstdint>

struct PlayStats {
  uint64_t frames = 0;
  int peak = 0;             // largest sample magnitude, 0..32768 (offline only)
  float truePeak = 0;       // the float mix's largest magnitude, 1.0 full scale, where it
                            // reached 16-bit full scale (offline)
  uint64_t clipped = 0;     // samples the 16-bit step clipped (offline)
  size_t maxVoices = 0;     // most voices sounding at once
  double seconds = 0;       // wall-clock time taken
  bool interrupted = false; // live only: SIGINT or SIGTERM stopped it early
};

// Renders `timeline.frames` frames into `out`; the progress bar shows on a terminal for
// renders longer than `progressAfterSeconds` of sound. InterruptedError on SIGINT/SIGTERM.
PlayStats RenderOffline(za32::KitPlayer& player, const Timeline& timeline, MixSink& out,
                        double progressAfterSeconds = 20);
// The classic engine's device on its manual clock for `frames` frames, into `out`, as
// it plays what the host started (an audition). InterruptedError on SIGINT/SIGTERM.
PlayStats RenderDevice(uint64_t frames, FrameSink& out);
// Plays the timeline (built at the playback's rate) as the output pulls it; stops early,
// every note off, on SIGINT or SIGTERM.
PlayStats PlayLive(LivePlayback& playback, const Timeline& timeline);

// "0:16.2"
std::string FormatDuration(uint64_t frames, uint32_t rate = kOutputRate);
// "-3.1 dBFS"
std::string FormatPeak(int peak);
// "+1.2 dBFS", of a float magnitude
std::string FormatLevel(float magnitude);
