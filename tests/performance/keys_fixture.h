// An open engine on a host window with WAV files in a temporary directory, and the
// means to install keys, send them messages and look at their voices on the device.
#pragma once

#include "engine/za32.h"
#include "platform/emul/control.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/temp_dir.h"

#include <string>
#include <vector>

class KeysTest : public EngineTest {
protected:
  // The engine started on a host window.
  void SetUp() override;
  // Every key stopped: no duplicate may outlive its voice. Then the engine's own end.
  void TearDown() override;

  // A mono 16-bit WAV file of `frames` frames at `rate` holding a sine of `tone` Hz at
  // half of full scale; its path.
  std::string Wav(const std::string& name, DWORD rate, DWORD frames = 4410, double tone = 441.0);

  // A key playing `file` on `keyCode`: volume 127, centre, note 60, no detune, velocity
  // sense on, everything else off.
  static KeyRecord Key(const std::string& file, int32_t keyCode);
  // `keys` as keys 0, 1, ... of a full map; the others are empty, with codes no test
  // sends.
  static std::vector<KeyRecord> KeysOf(std::vector<KeyRecord> keys);
  void Install(std::vector<KeyRecord> keys) { InitialiseKeyMap(KeysOf(std::move(keys)).data()); }
  static LONG Update(const KeyRecord& key, LONG keyIndex) { return UpdateKey(&key, keyIndex); }

  // Handles a message at once through the engine window's procedure.
  void Send(UINT message, WORD low, WORD high);
  // Posts a message to the engine window; Pump dispatches what is queued.
  void Post(UINT message, WORD low, WORD high);
  size_t Pump() { return emul::PumpMessages(); }
  void NoteOnMessage(WORD keyCode, WORD velocity) { Send(AM_NOTE, keyCode, velocity); }
  void NoteOffMessage(WORD keyCode) { Send(AM_NOTE, keyCode, 0); }

  // The device's view of the duplicate that the key's voice plays.
  dsemu::BufferState VoiceBuffer(int key);
  VoiceRecord& KeyVoice(int key) { return VoiceTable[KeyMap[key].Voice]; }
  static size_t ActiveVoices();
  // Live device buffers that are duplicates.
  static size_t LiveDuplicates();

  TempDir dir;
};
