// JACK MIDI read directly through libjack: every event keeps its frame within the
// period, which sample-accurate play needs (RtMidi's JACK input gives every event of a
// period the same time). Played through a JACK output, the events go on through the port
// "thru" to the output's own MIDI port: JACK then runs this client first in every period,
// and the output plays each event at its frame of the same period.
#include "host/sources/midi_input.h"

#include "host/host_error.h"

#include <jack/jack.h>
#include <jack/midiport.h>

namespace {

class JackMidiInput : public MidiInput {
public:
  JackMidiInput(MidiInbox& inbox, const std::string& source, const std::string& forwardTo)
      : inbox_(inbox) {
    jack_status_t status;
    client_ = jack_client_open("za32-midi", JackNoStartServer, &status);
    if (!client_)
      throw HostError("no JACK server to take MIDI from (is one running?)");
    port_ = jack_port_register(client_, "za32", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (!forwardTo.empty())
      thru_ = jack_port_register(client_, "thru", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!port_ || (!forwardTo.empty() && !thru_) ||
        jack_set_process_callback(client_, Process, this) != 0 ||
        jack_set_xrun_callback(client_, Xrun, this) != 0 || jack_activate(client_) != 0) {
      jack_client_close(client_);
      throw HostError("the JACK MIDI port za32 cannot be made");
    }
    if (thru_ && jack_connect(client_, jack_port_name(thru_), forwardTo.c_str()) != 0) {
      jack_client_close(client_);
      throw HostError("cannot connect the JACK port " + std::string(jack_port_name(thru_)) +
                      " to " + forwardTo);
    }
    if (!source.empty() && jack_connect(client_, source.c_str(), jack_port_name(port_)) != 0) {
      jack_client_close(client_);
      throw HostError("cannot connect the JACK port \"" + source + "\" to " + PortName());
    }
  }
  ~JackMidiInput() override { jack_client_close(client_); }
  std::string PortName() const override { return jack_port_name(port_); }
  uint64_t MissedPeriods() const override { return xruns_.load(std::memory_order_relaxed); }

private:
  static int Process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JackMidiInput*>(arg);
    void* buffer = jack_port_get_buffer(self->port_, frames);
    void* thru = self->thru_ ? jack_port_get_buffer(self->thru_, frames) : nullptr;
    if (thru)
      jack_midi_clear_buffer(thru);
    const uint32_t count = jack_midi_get_event_count(buffer);
    for (uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0)
        continue;
      // An event the thru port has no room for still plays, at the period's start.
      if (thru && jack_midi_event_write(thru, event.time, event.buffer, event.size) == 0)
        continue;
      self->inbox_.Put({event.buffer[0], event.size > 1 ? event.buffer[1] : uint8_t(0),
                        event.size > 2 ? event.buffer[2] : uint8_t(0)});
    }
    return 0;
  }
  static int Xrun(void* arg) {
    static_cast<JackMidiInput*>(arg)->xruns_.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  MidiInbox& inbox_;
  jack_client_t* client_ = nullptr;
  jack_port_t* port_ = nullptr;
  jack_port_t* thru_ = nullptr; // to the output's MIDI port, where there is one
  std::atomic<uint64_t> xruns_{0};
};

} // namespace

std::unique_ptr<MidiInput> OpenJackMidiInput(MidiInbox& inbox, const std::string& source,
                                             const std::string& forwardTo) {
  return std::make_unique<JackMidiInput>(inbox, source, forwardTo);
}
