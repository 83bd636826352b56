// The registry of live objects and what tests and hosts may read of it.
#include "buffer_commands.h"
#include "device_control.h"
#include "faults.h"
#include "objects.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace dsemu {
namespace {

BufferState StateOf(const Buffer& buffer) {
  BufferState state{};
  state.buffer = const_cast<Buffer*>(&buffer);
  state.primary = buffer.primary;
  state.size = buffer.Bytes();
  state.flags = buffer.flags;
  std::memcpy(&state.format, buffer.formatBlock.data(), sizeof(WAVEFORMATEX));
  const ShownState shown = Shown(buffer);
  state.frequency = shown.frequency;
  state.volume = shown.volume;
  state.pan = shown.pan;
  state.playing = shown.playing;
  state.looping = shown.looping;
  state.position = shown.cursor.frame * buffer.format.blockAlign;
  state.duplicateOf = buffer.original;
  state.references = buffer.references;
  return state;
}

} // namespace

// These live as long as the process, never destroyed at exit: a mixer thread may still
// run while the process exits. A private copy frees them before it is unloaded.
// Nothing to destroy: it outlives any mixer thread, and goes with the code when a
// private copy of the device is unloaded.
static_assert(std::is_trivially_destructible_v<StateMutex>);

StateMutex& StateLock() {
  static StateMutex lock;
  return lock;
}

bool SelectUnguardedState() {
  StateMutex& lock = StateLock();
  lock.lock();
  const bool none = LiveDeviceList().empty() && LiveBufferList().empty();
  lock.unlock();
  if (none) {
    lock.guarded = false;
    UnguardFaults();
  }
  return none;
}

static Releasable<std::vector<Buffer*>>& LiveBuffersHeld() {
  static Releasable<std::vector<Buffer*>> list;
  return list;
}

std::vector<Buffer*>& LiveBufferList() {
  return LiveBuffersHeld().Get();
}

static Releasable<std::vector<Device*>>& LiveDevicesHeld() {
  static Releasable<std::vector<Device*>> list;
  return list;
}

std::vector<Device*>& LiveDeviceList() {
  return LiveDevicesHeld().Get();
}

static Releasable<std::vector<Buffer*>>& RetiringBuffersHeld() {
  static Releasable<std::vector<Buffer*>> list;
  return list;
}

std::vector<Buffer*>& RetiringBufferList() {
  return RetiringBuffersHeld().Get();
}

void ReleaseObjectLists() {
  if (LiveBufferList().empty())
    LiveBuffersHeld().Release();
  if (RetiringBufferList().empty())
    RetiringBuffersHeld().Release();
  if (LiveDeviceList().empty())
    LiveDevicesHeld().Release();
}

Buffer* FindBuffer(IDirectSoundBuffer* buffer) {
  for (Buffer* live : LiveBufferList())
    if (static_cast<IDirectSoundBuffer*>(live) == buffer)
      return live;
  return nullptr;
}

std::vector<BufferState> LiveBuffers() {
  std::lock_guard guard(StateLock());
  std::vector<BufferState> states;
  states.reserve(LiveBufferList().size());
  for (const Buffer* buffer : LiveBufferList())
    states.push_back(StateOf(*buffer));
  return states;
}

size_t LiveBufferCount() {
  std::lock_guard guard(StateLock());
  return LiveBufferList().size();
}

size_t LiveDeviceCount() {
  std::lock_guard guard(StateLock());
  return LiveDeviceList().size();
}

bool QueryBuffer(IDirectSoundBuffer* buffer, BufferState* state) {
  std::lock_guard guard(StateLock());
  const Buffer* live = FindBuffer(buffer);
  if (!live)
    return false;
  if (state)
    *state = StateOf(*live);
  return true;
}

} // namespace dsemu

namespace dsemu {

bool SetBufferBus(IDirectSoundBuffer* buffer, unsigned bus) {
  std::lock_guard guard(StateLock());
  Buffer* found = FindBuffer(buffer);
  if (!found || bus >= kMaxBuses)
    return false;
  found->bus = bus;
  return true;
}

} // namespace dsemu
