// The playback-rate test: one second of silence loops on a buffer of its own while the
// play position is polled without sleeping; the bytes it passes in the measuring time
// are how fast the device really plays. The process runs at high priority meanwhile.
#include "../engine/device.h"
#include "../samples/samples.h"

#include <cstdint>

namespace {

// One second at the primary format.
constexpr DWORD TestBytes = PrimaryRate * PrimaryBlockAlign;
constexpr DWORD SettlingMilliseconds = 1000;

// Raises the process to high priority, remembering the class to go back to; a class
// that cannot be read is left alone, as it could not be put back.
struct RaisedPriority {
  DWORD entryClass = 0;

  void Raise() {
    entryClass = GetPriorityClass(GetCurrentProcess());
    if (entryClass)
      SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
  }
  void Restore() const {
    if (entryClass)
      SetPriorityClass(GetCurrentProcess(), entryClass);
  }
};

DWORD PlayPosition(IDirectSoundBuffer* buffer, DWORD previous) {
  DWORD play = 0;
  DWORD write = 0;
  // A failed reading is taken as no movement rather than as a jump to 0, which would
  // count as a wrap.
  if (buffer->GetCurrentPosition(&play, &write) != DS_OK)
    return previous;
  return play;
}

DWORD MillisecondsSince(DWORD start) {
  return timeGetTime() - start; // modulo 2^32: right across the timer's wrap
}

// Bytes the play position passes between the end of the settling second and the end
// of the measuring time; a reading below the one before is a wrap of the buffer.
LONG Measure(IDirectSoundBuffer* buffer, LONG seconds) {
  const DWORD t0 = timeGetTime();
  while (MillisecondsSince(t0) <= SettlingMilliseconds) {
  }
  // The timer counts at most 2^32 - 1 ms; a longer time is measured as that.
  int64_t end = SettlingMilliseconds + int64_t{seconds} * 1000;
  if (end > int64_t{UINT32_MAX - 1})
    end = UINT32_MAX - 1;

  const DWORD start = PlayPosition(buffer, 0);
  DWORD previous = start;
  int64_t wraps = 0;
  while (int64_t{MillisecondsSince(t0)} <= end) {
    const DWORD position = PlayPosition(buffer, previous);
    if (previous > position)
      ++wraps;
    previous = position;
  }
  return static_cast<LONG>(wraps * TestBytes + int64_t{previous} - int64_t{start});
}

} // namespace

extern "C" LONG WINAPI StartTest(LONG, LONG seconds) {
  RaisedPriority priority;
  priority.Raise();

  SampleRecord test = SampleList; // inherits the primary format
  test.Data = static_cast<BYTE*>(AllocateGlobalBlock(TestBytes, GMEM_FIXED | GMEM_ZEROINIT));
  if (!test.Data) {
    priority.Restore();
    return 0;
  }
  test.DataSize = TestBytes;
  test.Playing = 0;
  test.Buffer = nullptr;
  test.Next = nullptr;
  test.StickyFocus = 1;
  // Without a device (after AudioTerm) this fails too.
  if (CreateSampleBuffer(&test) != DS_OK) {
    FreeGlobalBlock(test.Data);
    priority.Restore();
    return 0;
  }
  test.Looping = 1;
  test.Buffer->SetVolume(DSBVOLUME_MIN);
  // A playback that did not start leaves the position still: the result is then 0.
  PlaySample(EngineWindow, &test);

  const LONG played = Measure(test.Buffer, seconds);

  StopSample(EngineWindow, &test);
  ReleaseSampleBuffer(&test);
  FreeGlobalBlock(test.Data);
  priority.Restore();
  return played;
}
