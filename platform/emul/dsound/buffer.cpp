// IDirectSoundBuffer: primary and secondary buffers, their duplicates, and
// DirectSound's checks and result codes for each call.
#include "buffer_commands.h"
#include "cursor.h"
#include "faults.h"
#include "objects.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace dsemu {
namespace {

// Play flags that only a buffer created with DSBCAPS_LOCDEFER may use.
constexpr DWORD kDeferredPlayFlags = 0x0000003E;

// Format blocks are 18 bytes and their extra ones; a pooled buffer has room for any the
// device takes without allocating.
constexpr size_t kPooledFormatBytes = 64;

// Buffers ready to become duplicates, like the lists of live objects; emptied and freed
// by EmptyBufferPool.
struct BufferPool {
  std::vector<Buffer*> free;
  size_t capacity = 0; // 0: released buffers are deleted, as without a pool
};

Releasable<BufferPool>& HeldPool() {
  static Releasable<BufferPool> pool;
  return pool;
}

BufferPool& ThePool() {
  return HeldPool().Get();
}

} // namespace

Buffer::Buffer(Device* owner, bool isPrimary, DWORD createdFlags, std::vector<BYTE> block,
               SampleFormat sampleFormat, std::shared_ptr<SoundData> bytes)
    : device(owner), primary(isPrimary), flags(createdFlags), formatBlock(std::move(block)),
      format(sampleFormat), data(std::move(bytes)),
      frames(data ? static_cast<DWORD>(data->bytes.size() / format.blockAlign) : 0),
      frequency(StartingFrequency(sampleFormat)) {}

void Buffer::BecomeDuplicate(Device* owner, const Buffer& source) {
  device = owner;
  primary = false;
  flags = source.flags;
  formatBlock.assign(source.formatBlock.begin(), source.formatBlock.end());
  format = source.format;
  data = source.data;
  frames = source.frames;
  original = nullptr;
  frequency = StartingFrequency(format);
  volume = 0;
  pan = 0;
  playing = false;
  looping = false;
  cursor = Cursor{};
  references = 1;
  bus = 0;
  aheadSlot = -1;
  pending.clear();
  locks.clear();
}

Buffer* TakePooledBuffer() {
  BufferPool& pool = ThePool();
  if (pool.free.empty())
    return nullptr;
  Buffer* buffer = pool.free.back();
  pool.free.pop_back();
  return buffer;
}

void DestroyBuffer(Buffer* gone) {
  BufferPool& pool = ThePool();
  if (gone->primary || pool.free.size() >= pool.capacity) {
    delete gone;
    return;
  }
  gone->data.reset(); // the samples' memory is not held by the pool
  gone->device = nullptr;
  gone->original = nullptr;
  gone->pending.clear();
  gone->locks.clear();
  pool.free.push_back(gone);
}

void FillBufferPool(unsigned buffers) {
  BufferPool& pool = ThePool();
  pool.capacity = std::max<size_t>(pool.capacity, buffers);
  pool.free.reserve(pool.capacity);
  while (pool.free.size() < buffers) {
    auto* buffer = new Buffer(nullptr, false, 0, {}, SampleFormat{}, nullptr);
    buffer->formatBlock.reserve(kPooledFormatBytes);
    pool.free.push_back(buffer);
  }
  // The engine's samples, their duplicates and the primary buffer.
  LiveBufferList().reserve(std::max<size_t>(LiveBufferList().capacity(), 2 * buffers + 64));
}

void EmptyBufferPool() {
  BufferPool& pool = ThePool();
  for (Buffer* buffer : pool.free)
    delete buffer;
  HeldPool().Release();
}

HRESULT Buffer::QueryInterface(REFIID iid, void** object) {
  if (!object)
    return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDirectSoundBuffer) {
    AddRef();
    *object = static_cast<IDirectSoundBuffer*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG Buffer::AddRef() {
  std::lock_guard guard(StateLock());
  return ++references;
}

ULONG Buffer::Release() {
  {
    std::lock_guard guard(StateLock());
    if (references == 0)
      return 0;
    if (--references != 0)
      return references;
    auto& list = LiveBufferList();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    for (Buffer* other : list)
      if (other->original == this)
        other->original = nullptr;
    if (device && device->primary == this)
      device->primary = nullptr;
    // A buffer let go while playing falls silent, at the frame its release is stamped
    // with; until then the mixer keeps it.
    if (device && IssueCommand(*this, CommandKind::Stop, 0) == DS_OK && !pending.empty()) {
      RetiringBufferList().push_back(this);
      return 0;
    }
    DestroyBuffer(this);
  }
  return 0;
}

HRESULT Buffer::GetCaps(LPDSBCAPS caps) {
  if (!caps || caps->dwSize != sizeof(DSBCAPS))
    return DSERR_INVALIDPARAM;
  std::lock_guard guard(StateLock());
  caps->dwFlags = flags | DSBCAPS_LOCSOFTWARE;
  caps->dwBufferBytes = Bytes();
  caps->dwUnlockTransferRate = 0;
  caps->dwPlayCpuOverhead = 0;
  return DS_OK;
}

HRESULT Buffer::GetCurrentPosition(LPDWORD playCursor, LPDWORD writeCursor) {
  if (auto fault = InjectedFault(Call::GetCurrentPosition))
    return *fault;
  std::lock_guard guard(StateLock());
  if (playCursor)
    *playCursor = Shown(*this).cursor.frame * format.blockAlign;
  if (writeCursor)
    *writeCursor = WriteCursorBytes(*this);
  return DS_OK;
}

HRESULT Buffer::GetFormat(LPWAVEFORMATEX out, DWORD sizeAllocated, LPDWORD sizeWritten) {
  if (!out && !sizeWritten)
    return DSERR_INVALIDPARAM;
  std::lock_guard guard(StateLock());
  const DWORD size = static_cast<DWORD>(formatBlock.size());
  if (out) {
    if (sizeAllocated < size)
      return DSERR_INVALIDPARAM;
    std::memcpy(out, formatBlock.data(), size);
  }
  if (sizeWritten)
    *sizeWritten = size;
  return DS_OK;
}

HRESULT Buffer::GetVolume(LPLONG out) {
  if (!out)
    return DSERR_INVALIDPARAM;
  if (!(flags & DSBCAPS_CTRLVOLUME))
    return DSERR_CONTROLUNAVAIL;
  std::lock_guard guard(StateLock());
  *out = Shown(*this).volume;
  return DS_OK;
}

HRESULT Buffer::GetPan(LPLONG out) {
  if (!out)
    return DSERR_INVALIDPARAM;
  if (!(flags & DSBCAPS_CTRLPAN))
    return DSERR_CONTROLUNAVAIL;
  std::lock_guard guard(StateLock());
  *out = Shown(*this).pan;
  return DS_OK;
}

HRESULT Buffer::GetFrequency(LPDWORD out) {
  if (!out)
    return DSERR_INVALIDPARAM;
  if (!(flags & DSBCAPS_CTRLFREQUENCY))
    return DSERR_CONTROLUNAVAIL;
  std::lock_guard guard(StateLock());
  *out = Shown(*this).frequency;
  return DS_OK;
}

HRESULT Buffer::GetStatus(LPDWORD status) {
  if (auto fault = InjectedFault(Call::GetStatus))
    return *fault;
  if (!status)
    return DSERR_INVALIDPARAM;
  std::lock_guard guard(StateLock());
  if (!device) {
    *status = DSBSTATUS_BUFFERLOST;
    return DS_OK;
  }
  const ShownState shown = Shown(*this);
  *status = shown.playing ? DSBSTATUS_PLAYING | (shown.looping ? DSBSTATUS_LOOPING : 0) : 0;
  return DS_OK;
}

HRESULT Buffer::Initialize(LPDIRECTSOUND, LPCDSBUFFERDESC) {
  // Buffers are whole as CreateSoundBuffer and DuplicateSoundBuffer make them.
  return DSERR_ALREADYINITIALIZED;
}

HRESULT Buffer::Lock(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD audioBytes1, LPVOID* audio2,
                     LPDWORD audioBytes2, DWORD lockFlags) {
  if (auto fault = InjectedFault(Call::Lock))
    return *fault;
  if (!audio1 || !audioBytes1 || (audio2 && !audioBytes2))
    return DSERR_INVALIDPARAM;
  if (lockFlags & ~(DSBLOCK_FROMWRITECURSOR | DSBLOCK_ENTIREBUFFER))
    return DSERR_INVALIDPARAM;
  std::lock_guard guard(StateLock());
  if (primary) {
    // Only a writer of the primary buffer may lock it, and this device mixes the
    // primary buffer itself.
    if (!device || device->level < DSSCL_WRITEPRIMARY)
      return DSERR_PRIOLEVELNEEDED;
    return DSERR_UNSUPPORTED;
  }
  const DWORD size = Bytes();
  if (lockFlags & DSBLOCK_FROMWRITECURSOR)
    offset = WriteCursorBytes(*this);
  if (lockFlags & DSBLOCK_ENTIREBUFFER)
    bytes = size;
  if (offset >= size || bytes == 0 || bytes > size)
    return DSERR_INVALIDPARAM;

  const DWORD first = std::min(bytes, size - offset);
  const DWORD second = audio2 ? bytes - first : 0;
  PendingLock pending{offset, first, second, nullptr};
  try {
    pending.copy.reset(new BYTE[first + second]);
    locks.reserve(locks.size() + 1);
  } catch (const std::bad_alloc&) {
    return DSERR_OUTOFMEMORY;
  }
  std::memcpy(pending.copy.get(), data->bytes.data() + offset, first);
  if (second)
    std::memcpy(pending.copy.get() + first, data->bytes.data(), second);

  *audio1 = pending.copy.get();
  *audioBytes1 = first;
  if (audio2) {
    *audio2 = second ? pending.copy.get() + first : nullptr;
    *audioBytes2 = second;
  }
  locks.push_back(std::move(pending));
  return DS_OK;
}

HRESULT Buffer::Unlock(LPVOID audio1, DWORD audioBytes1, LPVOID audio2, DWORD audioBytes2) {
  if (auto fault = InjectedFault(Call::Unlock))
    return *fault;
  std::lock_guard guard(StateLock());
  if (locks.empty())
    return DSERR_INVALIDCALL;
  auto it = std::find_if(locks.begin(), locks.end(),
                         [&](const PendingLock& lock) { return lock.copy.get() == audio1; });
  if (!audio1 || it == locks.end() || audioBytes1 > it->bytes1)
    return DSERR_INVALIDPARAM;
  BYTE* const second = it->copy.get() + it->bytes1;
  if (audioBytes2 && (audio2 != second || audioBytes2 > it->bytes2))
    return DSERR_INVALIDPARAM;
  std::memcpy(data->bytes.data() + it->offset, it->copy.get(), audioBytes1);
  if (audioBytes2)
    std::memcpy(data->bytes.data(), second, audioBytes2);
  data->Changed();
  locks.erase(it);
  return DS_OK;
}

HRESULT Buffer::Play(DWORD reserved, DWORD priority, DWORD playFlags) {
  if (auto fault = InjectedFault(Call::Play))
    return *fault;
  const bool deferred = flags & DSBCAPS_LOCDEFER;
  if (reserved != 0 || (priority != 0 && !deferred))
    return DSERR_INVALIDPARAM;
  if (playFlags & ~(DSBPLAY_LOOPING | (deferred ? kDeferredPlayFlags : 0)))
    return DSERR_INVALIDPARAM;
  if (primary && !(playFlags & DSBPLAY_LOOPING))
    return DSERR_INVALIDPARAM;
  std::lock_guard guard(StateLock());
  if (!device)
    return DSERR_BUFFERLOST;
  return IssueCommand(*this, CommandKind::Play, (playFlags & DSBPLAY_LOOPING) ? 1 : 0);
}

HRESULT Buffer::SetCurrentPosition(DWORD newPosition) {
  if (auto fault = InjectedFault(Call::SetCurrentPosition))
    return *fault;
  if (primary)
    return DSERR_INVALIDCALL;
  std::lock_guard guard(StateLock());
  if (newPosition >= Bytes())
    return DSERR_INVALIDPARAM;
  return IssueCommand(*this, CommandKind::Position, newPosition / format.blockAlign);
}

HRESULT Buffer::SetFormat(LPCWAVEFORMATEX newFormat) {
  if (auto fault = InjectedFault(Call::SetFormat))
    return *fault;
  if (!primary)
    return DSERR_INVALIDCALL;
  std::lock_guard guard(StateLock());
  if (!device)
    return DSERR_BUFFERLOST;
  if (device->level < DSSCL_PRIORITY)
    return DSERR_PRIOLEVELNEEDED;
  if (HRESULT checked = CheckPrimaryFormat(newFormat); checked != DS_OK)
    return checked;
  // The format is kept for GetFormat; the device goes on mixing at its own output
  // format, which every format accepted here can carry.
  try {
    formatBlock = CopyFormatBlock(newFormat);
  } catch (const std::bad_alloc&) {
    return DSERR_OUTOFMEMORY;
  }
  return DS_OK;
}

HRESULT Buffer::SetVolume(LONG newVolume) {
  if (auto fault = InjectedFault(Call::SetVolume))
    return *fault;
  if (newVolume < DSBVOLUME_MIN || newVolume > DSBVOLUME_MAX)
    return DSERR_INVALIDPARAM;
  if (!(flags & DSBCAPS_CTRLVOLUME))
    return DSERR_CONTROLUNAVAIL;
  std::lock_guard guard(StateLock());
  return IssueCommand(*this, CommandKind::Volume, static_cast<DWORD>(newVolume));
}

HRESULT Buffer::SetPan(LONG newPan) {
  if (auto fault = InjectedFault(Call::SetPan))
    return *fault;
  if (newPan < DSBPAN_LEFT || newPan > DSBPAN_RIGHT)
    return DSERR_INVALIDPARAM;
  if (!(flags & DSBCAPS_CTRLPAN))
    return DSERR_CONTROLUNAVAIL;
  std::lock_guard guard(StateLock());
  return IssueCommand(*this, CommandKind::Pan, static_cast<DWORD>(newPan));
}

HRESULT Buffer::SetFrequency(DWORD newFrequency) {
  if (auto fault = InjectedFault(Call::SetFrequency))
    return *fault;
  if (!(flags & DSBCAPS_CTRLFREQUENCY))
    return DSERR_CONTROLUNAVAIL;
  std::lock_guard guard(StateLock());
  if (newFrequency == DSBFREQUENCY_ORIGINAL)
    newFrequency = StartingFrequency(format);
  if (newFrequency < DSBFREQUENCY_MIN || newFrequency > DSBFREQUENCY_MAX)
    return DSERR_INVALIDPARAM;
  return IssueCommand(*this, CommandKind::Frequency, newFrequency);
}

HRESULT Buffer::Stop() {
  if (auto fault = InjectedFault(Call::Stop))
    return *fault;
  std::lock_guard guard(StateLock());
  return IssueCommand(*this, CommandKind::Stop, 0);
}

HRESULT Buffer::Restore() {
  std::lock_guard guard(StateLock());
  return device ? DS_OK : DSERR_BUFFERLOST;
}

} // namespace dsemu
