// An engine instance: a private copy of the engine module (engine, stand-in and software
// device linked into one self-contained object), loaded anew for each instance, so that
// each has its own records, device, windows and message queue. The owner pulls it: it
// asks for a block of frames at its own rate into planar float buffers, with the engine
// messages that fall inside the block at their frame offsets; the instance renders up to
// each message's frame, hands the message to the engine's window procedure on the calling
// thread and goes on, so a message acts at its own frame with no latency.
//
// Threads: each instance is used by one thread at a time; different instances may be
// used from different threads at once. Open, InstallKeys and the destructor read files and
// allocate: call them off the audio thread. Render, once keys are installed, takes no lock
// another thread holds for long, reads no file and allocates nothing.
//
// Nothing process-wide changes: not the working directory (sample names must be absolute),
// the environment, signal handlers, the priority class, or standard output and error. What
// the engine would show in a message box is kept for the owner (TakeBoxes).
#pragma once

#include "engine/za32.h"
#include "platform/emul/dsound/sample_conversion.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace za32 {

inline constexpr uint32_t kMinInstanceRate = 22050;
inline constexpr uint32_t kMaxInstanceRate = 192000;
inline constexpr unsigned kMaxBuses = 16;

// An event whose message is kAllNotesOff calls the engine's AllNotesOff at its frame.
inline constexpr UINT kAllNotesOff = 0;

// A message for the engine window at a frame of the block being rendered.
struct InstanceEvent {
  uint32_t frame; // 0 .. frames - 1 of the block; later frames act at the block's end
  UINT message;   // AM_NOTE, AM_BEND, AM_VOLUME, ...
  LPARAM lParam;
};

// What the engine would have shown in a message box.
struct EngineBox {
  std::string text;
  std::string caption;
  unsigned type; // MB_* flags
};

// Where a block goes. With `buses` 1, every bus is summed into left[0] and right[0]; with
// more, bus b goes to left[b] and right[b] (a null pair drops that bus). Render adds into
// the buffers: the owner clears them, and several instances can add into one set.
struct BusBuffers {
  unsigned buses = 1;
  std::array<float*, kMaxBuses> left{};
  std::array<float*, kMaxBuses> right{};
};

// The engine's keys of one instance and the bus (0 .. kMaxBuses - 1) each plays into.
struct InstanceKeys {
  std::array<KeyRecord, ZA32_KEYS> records{};
  std::array<uint8_t, ZA32_KEYS> buses{};
};

class EngineInstance {
public:
  // Where the engine module (libza32instance.so) is read from, for a program or plugin
  // that carries its own copy. Without it, the module beside the program or library that
  // holds this code, else the one the build made. The bytes are read once, at the first
  // Open: false, changing nothing, for another path after that.
  static bool SetModulePath(const std::string& path);

  // Loads a private copy of the engine and starts it at `rate` (kMinInstanceRate to
  // kMaxInstanceRate). Null, with the reason in `why`, when it cannot.
  static std::unique_ptr<EngineInstance> Open(uint32_t rate, std::string* why);
  ~EngineInstance();
  EngineInstance(const EngineInstance&) = delete;
  EngineInstance& operator=(const EngineInstance&) = delete;

  uint32_t rate() const;

  // Installs the keys (InitialiseKeyMap) and prepares everything render needs. False,
  // with the reason (the key, its file and the engine's message), when a key's sample
  // cannot be loaded; the instance then has the keys it had before.
  bool InstallKeys(const InstanceKeys& keys, std::string* why);
  // The key records as the engine holds them now (sample numbers, playing flags).
  InstanceKeys Keys() const;

  // Renders `frames` frames, adding them into `out`, and applies `events` (in frame
  // order) at their frames.
  void Render(uint32_t frames, const InstanceEvent* events, size_t count, const BusBuffers& out);

  // Voices sounding now.
  unsigned SoundingVoices() const;
  // The message boxes the engine showed since the last call.
  std::vector<EngineBox> TakeBoxes();

  struct Module; // the loaded copy and its entry points

private:
  explicit EngineInstance(std::unique_ptr<Module> module, uint32_t rate);
  std::unique_ptr<Module> module_;
  uint32_t rate_;
  InstanceKeys keys_;
};

// Full scale 1.0 to 16 bits as the sound device does: clipped, rounded to nearest. The
// device's own conversion, so that a 16-bit render of the float mix at 44,100 Hz is the
// classic device's mix sample for sample.
inline int16_t ToDeviceSample(float value) {
  return dsemu::ToSample(value);
}

} // namespace za32
