// A kit larger than one engine: spread over instances, played as one.
#include "instance/kit_player.h"

#include "tests/support/temp_dir.h"
#include "tests/support/wav_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct Buses {
  std::vector<float> left[2], right[2];
  za32::BusBuffers buffers;
  explicit Buses(size_t frames) {
    buffers.buses = 2;
    for (int b = 0; b < 2; ++b) {
      left[b].assign(frames, 0.0f);
      right[b].assign(frames, 0.0f);
      buffers.left[b] = left[b].data();
      buffers.right[b] = right[b].data();
    }
  }
  bool Sounds(int bus, size_t from, size_t to) const {
    for (size_t i = from; i < to; ++i)
      if (left[bus][i] != 0.0f || right[bus][i] != 0.0f)
        return true;
    return false;
  }
};

TEST(KitPlayer, AHundredKeysSpreadOverFourInstancesChokeAcrossThem) {
  TempDir dir;
  wavfile::Format format;
  format.rate = 44100;
  wavfile::WriteFile(dir.path() / "s.wav", wavfile::Wav(format, 44100));
  Kit kit;
  kit.directory = dir.path();
  kit.source = "kit.json";
  for (int i = 0; i < 100; ++i) {
    KitKey key;
    key.sample = "s.wav";
    key.keyCode = 200 + i;
    kit.keys.push_back(key);
  }
  // Keys 10 and 60 live on the first and the third instance, in one choke group, each
  // on its own output.
  kit.keys[10].trigger = 36;
  kit.keys[10].group = "hat";
  kit.keys[60].trigger = 38;
  kit.keys[60].group = "hat";
  kit.keys[60].output = 2;

  std::string why;
  auto player = za32::KitPlayer::Load(kit, 44100, &why);
  ASSERT_TRUE(player) << why;
  EXPECT_EQ(player->InstanceCount(), 4u);

  Buses first(512);
  EXPECT_TRUE(player->Note(0, 36, 100));
  player->Render(512, first.buffers);
  EXPECT_TRUE(first.Sounds(0, 0, 512));
  EXPECT_FALSE(first.Sounds(1, 0, 512));

  Buses second(512);
  EXPECT_TRUE(player->Note(100, 38, 100));
  player->Render(512, second.buffers);
  EXPECT_TRUE(second.Sounds(0, 0, 100));
  EXPECT_FALSE(second.Sounds(0, 100, 512)) << "the hit on the third instance choked the first";
  EXPECT_FALSE(second.Sounds(1, 0, 100));
  EXPECT_TRUE(second.Sounds(1, 100, 512));
  EXPECT_FALSE(player->Note(0, 99, 100)) << "no key answers note 99";
}

} // namespace
