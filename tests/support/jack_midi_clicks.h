// A JACK client that plays a click track as MIDI, each note-on at its exact frame, and
// listens to an audio port for the clicks coming back: how many frames after its note
// each click was heard.
#pragma once

#include <jack/jack.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class JackMidiClicks {
public:
  // `clicks` note-ons of `note` every `interval` frames, each let go 10 frames later.
  JackMidiClicks(int note, uint32_t interval, int clicks);
  ~JackMidiClicks();
  JackMidiClicks(const JackMidiClicks&) = delete;
  JackMidiClicks& operator=(const JackMidiClicks&) = delete;

  bool ok() const { return client_ != nullptr; }
  // Connects the MIDI output to `midiInput` and `audioOutput` to the listening port,
  // waiting up to a few seconds for both to appear. False if they do not.
  bool Connect(const std::string& midiInput, const std::string& audioOutput);
  // Sends the clicks, starting a tenth of a second from now; waits until all are sent
  // and the last has had `listenFrames` to come back.
  void Play(uint32_t listenFrames);
  struct Click {
    jack_nframes_t sent;  // JACK frame time of the note-on
    int64_t latency = -1; // frames until it was heard back; -1: never heard
    // The server skipped a cycle, or reported an xrun (a client it skipped), between the
    // previous click and this one being heard (a machine too busy for a server without
    // real-time priority): timing across such a gap says nothing about the client.
    bool disturbed = false;
  };
  std::vector<Click> Clicks() const;

private:
  static int Process(jack_nframes_t frames, void* self);
  static int Xrun(void* self);
  int note_;
  uint32_t interval_;
  int clicks_;
  jack_client_t* client_ = nullptr;
  jack_port_t* midiOut_ = nullptr;
  jack_port_t* audioIn_ = nullptr;
  std::atomic<bool> playing_{false};
  std::atomic<int> sent_{0};
  jack_nframes_t start_ = 0;
  bool silent_ = true;
  jack_nframes_t nextCycle_ = 0;
  // Written by the process thread while playing, read after.
  std::vector<jack_nframes_t> notesAt_, heardAt_, skippedAt_;
  // Written by the server's notification thread.
  std::array<std::atomic<jack_nframes_t>, 256> xrunsAt_{};
  std::atomic<size_t> xruns_{0};
};
