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

class EngineTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Posts a message to the engine window, as the host does, and runs the host's loop
  // until the queue is empty.
  void Post(UINT message, WORD low, WORD high);
  // The sample list's records after the head, in order.
  std::vector<SampleRecord*> Samples() const;
  // Fails the test unless exactly these boxes (text, caption "ZA32") were shown, then
  // forgets them; boxes left over fail the test at its end.
  void ExpectBoxes(const std::vector<std::string>& texts);

  MessageBoxWatcher boxes;
  TestHostWindow host;
  TempDirectory files;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  HWND engine = nullptr;
};
