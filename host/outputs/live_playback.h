// A kit played live: its engine instances pulled by an audio output's own callback (the
// system's output through SDL2, a JACK client, or the null output's wall-clock thread),
// at the output's rate. The host's thread posts messages at output frames; live MIDI goes
// from its inbox straight to the callback, or, on JACK, from the output's own MIDI port,
// each event at its frame of the period it came in.
//
// Threads: the constructor, Post, Drain and the destructor are the host's; the callback
// renders on the output's thread. They share only lock-free ring buffers and atomics.
#pragma once

#include "host/outputs/engine_session.h"
#include "host/outputs/wav_file.h"
#include "host/sources/midi_input.h"
#include "instance/kit_player.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <jack/ringbuffer.h>

namespace dsemu {
struct OutputBackend;
}

class LivePlayback {
public:
  // Opens the output (SDL2 at 44,100 Hz, JACK at the server's rate, null at 44,100 Hz)
  // with `period` frames (0: its default), loads the kit at its rate and starts. HostError
  // when the output cannot be had or the kit cannot be loaded; SDL2 falls back to null.
  LivePlayback(AudioOutput output, const Kit& kit, unsigned period);
  ~LivePlayback(); // plays out what the output holds, then stops
  LivePlayback(const LivePlayback&) = delete;
  LivePlayback& operator=(const LivePlayback&) = delete;

  uint32_t rate() const { return rate_; }
  unsigned period() const { return period_; }
  const char* outputName() const;
  // Output frames rendered so far: the output's clock.
  uint64_t Frames() const { return frames_.load(std::memory_order_acquire); }
  unsigned SoundingVoices() const { return voices_.load(std::memory_order_relaxed); }
  // Messages that acted later than their frame asked for.
  uint64_t LateMessages() const { return late_.load(std::memory_order_relaxed); }
  // Note-ons taken from the MIDI inbox, and recorded frames lost for want of draining.
  uint64_t MidiNotes() const { return notes_.load(std::memory_order_relaxed); }
  uint64_t DroppedFrames() const { return dropped_.load(std::memory_order_relaxed); }

  // A message due at output frame `frame`; one already past acts at the next frame
  // rendered. False when the queue is full.
  bool Post(uint64_t frame, const EngineMessage& message);
  // Every note off, at the next frame rendered.
  void AllNotesOff();
  // MIDI from `inbox` from now on, read by the callback (the inbox's one reader); its
  // messages act at the start of the period they are taken in.
  void TakeMidiFrom(MidiInbox* inbox);
  // Where the output takes MIDI in step with its periods (JACK): opens its MIDI port, whose
  // events the callback plays at their frames; the port's full name. Empty where the
  // output has no MIDI port or it cannot be made (`why` then says why, where it can).
  std::string OpenMidiPort(std::string* why);
  // Also record what is played, 16 bits as the device makes them, to `recording`; the
  // host drains it with Drain.
  void RecordTo(WavWriter* recording);
  // Writes what was recorded since the last call (host thread).
  void Drain();

private:
  static void Fill(void* context, float* const* channels, size_t count);
  void Render(float* const* channels, size_t count);
  void PlayMidi();
  static void PlayPortMidi(void* context, uint32_t frame, const uint8_t* bytes, size_t size);
  void CountNote(uint8_t status, uint8_t velocity);

  struct Timed {
    uint64_t frame;
    UINT message; // za32::kAllNotesOff for every note off
    LPARAM lParam;
  };

  const dsemu::OutputBackend* backend_ = nullptr;
  uint32_t rate_ = 0;
  unsigned period_ = 0;
  std::unique_ptr<za32::KitPlayer> player_;
  jack_ringbuffer_t* messages_ = nullptr; // Timed, host -> callback
  jack_ringbuffer_t* recorded_ = nullptr; // int16 frames, callback -> host
  std::atomic<MidiInbox*> inbox_{nullptr};
  std::atomic<bool> midiPort_{false}; // the output's MIDI port is open
  std::atomic<WavWriter*> recording_{nullptr};
  std::atomic<uint64_t> frames_{0};
  std::atomic<unsigned> voices_{0};
  std::atomic<uint64_t> late_{0};
  std::atomic<uint64_t> notes_{0};
  std::atomic<uint64_t> dropped_{0};
  std::vector<int16_t> converted_; // one piece, for the recording
};
