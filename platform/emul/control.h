// What hosts and tests may change or observe in the emulated platform.
#pragma once

#include "user32.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace emul {

// Every MessageBoxA goes to this handler. The default prints caption and text to
// standard error and answers IDOK. A handler may pump the thread's message queue
// while it runs, as the modal loop of a real box would.
using MessageBoxHandler =
    std::function<int(HWND owner, const char* text, const char* caption, UINT type)>;
void SetMessageBoxHandler(MessageBoxHandler handler); // an empty handler restores the default

// Dispatches every message waiting in the calling thread's queue; returns how many.
size_t PumpMessages();

// PostMessageA for an event whose output frame the host knows (a pattern step, a JACK
// MIDI event): while the window procedure handles the message, the sound device stamps
// every buffer command it makes with `dueFrame` instead of the output clock's position
// at that moment, so the sound starts exactly one command latency after `dueFrame`.
// Frames count as dsemu::OutputFrameNow and dsemu::OutputFrameOfJackTime do.
BOOL PostMessageAtFrame(HWND window, UINT message, WPARAM wParam, LPARAM lParam, uint64_t dueFrame);
// The due frame of the message the calling thread is dispatching (and of anything its
// procedure sends); false outside such a message.
bool DispatchingDueFrame(uint64_t* dueFrame);

// Fault injection for the system calls the engine can see fail, as the sound device's
// (dsound/device_control.h): FailNth(call, 1) makes the next call fail; FailAlways until
// ClearFaults.
// The multimedia file calls fail as a failing disk would: mmioOpenA gives no handle
// (MMIOERR_CANNOTOPEN), mmioRead and mmioSeek -1, mmioDescend and mmioAdvance
// MMIOERR_CANNOTREAD, mmioAscend MMIOERR_CANNOTSEEK, mmioGetInfo and mmioSetInfo
// MMSYSERR_INVALHANDLE; a failing call changes nothing.
enum class SystemCall {
  GlobalAlloc,
  AcmMetrics,
  CoInitialize,
  RegisterClass,
  CreateWindow,
  MmioOpen,
  MmioDescend,
  MmioRead,
  MmioAscend,
  MmioSeek,
  MmioGetInfo,
  MmioAdvance,
  MmioSetInfo,
  Count_
};
void FailNth(SystemCall call, unsigned n);
void FailAlways(SystemCall call);
void ClearFaults();
// True when this call of `call` is to fail; counts the call. For the emulation itself.
bool SystemCallFails(SystemCall call);

// The system timer (timeGetTime, GetTickCount) follows the monotonic clock. With a step
// set it moves by `milliseconds` at every reading instead, so that code which waits on
// the timer (the rate test's busy loops) runs without waiting in real time. 0 goes back
// to the real clock.
void SetTimerStep(DWORD milliseconds);

// Leak checks.
size_t LiveGlobalBlocks();
size_t LiveWindows();
size_t OpenMmioFiles();   // multimedia files opened and not yet closed
size_t LiveFileHandles(); // open files (CreateFileA)
size_t LiveFindHandles(); // open directory searches (FindFirstFileA)

} // namespace emul
