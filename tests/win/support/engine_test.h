// The common fixture of the scenarios: a host main window with its message loop, the
// message-box watcher, a private directory for files, and the engine started on the
// host window with AudioInit (and closed again with AudioTerm). Every scenario runs in
// a process of its own, since the engine's state lasts as long as the module is loaded.
#pragma once

#include "files.h"
#include "host_window.h"
#include "message_boxes.h"
#include "module.h"

#include <gtest/gtest.h>

// What the sound device reports for one of its buffers.
struct BufferState {
  bool ok = false; // every query succeeded
  bool playing = false;
  bool looping = false;
  DWORD frequency = 0;
  LONG volume = 0;
  LONG pan = 0;
};
BufferState QueryBuffer(IDirectSoundBuffer* buffer);

// A key record as a host fills it in: the sample at its own pitch, full volume, centre.
KeyRecord MakeKey(const std::string& sampleName, int32_t keyCode);
// 25 keys without samples, key codes 100 to 124.
std::vector<KeyRecord> EmptyKeyMap();

class EngineTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Posts a message to the engine window, as the host does, and runs the host's loop
  // until the queue is empty.
  void Post(UINT message, WORD low, WORD high);
  // The sample list's records after the head, in order.
  std::vector<SampleRecord*> Samples() const;
  // Names of the samples, in list order.
  std::vector<std::string> SampleNames() const;
  // The sample numbers GetSampleNumber reports for keys 0 .. count-1.
  std::vector<LONG> SampleNumbers(int count) const;
  // A WAV file in the test's directory; returns its full path.
  std::string Wav(const std::string& name, const WavSpec& spec = {});
  // Fails the test unless exactly these boxes were shown, each with the caption "ZA32",
  // the icon and the owner given (a child window's boxes belong to its top-level
  // window), then forgets them; boxes left over fail the test at its end.
  void ExpectBoxes(const std::vector<std::string>& texts, HWND owner, BoxIcon icon);

  MessageBoxWatcher boxes;
  TestHostWindow host;
  TempDirectory files;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  HWND engine = nullptr;
};
