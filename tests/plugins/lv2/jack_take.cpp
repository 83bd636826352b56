#include "jack_take.h"

#include <jack/midiport.h>

#include <algorithm>
#include <chrono>
#include <thread>

JackTake::JackTake(std::vector<JackEvent> events, uint32_t frames)
    : events_(std::move(events)), frames_(frames), left_(frames, 0.0f), right_(frames, 0.0f) {
  jack_status_t status;
  sender_ = jack_client_open("za32-take-midi", JackNoStartServer, &status);
  recorder_ = jack_client_open("za32-take-audio", JackNoStartServer, &status);
  if (!sender_ || !recorder_)
    return;
  midiOut_ = jack_port_register(sender_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  inLeft_ = jack_port_register(recorder_, "left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  inRight_ = jack_port_register(recorder_, "right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  if (!midiOut_ || !inLeft_ || !inRight_ || jack_set_process_callback(sender_, Send, this) ||
      jack_set_process_callback(recorder_, Record, this) || jack_activate(sender_) ||
      jack_activate(recorder_)) {
    jack_client_close(sender_);
    jack_client_close(recorder_);
    sender_ = recorder_ = nullptr;
  }
}

JackTake::~JackTake() {
  if (sender_)
    jack_client_close(sender_);
  if (recorder_)
    jack_client_close(recorder_);
}

bool JackTake::Connect(const std::string& midiInput, const std::string& left,
                       const std::string& right) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (jack_port_by_name(sender_, midiInput.c_str()) && jack_port_by_name(sender_, left.c_str()) &&
        jack_port_by_name(sender_, right.c_str()))
      return jack_connect(sender_, jack_port_name(midiOut_), midiInput.c_str()) == 0 &&
             jack_connect(recorder_, left.c_str(), jack_port_name(inLeft_)) == 0 &&
             jack_connect(recorder_, right.c_str(), jack_port_name(inRight_)) == 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool JackTake::Play() {
  jack_nframes_t rate = jack_get_sample_rate(sender_);
  // The server orders its graph anew after connections: a few cycles for it to run
  // sender, program, recorder.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  playing_ = true;
  // Cycles come late on a busy machine: ten times the playing time at most.
  auto giveUp =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(10.0 * frames_ / rate + 2);
  while (recorded_ < frames_ && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  playing_ = false;
  jack_deactivate(sender_);
  jack_deactivate(recorder_);
  return recorded_ >= frames_;
}

int JackTake::Send(jack_nframes_t frames, void* arg) {
  auto* self = static_cast<JackTake*>(arg);
  void* midi = jack_port_get_buffer(self->midiOut_, frames);
  jack_midi_clear_buffer(midi);
  if (!self->playing_)
    return 0;
  if (!self->started_) {
    self->start_ = jack_last_frame_time(self->sender_);
    self->started_ = true;
  }
  while (self->nextEvent_ < self->events_.size()) {
    const JackEvent& e = self->events_[self->nextEvent_];
    if (e.frame >= self->sent_ + frames)
      break;
    jack_midi_event_write(midi, e.frame - self->sent_, e.bytes.data(), e.bytes.size());
    ++self->nextEvent_;
  }
  self->sent_ += frames;
  return 0;
}

int JackTake::Record(jack_nframes_t frames, void* arg) {
  auto* self = static_cast<JackTake*>(arg);
  const auto* left = static_cast<const float*>(jack_port_get_buffer(self->inLeft_, frames));
  const auto* right = static_cast<const float*>(jack_port_get_buffer(self->inRight_, frames));
  // The graph runs the sender first: its first cycle is this one.
  if (!self->recording_)
    self->recording_ = self->started_ && jack_last_frame_time(self->recorder_) == self->start_;
  if (!self->recording_)
    return 0;
  uint32_t at = self->recorded_;
  for (jack_nframes_t f = 0; f < frames && at + f < self->frames_; ++f) {
    self->left_[at + f] = left[f];
    self->right_[at + f] = right[f];
  }
  self->recorded_ = std::min(self->frames_, at + frames);
  return 0;
}
