// The float mix before the 16-bit step, by bus, and the output rate chosen at run time.
#include "device_fixture.h"
#include "platform/emul/dsound/resampler.h"
#include "platform/emul/dsound/sample_conversion.h"
#include "signal_analysis.h"

#include <cmath>
#include <random>

namespace dsound_test {
namespace {

std::vector<int16_t> Sine(size_t frames, double frequency, double rate, double level) {
  std::vector<int16_t> samples(frames);
  for (size_t i = 0; i < frames; ++i)
    samples[i] = static_cast<int16_t>(
        std::lrint(32767 * level * std::sin(2 * M_PI * frequency * double(i) / rate)));
  return samples;
}

// A device at `Rate` Hz, chosen before it is initialised; back at 44,100 Hz afterwards.
template <uint32_t Rate> class AtRate : public DeviceTest {
protected:
  void SetUp() override {
    ASSERT_TRUE(dsemu::SelectOutputRate(Rate));
    DeviceTest::SetUp();
    dsemu::SelectQuality(dsemu::Quality::High);
  }
  void TearDown() override {
    DeviceTest::TearDown();
    EXPECT_TRUE(dsemu::SelectOutputRate(44100));
  }

  template <typename Sample>
  IDirectSoundBuffer* MakeWith(const WAVEFORMATEX& format, const std::vector<Sample>& samples) {
    const auto bytes = static_cast<DWORD>(samples.size() * sizeof(Sample));
    IDirectSoundBuffer* buffer = Make(format, bytes);
    if (buffer)
      Fill(buffer, samples.data(), bytes);
    return buffer;
  }

  // `frames` frames of the float mix summed, left channel then right.
  static std::vector<float> RenderFloat(size_t frames) {
    std::vector<float> out(2 * frames, 0.0f);
    dsemu::FloatBuses buses;
    buses.left[0] = out.data();
    buses.right[0] = out.data() + frames;
    dsemu::AdvanceFramesInto(frames, buses);
    return out;
  }
};

using FloatMix = AtRate<44100>;
using FloatMixAt48k = AtRate<48000>;
using FloatMixAt96k = AtRate<96000>;

TEST_F(FloatMix, ConvertedAsTheDeviceDoesItIsTheSixteenBitMix) {
  std::mt19937 random(3);
  std::vector<int16_t> noise(20000);
  for (int16_t& value : noise)
    value = static_cast<int16_t>(static_cast<int>(random() % 60000) - 30000);
  std::vector<IDirectSoundBuffer*> voices;
  for (DWORD frequency : {44100u, 30011u, 88200u, 11025u, 61234u}) {
    voices.push_back(MakeWith(PcmFormat(2, 16, 44100), noise));
    ASSERT_EQ(voices.back()->SetFrequency(frequency), DS_OK);
    ASSERT_EQ(voices.back()->SetPan(static_cast<LONG>(frequency % 2000) - 1000), DS_OK);
  }
  for (dsemu::Quality quality : {dsemu::Quality::Fast, dsemu::Quality::High}) {
    dsemu::SelectQuality(quality);
    auto start = [&] {
      for (IDirectSoundBuffer* voice : voices) {
        ASSERT_EQ(voice->SetCurrentPosition(4 * 100), DS_OK);
        ASSERT_EQ(voice->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
      }
    };
    start();
    std::vector<int16_t> fixed(2 * 5000);
    dsemu::AdvanceFrames(5000, fixed.data());
    start();
    const std::vector<float> mix = RenderFloat(5000);
    size_t clipped = 0;
    for (size_t k = 0; k < 5000; ++k) {
      ASSERT_EQ(dsemu::ToSample(mix[k]), fixed[2 * k]) << k;
      ASSERT_EQ(dsemu::ToSample(mix[5000 + k]), fixed[2 * k + 1]) << k;
      clipped += std::abs(mix[k]) > 1.0f;
    }
    EXPECT_GT(clipped, 0u); // the float mix is not clipped where the 16-bit one is
  }
}

TEST_F(FloatMix, EachBufferPlaysIntoItsBus) {
  IDirectSoundBuffer* low = MakeWith(PcmFormat(1, 16, 22050), Sine(22050, 441, 22050, 0.5));
  IDirectSoundBuffer* high = MakeWith(PcmFormat(1, 16, 22050), Sine(22050, 882, 22050, 0.5));
  ASSERT_TRUE(dsemu::SetBufferBus(high, 3));
  EXPECT_FALSE(dsemu::SetBufferBus(high, dsemu::kMaxBuses));
  ASSERT_EQ(low->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  ASSERT_EQ(high->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  constexpr size_t kFrames = 8820;
  std::vector<std::vector<float>> out(8, std::vector<float>(kFrames, 0.0f));
  dsemu::FloatBuses buses;
  buses.count = 4;
  for (unsigned b : {0u, 3u}) {
    buses.left[b] = out[2 * b].data();
    buses.right[b] = out[2 * b + 1].data();
  }
  dsemu::AdvanceFramesInto(kFrames, buses);
  auto tone = [](const std::vector<float>& x, double at) {
    return Amplitude(std::vector<double>(x.begin() + 100, x.end()), at);
  };
  EXPECT_NEAR(tone(out[0], 441), 0.5, 0.01);
  EXPECT_LT(tone(out[0], 882), 1e-3);
  EXPECT_NEAR(tone(out[6], 882), 0.5, 0.01);
  EXPECT_LT(tone(out[6], 441), 1e-3);
}

TEST_F(FloatMixAt48k, SamplesKeepTheirPitchAndLength) {
  EXPECT_FALSE(dsemu::SelectOutputRate(44100)); // not while a device is initialised
  EXPECT_EQ(dsemu::OutputRate(), 48000u);
  IDirectSoundBuffer* buffer = MakeWith(PcmFormat(1, 16, 22050), Sine(22050, 441, 22050, 0.5));
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK); // one second, once
  const std::vector<float> out = RenderFloat(48000 + 500);
  const std::vector<double> left(out.begin() + 200, out.begin() + 47800);
  EXPECT_NEAR(Pitch(left, 48000), 441, 0.05);
  EXPECT_NEAR(Amplitude(left, 441, 48000), 0.5, 0.005);
  EXPECT_NE(out[47999], 0.0f);
  for (size_t k = 48000; k < 48500; ++k)
    ASSERT_EQ(out[k], 0.0f) << k;
}

TEST_F(FloatMixAt96k, AliasesStaySixtyDecibelsDown) {
  // Played at twice its rate, a 15 kHz tone of a 44,100 Hz buffer is at 30 kHz, under the
  // output's Nyquist frequency: kept. Its image at 2 * 44.1 - 30 = 58.2 kHz folds to
  // 37.8 kHz and must stay down; so must everything of a 19 kHz tone played at 4.4 times.
  IDirectSoundBuffer* buffer = MakeWith(PcmFormat(1, 16, 44100), Sine(65536, 15000, 44100, 0.5));
  ASSERT_EQ(buffer->SetFrequency(88200), DS_OK);
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  std::vector<float> out = RenderFloat(10000);
  std::vector<double> left(out.begin() + 2000, out.begin() + 10000);
  EXPECT_NEAR(Amplitude(left, 30000, 96000), 0.5, 0.01);
  EXPECT_LT(Decibels(Amplitude(left, 96000 - 58200, 96000) / 0.5), -60.0);
  buffer->Stop();
  ASSERT_EQ(buffer->SetFrequency(194040), DS_OK); // 19 kHz becomes 83.6 kHz: all of it goes
  ASSERT_EQ(buffer->SetCurrentPosition(0), DS_OK);
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  out = RenderFloat(10000);
  left.assign(out.begin() + 2000, out.begin() + 10000);
  EXPECT_LT(Decibels(Amplitude(left, 96000 - 15000 * 4.4, 96000) / 0.5), -60.0);
}

// Short blocks are mixed out of frames resampled ahead; whatever changes under them (the
// frequency, the bytes, the cursor, the volume, a one-shot's end and replay, more voices
// than there are slots) plays as one long block plays it, to the float's rounding.
TEST_F(FloatMixAt48k, ShortBlocksPlayWhatLongBlocksPlay) {
  std::mt19937 random(11);
  auto noise = [&](size_t samples) {
    std::vector<int16_t> made(samples);
    for (int16_t& value : made)
      value = static_cast<int16_t>(static_cast<int>(random() % 40000) - 20000);
    return made;
  };
  const std::vector<int16_t> first = noise(2 * 6000);
  const std::vector<int16_t> second = noise(2 * 6000);
  const std::vector<int16_t> shot = noise(2990); // ends 10 frames before step 3
  constexpr size_t kSteps = 6;
  constexpr size_t kStep = 64 * 17; // every change lands between short blocks
  auto play = [&](size_t block) {
    std::vector<IDirectSoundBuffer*> voices;
    voices.push_back(MakeWith(PcmFormat(2, 16, 44100), first));
    voices.push_back(MakeWith(PcmFormat(1, 16, 44100), shot));
    for (int v = 0; v < 38; ++v) { // more than the mixer keeps ahead
      voices.push_back(MakeWith(PcmFormat(2, 16, 44100), first));
      EXPECT_EQ(voices.back()->SetFrequency(30000 + 1711 * v), DS_OK);
      EXPECT_EQ(voices.back()->SetVolume(-2000), DS_OK);
    }
    for (size_t v = 0; v < voices.size(); ++v)
      EXPECT_EQ(voices[v]->Play(0, 0, v == 1 ? 0 : DSBPLAY_LOOPING), DS_OK);
    std::vector<float> left;
    std::vector<float> right;
    for (size_t step = 0; step < kSteps; ++step) {
      switch (step) {
      case 1:
        EXPECT_EQ(voices[0]->SetFrequency(52001), DS_OK);
        break;
      case 2:
        Fill(voices[0], second.data(), DWORD(2 * second.size()));
        break;
      case 3:
        // Its end 50 frames into the next step, where it stops looping.
        EXPECT_EQ(voices[0]->SetCurrentPosition(4 * 4767), DS_OK);
        EXPECT_EQ(voices[1]->Play(0, 0, 0), DS_OK); // again, from where it stopped
        break;
      case 4:
        EXPECT_EQ(voices[0]->SetVolume(-600), DS_OK);
        EXPECT_EQ(voices[0]->Play(0, 0, 0), DS_OK);
        break;
      }
      for (size_t done = 0; done < kStep; done += block) {
        const std::vector<float> mixed = RenderFloat(block);
        left.insert(left.end(), mixed.begin(), mixed.begin() + block);
        right.insert(right.end(), mixed.begin() + block, mixed.end());
      }
    }
    for (IDirectSoundBuffer* voice : voices)
      EXPECT_EQ(voice->Stop(), DS_OK);
    left.insert(left.end(), right.begin(), right.end());
    return left;
  };
  for (dsemu::Quality quality : {dsemu::Quality::Fast, dsemu::Quality::High}) {
    dsemu::SelectQuality(quality);
    const std::vector<float> whole = play(kStep);
    for (size_t block : {64u, 17u}) {
      const std::vector<float> blocks = play(block);
      ASSERT_EQ(blocks.size(), whole.size());
      for (size_t i = 0; i < whole.size(); ++i)
        ASSERT_NEAR(blocks[i], whole[i], 1e-5)
            << "quality " << int(quality) << ", block " << block << ", frame "
            << i % (kSteps * kStep) << (i < kSteps * kStep ? " left" : " right");
    }
  }
}

TEST(RateDivider, GivesTheQuotientAtEveryRate) {
  for (uint32_t rate : {22050u, 44100u, 48000u, 88200u, 96000u, 176400u, 192000u}) {
    const dsemu::RateDivider divider(rate);
    for (uint32_t scaled = 0; scaled < rate * dsemu::SincKernel::kPhases; ++scaled)
      ASSERT_EQ(divider.Quotient(scaled), scaled / rate) << rate << " " << scaled;
    // Beyond, up to where it is exact: the multiplier's excess is largest just below
    // each multiple of the rate.
    for (uint32_t multiple = rate; multiple < dsemu::RateDivider::kExactBelow; multiple += rate)
      ASSERT_EQ(divider.Quotient(multiple - 1), multiple / rate - 1) << rate << " " << multiple;
    constexpr uint32_t kLast = dsemu::RateDivider::kExactBelow - 1;
    ASSERT_EQ(divider.Quotient(kLast), kLast / rate) << rate;
  }
}

// Many runs added at once sum as each added in turn does, bit for bit, in every set.
TEST(Resamplers, AddScaledSumsAsEqualRateInTurn) {
  std::mt19937 random(3);
  std::uniform_real_distribution<float> uniform(-1, 1);
  std::vector<float> frames(5 * 2 * 64);
  for (float& value : frames)
    value = uniform(random);
  for (const dsemu::Resamplers* set :
       {&dsemu::PortableResamplers(), dsemu::Avx2Resamplers(), dsemu::Avx512Resamplers()}) {
    if (!set)
      continue;
    for (size_t length : {size_t{64}, size_t{37}}) {
      SCOPED_TRACE(testing::Message() << set->name << " " << length);
      std::vector<dsemu::ScaledRun> runs;
      for (size_t r = 0; r < 5; ++r)
        runs.push_back({frames.data() + 128 * r, frames.data() + 128 * r + 64, uniform(random),
                        uniform(random)});
      std::vector<float> inTurn(2 * length, 0.5f);
      std::vector<float> atOnce(inTurn);
      for (const dsemu::ScaledRun& added : runs) {
        dsemu::VoiceRun run{added.left,     added.right,     0,    0, 48000, length,
                            added.gainLeft, added.gainRight, 48000};
        set->equalRate(run, nullptr, inTurn.data(), inTurn.data() + length);
      }
      set->addScaled(runs.data(), runs.size(), length, atOnce.data(), atOnce.data() + length);
      ASSERT_EQ(inTurn, atOnce);
    }
  }
}

// The vector sets against the portable one at output rates other than 44,100 Hz.
TEST(Resamplers, VectorSetsAgreeAtOtherRates) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> uniform(-1, 1);
  std::vector<float> left(8000);
  std::vector<float> right(8000);
  for (size_t i = 0; i < left.size(); ++i) {
    left[i] = uniform(random);
    right[i] = uniform(random);
  }
  const dsemu::Resamplers& portable = dsemu::PortableResamplers();
  for (const dsemu::Resamplers* set : {dsemu::Avx2Resamplers(), dsemu::Avx512Resamplers()}) {
    if (!set)
      continue;
    for (uint32_t rate : {22050u, 48000u, 192000u}) {
      for (uint32_t frequency : {11025u, 44100u, 96000u, 199999u}) {
        SCOPED_TRACE(testing::Message() << set->name << " " << rate << " " << frequency);
        const dsemu::SincKernel& kernel = dsemu::SincKernelFor(frequency, rate);
        dsemu::VoiceRun run{left.data(), right.data(), kernel.half, rate / 3, frequency,
                            203,         0.7f,         0.3f,        rate};
        for (auto [reference, vector] :
             {std::pair{portable.cubic, set->cubic}, std::pair{portable.sinc, set->sinc}}) {
          std::vector<float> a(2 * run.frames, 0.25f);
          std::vector<float> b(a);
          reference(run, &kernel, a.data(), a.data() + run.frames);
          vector(run, &kernel, b.data(), b.data() + run.frames);
          for (size_t i = 0; i < a.size(); ++i)
            ASSERT_NEAR(a[i], b[i], 2e-5) << i;
        }
      }
    }
  }
}

} // namespace
} // namespace dsound_test
