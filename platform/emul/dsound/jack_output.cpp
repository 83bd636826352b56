// A JACK client "za32" with two audio ports, out_1 and out_2, fed one server period at a
// time; the server's rate, period and clock rule. A host may give it a MIDI input port as
// well: JACK runs whatever feeds that port first, so its events of a period are played
// in that same period.
#include "output_backend.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <vector>

namespace dsemu {
namespace {

// The most frames mixed at a time; a longer server period is mixed in pieces.
constexpr size_t kMostFrames = 8192;

FillFunction filler = nullptr;
void* fillContext = nullptr;
jack_client_t* client = nullptr;
jack_port_t* ports[2] = {nullptr, nullptr};
jack_port_t* midiPort = nullptr;
std::atomic<bool> running{false};
jack_nframes_t cycleStart = 0;
// The period in progress, and the piece of it being filled.
jack_nframes_t cycleFrames = 0;
jack_nframes_t pieceStart = 0;
jack_nframes_t pieceFrames = 0;
std::atomic<unsigned> periodFrames{0};

int Process(jack_nframes_t frames, void*) {
  float* out[2] = {static_cast<float*>(jack_port_get_buffer(ports[0], frames)),
                   static_cast<float*>(jack_port_get_buffer(ports[1], frames))};
  if (!running.load(std::memory_order_acquire)) {
    for (float* channel : out)
      std::fill_n(channel, frames, 0.0f);
    return 0;
  }
  cycleFrames = frames;
  for (jack_nframes_t done = 0; done < frames;) {
    const jack_nframes_t count =
        static_cast<jack_nframes_t>(std::min<size_t>(kMostFrames, frames - done));
    cycleStart = jack_last_frame_time(client) + done;
    pieceStart = done;
    pieceFrames = count;
    float* const channels[2] = {out[0] + done, out[1] + done};
    filler(fillContext, channels, count);
    done += count;
  }
  return 0;
}

int PeriodChanged(jack_nframes_t frames, void*) {
  periodFrames = frames;
  return 0;
}

void ServerGone(void*) {
  running = false;
}

void Release() {
  if (client)
    jack_client_close(client);
  client = nullptr;
  ports[0] = ports[1] = midiPort = nullptr;
}

bool Open(FillFunction fill, void* context, unsigned* rate, unsigned* period, std::string* reason) {
  jack_status_t status{};
  client = jack_client_open("za32", JackNoStartServer, &status);
  if (!client) {
    *reason = "no JACK server is running";
    return false;
  }
  ports[0] = jack_port_register(client, "out_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  ports[1] = jack_port_register(client, "out_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  if (!ports[0] || !ports[1]) {
    *reason = "cannot register the JACK ports out_1 and out_2";
    Release();
    return false;
  }
  filler = fill;
  fillContext = context;
  *rate = jack_get_sample_rate(client);
  periodFrames = jack_get_buffer_size(client);
  jack_set_process_callback(client, Process, nullptr);
  jack_set_buffer_size_callback(client, PeriodChanged, nullptr);
  jack_on_shutdown(client, ServerGone, nullptr);
  *period = periodFrames;
  return true;
}

// Connects to the server's playback ports where it has them; without, the ports are
// there for the user to connect.
void ConnectPlayback() {
  const char** playback = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                         JackPortIsPhysical | JackPortIsInput);
  if (!playback)
    return;
  for (int channel = 0; channel < 2 && playback[0]; ++channel) {
    const char* to = playback[channel == 1 && playback[1] ? 1 : 0];
    jack_connect(client, jack_port_name(ports[channel]), to);
  }
  jack_free(playback);
}

bool Start(std::string* reason) {
  running = true;
  if (jack_activate(client) != 0) {
    running = false;
    *reason = "the JACK server would not activate the client";
    return false;
  }
  ConnectPlayback();
  return true;
}

void Stop() {
  running = false;
  jack_deactivate(client); // returns once the process callback is out of use
}

void Close() {
  Release();
}

unsigned FramesIntoPeriod() {
  return client ? jack_frames_since_cycle_start(client) : 0;
}

// What was mixed in one period is played during the next.
unsigned Held() {
  return periodFrames;
}

uint32_t PeriodStartTime() {
  return cycleStart;
}

bool OpenMidiInput(const char* port, std::string* fullName, std::string* reason) {
  if (!midiPort)
    midiPort = jack_port_register(client, port, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (!midiPort) {
    *reason = std::string("cannot register the JACK MIDI port ") + port;
    return false;
  }
  *fullName = jack_port_name(midiPort);
  return true;
}

void PeriodMidi(MidiFunction take, void* context) {
  if (!midiPort)
    return;
  void* buffer = jack_port_get_buffer(midiPort, cycleFrames);
  const uint32_t count = jack_midi_get_event_count(buffer);
  for (uint32_t i = 0; i < count; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, buffer, i) != 0 || event.time < pieceStart)
      continue;
    if (event.time >= pieceStart + pieceFrames)
      break; // events come in time order
    take(context, event.time - pieceStart, event.buffer, event.size);
  }
}

} // namespace

const OutputBackend kJackOutput{
    "jack",          true,          Open,      Start, Stop, Close, FramesIntoPeriod, Held,
    PeriodStartTime, OpenMidiInput, PeriodMidi};

} // namespace dsemu
