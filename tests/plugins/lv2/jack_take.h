// A take through a JACK program: one client of the test plays MIDI events at their frames
// into the program, another records the program's two audio outputs from the frame the
// first event's time counts from. Two clients, so that the graph runs sender, program,
// recorder in one cycle: what the program does at a frame is recorded at that frame.
// Frames are counted as the cycles process them, not by the server's clock: a server
// without real-time priority skips cycles when the machine is busy, and the frames it
// skips are processed by no client, the program included.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct JackEvent {
  uint32_t frame; // from the take's start
  std::vector<uint8_t> bytes;
};

class JackTake {
public:
  JackTake(std::vector<JackEvent> events, uint32_t frames);
  ~JackTake();
  JackTake(const JackTake&) = delete;
  JackTake& operator=(const JackTake&) = delete;

  bool ok() const { return sender_ && recorder_; }
  // Connects to the program's MIDI input and its two outputs, waiting up to a few seconds
  // for them to appear.
  bool Connect(const std::string& midiInput, const std::string& left, const std::string& right);
  // Plays and records, starting a moment after the connections. False if it took too long.
  bool Play();
  const std::vector<float>& left() const { return left_; }
  const std::vector<float>& right() const { return right_; }

private:
  static int Send(jack_nframes_t frames, void* self);
  static int Record(jack_nframes_t frames, void* self);

  std::vector<JackEvent> events_;
  uint32_t frames_;
  jack_client_t* sender_ = nullptr;
  jack_client_t* recorder_ = nullptr;
  jack_port_t* midiOut_ = nullptr;
  jack_port_t* inLeft_ = nullptr;
  jack_port_t* inRight_ = nullptr;
  std::atomic<bool> playing_{false};
  std::atomic<bool> started_{false};     // the sender's first cycle came
  std::atomic<jack_nframes_t> start_{0}; // its frame time
  uint32_t sent_ = 0;                    // frames the sender's cycles covered
  bool recording_ = false;
  std::atomic<uint32_t> recorded_{0};
  size_t nextEvent_ = 0;
  std::vector<float> left_, right_;
};
