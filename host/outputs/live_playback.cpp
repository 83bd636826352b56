#include "host/outputs/live_playback.h"

#include "host/host_error.h"
#include "host/outputs/device_samples.h"

#include "platform/emul/dsound/output_backend.h"

#include <jack/ringbuffer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

constexpr size_t kMessageSlots = 8192;
constexpr uint32_t kAskedRate = 44100;
constexpr size_t kMostPiece = 8192;  // frames converted for the recording at a time
constexpr double kRecordSeconds = 4; // what the recording ring holds between drains

const dsemu::OutputBackend* BackendFor(AudioOutput output) {
  switch (output) {
  case AudioOutput::Jack:
    return &dsemu::kJackOutput;
  case AudioOutput::Live:
    return &dsemu::kSdlOutput;
  default:
    return &dsemu::kNullOutput;
  }
}

size_t MidiSize(uint8_t status) {
  const uint8_t kind = status & 0xF0;
  return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
}

} // namespace

LivePlayback::LivePlayback(AudioOutput output, const Kit& kit, unsigned period) {
  backend_ = BackendFor(output);
  unsigned rate = kAskedRate;
  period_ = period ? period : 128;
  std::string reason;
  if (!backend_->open(Fill, this, &rate, &period_, &reason)) {
    if (output != AudioOutput::Live)
      throw HostError("cannot open the " + std::string(backend_->name) + " output: " + reason);
    std::fprintf(stderr,
                 "za32: no audio output device (%s); sound goes to the null output, paced by "
                 "the wall clock\n",
                 reason.c_str());
    backend_ = &dsemu::kNullOutput;
    rate = kAskedRate;
    period_ = period ? period : 128;
    if (!backend_->open(Fill, this, &rate, &period_, &reason))
      throw HostError("cannot open the null output: " + reason);
  }
  rate_ = rate;
  std::string why;
  player_ = za32::KitPlayer::Load(kit, rate_, &why);
  if (!player_) {
    backend_->close();
    throw HostError(why);
  }
  for (const za32::EngineBox& box : player_->TakeBoxes())
    std::fprintf(stderr, "%s: %s\n", box.caption.c_str(), box.text.c_str());
  messages_ = jack_ringbuffer_create(kMessageSlots * sizeof(Timed));
  recorded_ =
      jack_ringbuffer_create(static_cast<size_t>(kRecordSeconds * rate_) * 2 * sizeof(int16_t));
  converted_.resize(2 * kMostPiece);
  if (!messages_ || !recorded_ || !backend_->start(&reason)) {
    backend_->close();
    if (messages_)
      jack_ringbuffer_free(messages_);
    if (recorded_)
      jack_ringbuffer_free(recorded_);
    throw HostError("cannot start the " + std::string(backend_->name) + " output: " + reason);
  }
}

LivePlayback::~LivePlayback() {
  // What the output holds is played out before it stops: the last note is not cut.
  if (const unsigned held = backend_->framesHeld()) {
    const uint64_t until = Frames() + held;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (Frames() < until && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  backend_->stop();
  backend_->close();
  Drain();
  jack_ringbuffer_free(messages_);
  jack_ringbuffer_free(recorded_);
}

const char* LivePlayback::outputName() const {
  return backend_->name;
}

bool LivePlayback::Post(uint64_t frame, const EngineMessage& message) {
  if (jack_ringbuffer_write_space(messages_) < sizeof(Timed))
    return false;
  const Timed timed{frame, message.message, message.lParam};
  jack_ringbuffer_write(messages_, reinterpret_cast<const char*>(&timed), sizeof timed);
  return true;
}

void LivePlayback::AllNotesOff() {
  Post(0, {za32::kAllNotesOff, 0});
}

void LivePlayback::TakeMidiFrom(MidiInbox* inbox) {
  inbox_.store(inbox, std::memory_order_release);
}

void LivePlayback::RecordTo(WavWriter* recording) {
  recording_.store(recording, std::memory_order_release);
}

void LivePlayback::Drain() {
  WavWriter* recording = recording_.load(std::memory_order_acquire);
  std::vector<int16_t> samples(jack_ringbuffer_read_space(recorded_) / sizeof(int16_t) / 2 * 2);
  if (samples.empty())
    return;
  jack_ringbuffer_read(recorded_, reinterpret_cast<char*>(samples.data()),
                       samples.size() * sizeof(int16_t));
  if (recording)
    recording->Write(samples);
}

void LivePlayback::Fill(void* context, float* const* channels, size_t count) {
  static_cast<LivePlayback*>(context)->Render(channels, count);
}

std::string LivePlayback::OpenMidiPort(std::string* why) {
  std::string name;
  if (!backend_->openMidiInput || !backend_->openMidiInput("midi_in", &name, why))
    return {};
  midiPort_.store(true, std::memory_order_release);
  return name;
}

void LivePlayback::CountNote(uint8_t status, uint8_t velocity) {
  notes_.fetch_add((status & 0xF0) == 0x90 && velocity > 0, std::memory_order_relaxed);
}

void LivePlayback::PlayPortMidi(void* context, uint32_t frame, const uint8_t* bytes, size_t size) {
  auto* self = static_cast<LivePlayback*>(context);
  self->player_->Midi(frame, bytes, size);
  if (size == 3)
    self->CountNote(bytes[0], bytes[2]);
}

void LivePlayback::PlayMidi() {
  if (midiPort_.load(std::memory_order_acquire))
    backend_->periodMidi(PlayPortMidi, this);
  MidiInbox* inbox = inbox_.load(std::memory_order_acquire);
  InboxMessage m;
  while (inbox && inbox->Take(&m)) {
    const uint8_t bytes[3] = {m.status, m.data1, m.data2};
    player_->Midi(0, bytes, MidiSize(m.status));
    CountNote(m.status, m.data2);
  }
}

void LivePlayback::Render(float* const* channels, size_t count) {
  const uint64_t start = frames_.load(std::memory_order_relaxed);
  const uint64_t end = start + count;
  Timed timed;
  while (jack_ringbuffer_read_space(messages_) >= sizeof timed) {
    jack_ringbuffer_peek(messages_, reinterpret_cast<char*>(&timed), sizeof timed);
    if (timed.frame >= end)
      break;
    jack_ringbuffer_read_advance(messages_, sizeof timed);
    const uint32_t offset = timed.frame > start ? static_cast<uint32_t>(timed.frame - start) : 0;
    late_.fetch_add(timed.frame < start && timed.frame != 0, std::memory_order_relaxed);
    if (timed.message == za32::kAllNotesOff)
      player_->AllNotesOff(offset);
    else
      player_->Post(offset, {timed.message, timed.lParam});
  }
  PlayMidi();
  std::fill_n(channels[0], count, 0.0f);
  std::fill_n(channels[1], count, 0.0f);
  za32::BusBuffers buses;
  buses.left[0] = channels[0];
  buses.right[0] = channels[1];
  player_->Render(static_cast<uint32_t>(count), buses);
  if (recording_.load(std::memory_order_relaxed)) {
    for (size_t done = 0; done < count;) {
      const size_t piece = std::min(count - done, kMostPiece);
      ToDeviceSamples(channels[0] + done, channels[1] + done, piece, converted_.data());
      const size_t bytes = piece * 2 * sizeof(int16_t);
      if (jack_ringbuffer_write_space(recorded_) >= bytes)
        jack_ringbuffer_write(recorded_, reinterpret_cast<const char*>(converted_.data()), bytes);
      else
        dropped_.fetch_add(piece, std::memory_order_relaxed);
      done += piece;
    }
  }
  voices_.store(player_->SoundingVoices(), std::memory_order_relaxed);
  frames_.store(end, std::memory_order_release);
}
