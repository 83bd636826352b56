// Instances are private engines: each has its own keys, voices and device, in any
// number and on any thread; nothing of one is heard in another.
#include "instance_fixture.h"
#include "tests/dsound/signal_analysis.h"

#include <thread>

namespace instance_test {
namespace {

using dsound_test::Amplitude;

TEST(InstanceIsolation, TwoInstancesEachHoldOnlyTheirOwnNote) {
  TempDir dir;
  const std::string low = dir.write("low.wav", SineWav(44100, 441, 44100, 0.5));
  const std::string high = dir.write("high.wav", SineWav(44100, 882, 44100, 0.5));
  auto a = OpenWith(44100, KeysOn({low}));
  auto b = OpenWith(44100, KeysOn({high}));
  ASSERT_TRUE(a && b);
  const Block first = RenderSummed(*a, 8820, {Note(0, 60, 127)});
  const Block second = RenderSummed(*b, 8820, {Note(0, 60, 127)});
  const std::vector<double> x(first.left.begin(), first.left.end());
  const std::vector<double> y(second.left.begin(), second.left.end());
  EXPECT_NEAR(Amplitude(x, 441), 0.5, 0.01);
  EXPECT_LT(Amplitude(x, 882), 1e-3);
  EXPECT_NEAR(Amplitude(y, 882), 0.5, 0.01);
  EXPECT_LT(Amplitude(y, 441), 1e-3);
  EXPECT_EQ(a->SoundingVoices(), 1u);
  EXPECT_EQ(b->SoundingVoices(), 1u);
}

// 64 instances at once, 16 on each of 4 threads, each playing one note: every one
// renders what a single instance renders alone.
TEST(InstanceThreads, SixtyFourInstancesOnFourThreads) {
  TempDir dir;
  const za32::InstanceKeys keys = KeysOn({dir.write("tone.wav", SineWav(44100, 441, 4410, 0.25))});
  auto render = [&](za32::EngineInstance& instance) {
    Block whole{{}, {}};
    for (int block = 0; block < 40; ++block) {
      std::vector<za32::InstanceEvent> events;
      if (block % 10 == 0)
        events.push_back(Note(17, 60, 100));
      const Block part = RenderSummed(instance, 128, events);
      whole.left.insert(whole.left.end(), part.left.begin(), part.left.end());
    }
    return whole.left;
  };
  auto alone = OpenWith(48000, keys);
  ASSERT_TRUE(alone);
  const std::vector<float> expected = render(*alone);
  alone.reset();

  std::vector<std::unique_ptr<za32::EngineInstance>> instances(64);
  std::vector<int> matches(64, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = t * 16; i < t * 16 + 16; ++i) {
        std::string why;
        instances[i] = za32::EngineInstance::Open(48000, &why);
        if (instances[i] && instances[i]->InstallKeys(keys, &why))
          matches[i] = 1;
      }
      for (int i = t * 16; i < t * 16 + 16; ++i)
        if (matches[i])
          matches[i] = render(*instances[i]) == expected;
    });
  for (std::thread& thread : threads)
    thread.join();
  for (int i = 0; i < 64; ++i)
    EXPECT_TRUE(matches[i]) << "instance " << i;
}

} // namespace
} // namespace instance_test
