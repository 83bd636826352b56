// The plugin's run fed random atom sequences across blocks: MIDI of any bytes, patch
// messages with values of any type, objects and events whose sizes lie. One instance with
// a kit loaded plays through every input, its worker answering at once, as a host without
// a worker thread does.
#include "tests/support/wav_files.h"

#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

namespace {

std::map<std::string, LV2_URID> ids;
std::vector<std::string> names;

LV2_URID Map(LV2_URID_Map_Handle, const char* uri) {
  auto it = ids.find(uri);
  if (it != ids.end())
    return it->second;
  names.push_back(uri);
  return ids[uri] = static_cast<LV2_URID>(names.size());
}

int VPrintf(LV2_Log_Handle, LV2_URID, const char*, va_list) {
  return 0;
}

int Printf(LV2_Log_Handle, LV2_URID, const char*, ...) {
  return 0;
}

struct Host {
  const LV2_Descriptor* descriptor = nullptr;
  LV2_Handle plugin = nullptr;
  const LV2_Worker_Interface* worker = nullptr;
  LV2_URID_Map map{nullptr, Map};
  LV2_Log_Log log{nullptr, Printf, VPrintf};
  LV2_Worker_Schedule schedule{this, Schedule};
  alignas(8) uint8_t control[65536];
  alignas(8) uint8_t notify[65536];
  float out[2][1024];
  float freewheel = 0;
  std::string kit;

  static LV2_Worker_Status Respond(LV2_Worker_Respond_Handle handle, uint32_t size,
                                   const void* data) {
    auto* host = static_cast<Host*>(handle);
    return host->worker->work_response(host->plugin, size, data);
  }
  static LV2_Worker_Status Schedule(LV2_Worker_Schedule_Handle handle, uint32_t size,
                                    const void* data) {
    auto* host = static_cast<Host*>(handle);
    return host->worker->work(host->plugin, Respond, host, size, data);
  }
};

void WriteKit(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  std::string json = "{\"keys\": [";
  for (int key = 0; key < 4; ++key) {
    wavfile::Format format;
    format.rate = 44100;
    std::ofstream(folder / ("k" + std::to_string(key) + ".wav"), std::ios::binary)
        << wavfile::Wav(format, size_t(800 + 400 * key));
    json += std::string(key ? ", " : "") + "{\"sample\": \"k" + std::to_string(key) +
            ".wav\", \"key\": " + std::to_string(36 + key) + (key == 3 ? ", \"loop\": true" : "") +
            "}";
  }
  std::ofstream(folder / "kit.json") << json << "]}";
}

Host* Start() {
  static Host host;
  host.descriptor = lv2_descriptor(0);
  static const LV2_Feature mapFeature{LV2_URID__map, &host.map};
  static const LV2_Feature logFeature{LV2_LOG__log, &host.log};
  static const LV2_Feature scheduleFeature{LV2_WORKER__schedule, &host.schedule};
  static const LV2_Feature* features[] = {&mapFeature, &logFeature, &scheduleFeature, nullptr};
  host.plugin = host.descriptor->instantiate(host.descriptor, 44100, ZA32_LV2_BUNDLE, features);
  if (!host.plugin)
    std::abort();
  host.worker = static_cast<const LV2_Worker_Interface*>(
      host.descriptor->extension_data(LV2_WORKER__interface));
  host.descriptor->connect_port(host.plugin, 0, host.control);
  host.descriptor->connect_port(host.plugin, 1, host.notify);
  host.descriptor->connect_port(host.plugin, 2, host.out[0]);
  host.descriptor->connect_port(host.plugin, 3, host.out[1]);
  host.descriptor->connect_port(host.plugin, 4, &host.freewheel);
  host.descriptor->activate(host.plugin);

  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("za32-lv2-fuzz-" + std::to_string(getpid()));
  WriteKit(folder);
  host.kit = (folder / "kit.json").string();
  LV2_Atom_Forge forge;
  lv2_atom_forge_init(&forge, &host.map);
  lv2_atom_forge_set_buffer(&forge, host.control, sizeof host.control);
  LV2_Atom_Forge_Frame sequence, object;
  lv2_atom_forge_sequence_head(&forge, &sequence, 0);
  lv2_atom_forge_frame_time(&forge, 0);
  lv2_atom_forge_object(&forge, &object, 0, Map(nullptr, LV2_PATCH__Set));
  lv2_atom_forge_key(&forge, Map(nullptr, LV2_PATCH__property));
  lv2_atom_forge_urid(&forge, Map(nullptr, "urn:zandoria:za32#kit"));
  lv2_atom_forge_key(&forge, Map(nullptr, LV2_PATCH__value));
  lv2_atom_forge_path(&forge, host.kit.c_str(), static_cast<uint32_t>(host.kit.size()));
  lv2_atom_forge_pop(&forge, &object);
  lv2_atom_forge_pop(&forge, &sequence);
  reinterpret_cast<LV2_Atom*>(host.notify)->size = sizeof host.notify - sizeof(LV2_Atom);
  host.descriptor->run(host.plugin, 64);
  host.descriptor->run(host.plugin, 64); // the load is sent at the end of the first block
  // Every key played once, so that what the engine makes on its first notes is made now.
  lv2_atom_forge_set_buffer(&forge, host.control, sizeof host.control);
  lv2_atom_forge_sequence_head(&forge, &sequence, 0);
  for (uint8_t note = 36; note < 40; ++note) {
    const uint8_t on[3] = {0x99, note, 100};
    lv2_atom_forge_frame_time(&forge, note - 36);
    lv2_atom_forge_atom(&forge, 3, Map(nullptr, LV2_MIDI__MidiEvent));
    lv2_atom_forge_write(&forge, on, 3);
  }
  lv2_atom_forge_pop(&forge, &sequence);
  host.descriptor->run(host.plugin, 512);
  std::filesystem::remove_all(folder);
  // Freed at exit, so that the leak check at the end sees nothing left.
  std::atexit([] { host.descriptor->cleanup(host.plugin); });
  return &host;
}

struct Input {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  bool More() const { return at < size; }
};

} // namespace

// What an engine copy leaves behind when it unloads is left out of the leak check by
// instance/engine_instance.cpp.

// The plugin and its kit live for the whole run: made before the first input, so that
// the leak check does not count them against it.
Host* host = nullptr;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  host = Start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const LV2_URID kTypes[] = {
      Map(nullptr, LV2_MIDI__MidiEvent),      Map(nullptr, LV2_ATOM__Object),
      Map(nullptr, LV2_ATOM__Blank),          Map(nullptr, LV2_ATOM__Path),
      Map(nullptr, LV2_ATOM__String),         Map(nullptr, LV2_ATOM__Int),
      Map(nullptr, LV2_ATOM__URID),           Map(nullptr, LV2_PATCH__Set),
      Map(nullptr, LV2_PATCH__Get),           Map(nullptr, LV2_PATCH__property),
      Map(nullptr, LV2_PATCH__value),         Map(nullptr, "urn:zandoria:za32#kit"),
      Map(nullptr, "urn:zandoria:za32#error")};
  constexpr size_t kTypeCount = sizeof kTypes / sizeof kTypes[0];
  LV2_Atom_Forge forge;
  lv2_atom_forge_init(&forge, &host->map);

  Input in{data, size};
  for (int block = 0; block < 16 && in.More(); ++block) {
    uint32_t frames = (in.Byte() * 7u) % 1024;
    lv2_atom_forge_set_buffer(&forge, host->control, sizeof host->control);
    LV2_Atom_Forge_Frame sequence;
    lv2_atom_forge_sequence_head(&forge, &sequence, 0);
    int events = in.Byte() % 16;
    for (int e = 0; e < events && in.More(); ++e) {
      int16_t frame = static_cast<int16_t>(in.Byte() | (in.Byte() << 8));
      uint8_t kind = in.Byte();
      uint8_t length = in.Byte() % 64;
      std::string body;
      for (int i = 0; i < length; ++i)
        body += static_cast<char>(in.Byte());
      lv2_atom_forge_frame_time(&forge, frame);
      switch (kind % 6) {
      case 0:
      case 1: // MIDI of any bytes
        lv2_atom_forge_atom(&forge, length, kTypes[0]);
        lv2_atom_forge_write(&forge, body.data(), length);
        break;
      case 2: { // a patch message; a path value never names a real file
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_object(&forge, &object, 0, kTypes[7 + (kind >> 3) % 2]);
        lv2_atom_forge_key(&forge, kTypes[9]);
        lv2_atom_forge_urid(&forge, kTypes[(kind >> 4) % kTypeCount]);
        lv2_atom_forge_key(&forge, kTypes[10]);
        std::string value = (kind & 0x40) ? "/nonexistent/" + body : body;
        lv2_atom_forge_atom(&forge, static_cast<uint32_t>(value.size()),
                            kTypes[(kind >> 5) % kTypeCount]);
        lv2_atom_forge_write(&forge, value.data(), static_cast<uint32_t>(value.size()));
        lv2_atom_forge_pop(&forge, &object);
        break;
      }
      case 3: // an object whose properties are any bytes, their sizes included
        lv2_atom_forge_atom(&forge, length, kTypes[1 + (kind >> 3) % 2]);
        lv2_atom_forge_write(&forge, body.data(), length);
        break;
      case 4: // any type at all
        lv2_atom_forge_atom(&forge, length, kTypes[(kind >> 3) % kTypeCount] + (kind >> 7));
        lv2_atom_forge_write(&forge, body.data(), length);
        break;
      default: // an event's header made of the input: its size may run past the end
               // (the forge pads what it writes to 8 bytes)
        lv2_atom_forge_write(&forge, body.data(), length);
        break;
      }
    }
    lv2_atom_forge_pop(&forge, &sequence);
    reinterpret_cast<LV2_Atom*>(host->notify)->size = sizeof host->notify - sizeof(LV2_Atom);
    host->descriptor->run(host->plugin, frames);
    for (uint32_t i = 0; i < frames; ++i)
      if (host->out[0][i] != host->out[0][i] || host->out[1][i] != host->out[1][i])
        std::abort(); // not a number
  }
  // Silence for the next input: all sound off on every channel, the bend centred.
  lv2_atom_forge_set_buffer(&forge, host->control, sizeof host->control);
  LV2_Atom_Forge_Frame sequence;
  lv2_atom_forge_sequence_head(&forge, &sequence, 0);
  for (uint8_t channel = 0; channel < 16; ++channel) {
    const uint8_t off[3] = {uint8_t(0xB0 | channel), 120, 0};
    const uint8_t bend[3] = {uint8_t(0xE0 | channel), 0, 64};
    for (const uint8_t* message : {off, bend}) {
      lv2_atom_forge_frame_time(&forge, 0);
      lv2_atom_forge_atom(&forge, 3, kTypes[0]);
      lv2_atom_forge_write(&forge, message, 3);
    }
  }
  lv2_atom_forge_pop(&forge, &sequence);
  host->descriptor->run(host->plugin, 16);
  return 0;
}
