// An open engine on a host window with WAV files in a temporary directory, for the
// audition and the rate test: keys to install, and the samples and buffers to look at.
#pragma once

#include "engine/za32.h"
#include "samples/samples.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/temp_dir.h"

#include <string>
#include <vector>

class AuditionFixture : public EngineTest {
protected:
  // The engine started on a host window, on the device output already selected.
  void SetUp() override;
  void TearDown() override;

  // A mono 16-bit file of `frames` frames at 22,050 Hz; its path.
  std::string Wav(const std::string& name, unsigned frames = 2205);

  // A key playing `file` on `keyCode` at its own rate; the other settings neutral.
  static KeyRecord Key(const std::string& file, int32_t keyCode);
  // `keys` as keys 0, 1, ...; the rest empty.
  static void Install(std::vector<KeyRecord> keys);

  static std::vector<std::string> SampleNames();
  // The device's view of a buffer; a default state when it is not a live buffer.
  static dsemu::BufferState State(IDirectSoundBuffer* buffer);
  std::vector<std::string> BoxTexts() const;

  TempDir dir;
};
