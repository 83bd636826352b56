// Live MIDI input: a port named "za32" that other programs (or a controller) send to.
// Each input delivers its messages from its own thread into a MidiInbox; the host's
// thread takes them from there.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

struct InboxMessage {
  uint8_t status, data1, data2;
};

// One writer thread, one reader thread, no locks and no allocation, so that a JACK
// process callback may write. A full inbox drops the message and counts it.
class MidiInbox {
public:
  MidiInbox();
  ~MidiInbox();
  MidiInbox(const MidiInbox&) = delete;
  MidiInbox& operator=(const MidiInbox&) = delete;

  void Put(const InboxMessage& message); // writer
  bool Take(InboxMessage* message);      // reader
  // Waits up to `milliseconds` for a message to arrive; false if none did.
  bool Wait(unsigned milliseconds);
  uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
  static constexpr size_t kSize = 4096;
  InboxMessage slots_[kSize];
  std::atomic<size_t> head_{0}, tail_{0};
  std::atomic<uint64_t> dropped_{0};
  sem_t arrived_;
};

class MidiInput {
public:
  virtual ~MidiInput() = default;
  // The port's full name as other programs see it.
  virtual std::string PortName() const = 0;
  // Periods the input missed (JACK xruns); 0 where the input cannot tell.
  virtual uint64_t MissedPeriods() const { return 0; }
};

// ALSA sequencer through RtMidi: a client "za32" with an input port "za32". With a
// `source`, the port is connected to the first source port whose name contains it.
// Throws HostError when the sequencer cannot be opened or the source is not found.
std::unique_ptr<MidiInput> OpenAlsaMidiInput(MidiInbox& inbox, const std::string& source);
// JACK MIDI through libjack: a client "za32-midi" with an input port "za32". With
// `forwardTo` (a JACK output's MIDI port), every event goes on there at its frame through
// the port "thru"; without, into `inbox`. Throws HostError when no JACK server runs or a
// port cannot be connected.
std::unique_ptr<MidiInput> OpenJackMidiInput(MidiInbox& inbox, const std::string& source,
                                             const std::string& forwardTo);

// The ALSA sequencer where its device exists, else JACK.
bool AlsaSequencerPresent();
