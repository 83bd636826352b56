// The device's COM objects and the state they share with the clock and the mixer.
#pragma once

#include "dsound.h"
#include "formats.h"
#include "gains.h"
#include "releasable.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace dsemu {

// One lock guards every device, every buffer and the mixer's view of them. The engine's
// thread takes it for each call, the mixer thread for one period at a time, so no call
// waits longer than one period. A private copy of the device that one thread at a time
// uses on the manual clock (an engine instance) has nothing to guard against: with
// SelectUnguardedState it takes no lock at all.
class StateMutex {
public:
  void lock() {
    if (guarded)
      mutex.lock();
  }
  void unlock() {
    if (guarded)
      mutex.unlock();
  }
  bool guarded = true; // changed only while no device exists
private:
  std::mutex mutex;
};
StateMutex& StateLock();

// The bytes of a secondary buffer, shared by it and its duplicates.
struct SoundData {
  std::vector<BYTE> bytes;
  // Different for every content the bytes have had in this process: the mixer keeps
  // frames it resampled ahead only while the bytes they came from stay the same.
  uint64_t version = NewVersion();
  void Changed() { version = NewVersion(); }
  static uint64_t NewVersion() {
    static std::atomic<uint64_t> last{0};
    return ++last;
  }
};

// A play cursor: a whole frame of the buffer and a fraction of one in output-rate-ths
// (OutputRate(), 44,100 unless chosen), so that a buffer at any frequency moves exactly
// frequency / rate frames per output frame and never drifts.
struct Cursor {
  DWORD frame = 0;
  DWORD fraction = 0; // 0 .. OutputRate() - 1
};

// A buffer command waiting for the output frame it takes effect at.
enum class CommandKind { Play, Stop, Position, Volume, Pan, Frequency };
struct Command {
  uint64_t frame;
  CommandKind kind;
  DWORD value; // Play: looping or not; Position: the frame; Volume, Pan: the LONG's bits
};

class Device;

class Buffer final : public IDirectSoundBuffer {
public:
  Buffer(Device* device, bool primary, DWORD flags, std::vector<BYTE> formatBlock,
         SampleFormat format, std::shared_ptr<SoundData> data);
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  virtual ~Buffer() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetCaps(LPDSBCAPS caps) override;
  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LPDWORD playCursor, LPDWORD writeCursor) override;
  HRESULT STDMETHODCALLTYPE GetFormat(LPWAVEFORMATEX format, DWORD sizeAllocated,
                                      LPDWORD sizeWritten) override;
  HRESULT STDMETHODCALLTYPE GetVolume(LPLONG volume) override;
  HRESULT STDMETHODCALLTYPE GetPan(LPLONG pan) override;
  HRESULT STDMETHODCALLTYPE GetFrequency(LPDWORD frequency) override;
  HRESULT STDMETHODCALLTYPE GetStatus(LPDWORD status) override;
  HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTSOUND device, LPCDSBUFFERDESC desc) override;
  HRESULT STDMETHODCALLTYPE Lock(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD audioBytes1,
                                 LPVOID* audio2, LPDWORD audioBytes2, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Play(DWORD reserved, DWORD priority, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD newPosition) override;
  HRESULT STDMETHODCALLTYPE SetFormat(LPCWAVEFORMATEX format) override;
  HRESULT STDMETHODCALLTYPE SetVolume(LONG volume) override;
  HRESULT STDMETHODCALLTYPE SetPan(LONG pan) override;
  HRESULT STDMETHODCALLTYPE SetFrequency(DWORD frequency) override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Unlock(LPVOID audio1, DWORD audioBytes1, LPVOID audio2,
                                   DWORD audioBytes2) override;
  HRESULT STDMETHODCALLTYPE Restore() override;

  // Everything below is guarded by StateLock().
  DWORD Frames() const { return frames; }
  DWORD Bytes() const { return static_cast<DWORD>(data->bytes.size()); }
  DWORD PlayCursorBytes() const { return cursor.frame * format.blockAlign; }

  // Makes a pooled buffer a new duplicate of `source` on `owner`, as the constructor would.
  void BecomeDuplicate(Device* owner, const Buffer& source);

  Device* device; // null once the device object is gone: the buffer is lost
  bool primary;
  DWORD flags;                   // as created, DSBCAPS_*
  std::vector<BYTE> formatBlock; // WAVEFORMATEX and its extra bytes, as GetFormat gives it
  SampleFormat format;           // how the mixer reads the data
  std::shared_ptr<SoundData> data;
  DWORD frames;               // of the data, in the format: found once, asked for every block
  Buffer* original = nullptr; // the buffer this one duplicates, while it lives
  DWORD frequency;
  LONG volume = 0;
  LONG pan = 0;
  bool playing = false;
  bool looping = false;
  Cursor cursor;
  ULONG references = 1;
  unsigned bus = 0;   // the float bus it plays into (SetBufferBus)
  int aheadSlot = -1; // the mixer's slot of frames resampled ahead, if any
  // The gains of `volume` and `pan` as the mixer last worked them out.
  struct RememberedGains {
    bool known = false;
    LONG volume = 0;
    LONG pan = 0;
    ChannelGains gains{};
  } gains;
  std::deque<Command> pending; // in the order made, frames never decreasing

  // A Lock hands out a copy of the region, written back by Unlock under the lock, so
  // that the mixer never reads bytes the engine is writing.
  struct PendingLock {
    DWORD offset;
    DWORD bytes1;
    DWORD bytes2;
    std::unique_ptr<BYTE[]> copy;
  };
  std::vector<PendingLock> locks;
};

class Device final : public IDirectSound {
public:
  Device() = default;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;
  virtual ~Device() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer,
                                              LPUNKNOWN outer) override;
  HRESULT STDMETHODCALLTYPE GetCaps(LPDSCAPS caps) override;
  HRESULT STDMETHODCALLTYPE DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original,
                                                 LPDIRECTSOUNDBUFFER* duplicate) override;
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD level) override;
  HRESULT STDMETHODCALLTYPE Compact() override;
  HRESULT STDMETHODCALLTYPE GetSpeakerConfig(LPDWORD config) override;
  HRESULT STDMETHODCALLTYPE SetSpeakerConfig(DWORD config) override;
  HRESULT STDMETHODCALLTYPE Initialize(LPCGUID device) override;

  // Initialize without the fault injection, for DirectSoundCreate.
  HRESULT InitializeDevice(LPCGUID device);

  // Guarded by StateLock().
  ULONG references = 1;
  bool initialized = false;
  DWORD level = 0; // 0 until SetCooperativeLevel
  HWND window = nullptr;
  DWORD speakerConfig = DSSPEAKER_STEREO;
  Buffer* primary = nullptr;
};

// Every live object, in order of creation. Guarded by StateLock().
std::vector<Buffer*>& LiveBufferList();
std::vector<Device*>& LiveDeviceList();
// Buffers released while commands of theirs still wait: mixed until the last is applied,
// then deleted by the mixer. Guarded by StateLock().
std::vector<Buffer*>& RetiringBufferList();
// Frees those of the lists above that are empty, once a private copy is done.
void ReleaseObjectLists();

// The live buffer behind an interface pointer, or null when it is not one of ours.
Buffer* FindBuffer(IDirectSoundBuffer* buffer);

// Duplicates come from a pool and go back to it, so that a note, once voices are
// prepared (PrepareForRealTime), allocates nothing. StateLock() held.
Buffer* TakePooledBuffer();       // null when the pool is empty
void DestroyBuffer(Buffer* gone); // into the pool when it has room, else deleted
void FillBufferPool(unsigned buffers);
void EmptyBufferPool();

// Bytes of the primary buffer: a tenth of a second at the primary's 44,100 Hz.
inline constexpr DWORD kPrimaryBytes = kOutputRate / 10 * 4;

} // namespace dsemu
