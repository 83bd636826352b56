// What the reliability tests share: an open engine on a host window with a few WAV
// files, key records naming them, the host's way of sending messages, and the device's
// own view of what the engine holds (calls made, buffers alive) so that a test can tell
// a failure path that touched the device or left something behind.
#pragma once

#include "engine/za32.h"
#include "platform/emul/control.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/temp_dir.h"

#include <array>
#include <string>
#include <vector>

// Calls made on the device so far, one count per dsemu::Call.
using CallCounts = std::array<unsigned, static_cast<size_t>(dsemu::Call::Count_)>;
CallCounts TakeCallCounts();
unsigned TotalCalls(const CallCounts& counts);
const char* CallName(dsemu::Call call);

class SessionTest : public EngineTest {
protected:
  void SetUp() override;
  void TearDown() override;

  // A mono 16-bit 22,050 Hz WAV file of 2,205 frames in the test's directory; its path.
  std::string Wav(const std::string& name);

  // A key playing `file` on `keyCode`: volume 127, centre, note 60, no detune, velocity
  // sense on, everything else off. An empty file name is an empty key.
  static KeyRecord Key(const std::string& file, int32_t keyCode);
  // `keys` as keys 0, 1, ... of a full map; the others are empty, with codes no test
  // sends.
  static std::vector<KeyRecord> KeysOf(std::vector<KeyRecord> keys);
  static void Install(std::vector<KeyRecord> keys);
  static LONG Update(const KeyRecord& key, LONG keyIndex) { return UpdateKey(&key, keyIndex); }

  // A message as the host sends it to the engine window.
  static void Send(UINT message, WORD low, WORD high);
  static void NoteOnMessage(WORD keyCode, WORD velocity) { Send(AM_NOTE, keyCode, velocity); }
  static void NoteOffMessage(WORD keyCode) { Send(AM_NOTE, keyCode, 0); }

  static size_t ActiveVoices();
  static size_t CountLoaded();
  // Global blocks the engine holds for what it has loaded: the primary format while
  // the device is open, and the record, format and data of every sample in the list.
  static size_t EngineBlocks();
  // Device buffers the engine holds: the primary buffer, every sample's own buffer and
  // every active voice's duplicate.
  static size_t EngineBuffers();
  // On the real system closing the device destroys every buffer it made; here they stay
  // as lost buffers. Once no device is left, this destroys those the engine has let go
  // of: the engine's own are freed first, as the fixture does at the end.
  static void DestroyLostBuffers();
  // Every live global block and device buffer is one the engine holds.
  void ExpectEverythingAccountedFor();

  TempDir dir;
};
