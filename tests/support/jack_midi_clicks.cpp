#include "jack_midi_clicks.h"

#include <jack/midiport.h>

#include <algorithm>
#include <chrono>
#include <thread>

JackMidiClicks::JackMidiClicks(int note, uint32_t interval, int clicks)
    : note_(note), interval_(interval), clicks_(clicks) {
  notesAt_.reserve(clicks);
  heardAt_.reserve(clicks * 4);
  skippedAt_.reserve(4096);
  jack_status_t status;
  client_ = jack_client_open("za32-clicks", JackNoStartServer, &status);
  if (!client_)
    return;
  midiOut_ = jack_port_register(client_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  audioIn_ = jack_port_register(client_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  if (!midiOut_ || !audioIn_ || jack_set_process_callback(client_, Process, this) != 0 ||
      jack_set_xrun_callback(client_, Xrun, this) != 0 || jack_activate(client_) != 0) {
    jack_client_close(client_);
    client_ = nullptr;
  }
}

JackMidiClicks::~JackMidiClicks() {
  if (client_)
    jack_client_close(client_);
}

bool JackMidiClicks::Connect(const std::string& midiInput, const std::string& audioOutput) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (jack_port_by_name(client_, midiInput.c_str()) &&
        jack_port_by_name(client_, audioOutput.c_str()))
      return jack_connect(client_, jack_port_name(midiOut_), midiInput.c_str()) == 0 &&
             jack_connect(client_, audioOutput.c_str(), jack_port_name(audioIn_)) == 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

void JackMidiClicks::Play(uint32_t listenFrames) {
  const jack_nframes_t rate = jack_get_sample_rate(client_);
  start_ = jack_frame_time(client_) + rate / 10;
  const jack_nframes_t end = start_ + interval_ * clicks_ + listenFrames;
  playing_ = true;
  // On JACK's clock, which a dummy server without real-time priority may run slow; ten
  // times the playing time at most.
  const auto giveUp = std::chrono::steady_clock::now() +
                      std::chrono::duration<double>(10.0 * double(end - start_) / rate + 1);
  while (int32_t(jack_frame_time(client_) - end) < 0 && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  playing_ = false;
  jack_deactivate(client_); // the lists are the caller's from here on
}

std::vector<JackMidiClicks::Click> JackMidiClicks::Clicks() const {
  std::vector<jack_nframes_t> gaps = skippedAt_;
  for (size_t i = 0; i < std::min(xruns_.load(), xrunsAt_.size()); ++i)
    gaps.push_back(xrunsAt_[i].load());
  std::vector<Click> clicks;
  size_t heard = 0;
  for (size_t i = 0; i < notesAt_.size(); ++i) {
    Click click{notesAt_[i]};
    const jack_nframes_t next = i + 1 < notesAt_.size() ? notesAt_[i + 1] : notesAt_[i] + interval_;
    while (heard < heardAt_.size() && int32_t(heardAt_[heard] - notesAt_[i]) < 0)
      ++heard;
    if (heard < heardAt_.size() && int32_t(heardAt_[heard] - next) < 0)
      click.latency = int32_t(heardAt_[heard] - notesAt_[i]);
    const jack_nframes_t from = i > 0 ? notesAt_[i - 1] : notesAt_[i] - interval_;
    const jack_nframes_t to = click.latency >= 0 ? heardAt_[heard] : next;
    for (jack_nframes_t skip : gaps)
      click.disturbed |= int32_t(skip - from) > 0 && int32_t(to - skip) >= 0;
    clicks.push_back(click);
  }
  return clicks;
}

int JackMidiClicks::Xrun(void* arg) {
  auto* self = static_cast<JackMidiClicks*>(arg);
  const size_t at = self->xruns_.fetch_add(1);
  if (at < self->xrunsAt_.size())
    self->xrunsAt_[at] = jack_frame_time(self->client_);
  return 0;
}

int JackMidiClicks::Process(jack_nframes_t frames, void* arg) {
  auto* self = static_cast<JackMidiClicks*>(arg);
  void* midi = jack_port_get_buffer(self->midiOut_, frames);
  jack_midi_clear_buffer(midi);
  const jack_nframes_t first = jack_last_frame_time(self->client_);
  const auto* audio = static_cast<const float*>(jack_port_get_buffer(self->audioIn_, frames));
  if (!self->playing_)
    return 0;
  if (self->nextCycle_ != 0 && first != self->nextCycle_ &&
      self->skippedAt_.size() < self->skippedAt_.capacity())
    self->skippedAt_.push_back(first);
  self->nextCycle_ = first + frames;
  for (jack_nframes_t f = 0; f < frames; ++f) {
    const jack_nframes_t now = first + f;
    const int32_t since = int32_t(now - self->start_);
    if (since >= 0 && since % self->interval_ == 0 && self->sent_ < self->clicks_) {
      const unsigned char on[3] = {0x90, static_cast<unsigned char>(self->note_), 100};
      jack_midi_event_write(midi, f, on, 3);
      self->notesAt_.push_back(now);
      ++self->sent_;
    }
    if (since >= 10 && (since - 10) % self->interval_ == 0 && self->sent_ > 0 &&
        since - 10 < int32_t(self->interval_) * self->clicks_) {
      const unsigned char off[3] = {0x80, static_cast<unsigned char>(self->note_), 0};
      jack_midi_event_write(midi, f, off, 3);
    }
    const bool sounding = audio[f] != 0.0f;
    if (sounding && self->silent_ && self->heardAt_.size() < self->heardAt_.capacity())
      self->heardAt_.push_back(now);
    self->silent_ = !sounding;
  }
  return 0;
}
