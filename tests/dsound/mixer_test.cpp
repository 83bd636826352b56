// What comes out of the mixer on the manual clock: gains, pan, formats, clipping, the
// documented interpolators, pitch and aliasing.
#include "device_fixture.h"
#include "platform/emul/dsound/resampler.h"
#include "signal_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

namespace dsound_test {
namespace {

class Mixing : public DeviceTest {
protected:
  void SetUp() override {
    DeviceTest::SetUp();
    dsemu::SelectQuality(dsemu::Quality::High);
  }

  // A buffer holding `bytes` (its size), made through Lock/Unlock.
  IDirectSoundBuffer* MakeWith(const WAVEFORMATEX& format, const void* bytes, DWORD size) {
    IDirectSoundBuffer* buffer = Make(format, size);
    if (buffer)
      Fill(buffer, bytes, size);
    return buffer;
  }

  template <typename Sample>
  IDirectSoundBuffer* MakeWith(const WAVEFORMATEX& format, const std::vector<Sample>& samples) {
    return MakeWith(format, samples.data(), static_cast<DWORD>(samples.size() * sizeof(Sample)));
  }

  static std::vector<int16_t> Render(size_t frames) {
    std::vector<int16_t> out(2 * frames, 0x5555);
    dsemu::AdvanceFrames(frames, out.data());
    return out;
  }

  // `frames` frames of a sine of `frequency` Hz at `rate`, amplitude `level` of full scale.
  static std::vector<int16_t> Sine(size_t frames, double frequency, double rate, double level) {
    std::vector<int16_t> samples(frames);
    for (size_t i = 0; i < frames; ++i)
      samples[i] = static_cast<int16_t>(
          std::lrint(32767 * level * std::sin(2 * M_PI * frequency * double(i) / rate)));
    return samples;
  }
};

TEST_F(Mixing, VolumeAndPanFollowTheDecibelRule) {
  constexpr int16_t kValue = 30000;
  const std::vector<int16_t> constant(2 * 4410, kValue);
  IDirectSoundBuffer* buffer = MakeWith(PcmFormat(2, 16, 44100), constant);
  ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);

  struct Case {
    LONG volume;
    LONG pan;
    double left; // expected amplitude
    double right;
  };
  const Case cases[] = {
      {0, 0, 1.0, 1.0},
      {-600, 0, std::pow(10.0, -0.3), std::pow(10.0, -0.3)},
      {-10000, 0, 0.0, 0.0},
      {0, 10000, 0.0, 1.0},
      {0, -10000, 1.0, 0.0},
      {0, 600, std::pow(10.0, -0.3), 1.0},
      {-300, -300, std::pow(10.0, -0.15), std::pow(10.0, -0.3)},
      {-5000, 6000, 0.0, std::pow(10.0, -2.5)}, // the left falls below -10000: silence
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "volume " << c.volume << " pan " << c.pan);
    ASSERT_EQ(buffer->SetVolume(c.volume), DS_OK);
    ASSERT_EQ(buffer->SetPan(c.pan), DS_OK);
    const std::vector<int16_t> out = Render(500);
    for (size_t k = 0; k < 500; k += 50) {
      for (int side = 0; side < 2; ++side) {
        const double expected = (side == 0 ? c.left : c.right) * kValue;
        // Within 0.1 %, or the half step of rounding to 16 bits where that is more.
        if (expected == 0.0)
          EXPECT_EQ(out[2 * k + side], 0);
        else
          EXPECT_NEAR(out[2 * k + side], expected, std::max(expected * 0.001, 0.5));
      }
    }
  }
}

TEST_F(Mixing, MonoIsCentredAndPrimaryVolumeScalesTheMix) {
  const std::vector<int16_t> constant(1000, -20000);
  IDirectSoundBuffer* buffer = MakeWith(PcmFormat(1, 16, 44100), constant);
  ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  std::vector<int16_t> out = Render(100);
  for (size_t k = 0; k < 100; ++k) {
    EXPECT_EQ(out[2 * k], -20000);
    EXPECT_EQ(out[2 * k + 1], -20000);
  }

  DSBUFFERDESC desc{};
  desc.dwSize = sizeof(DSBUFFERDESC1);
  desc.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN;
  IDirectSoundBuffer* primary = nullptr;
  ASSERT_EQ(device->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
  buffers.push_back(primary);
  ASSERT_EQ(primary->SetVolume(-600), DS_OK);
  ASSERT_EQ(primary->SetPan(10000), DS_OK);
  out = Render(10);
  EXPECT_EQ(out[0], 0);
  EXPECT_NEAR(out[1] / -20000.0, std::pow(10.0, -0.3), 0.001);
}

TEST_F(Mixing, EqualRateCopiesSampleForSampleAcrossTheLoop) {
  std::mt19937 random(7);
  std::vector<int16_t> noise(2 * 300);
  for (int16_t& value : noise)
    value = static_cast<int16_t>(random());
  IDirectSoundBuffer* buffer = MakeWith(PcmFormat(2, 16, 44100), noise);
  ASSERT_EQ(buffer->SetCurrentPosition(4 * 250), DS_OK);
  ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  const std::vector<int16_t> out = Render(700);
  for (size_t k = 0; k < 700; ++k) {
    const size_t frame = (250 + k) % 300;
    ASSERT_EQ(out[2 * k], noise[2 * frame]) << k;
    ASSERT_EQ(out[2 * k + 1], noise[2 * frame + 1]) << k;
  }
}

TEST_F(Mixing, EveryFormatIsReadAtItsFullScale) {
  // Half of full scale, in each format, comes out as 16,384.
  std::vector<BYTE> u8(64, 0xC0);
  MakeWith(PcmFormat(1, 8, 44100), u8)->Play(0, 0, DSBPLAY_LOOPING);
  std::vector<int16_t> out = Render(16);
  EXPECT_EQ(out[10], 16384);
  buffers.back()->Stop();

  WAVEFORMATEXTENSIBLE extensible{};
  extensible.Format = PcmFormat(2, 24, 44100);
  extensible.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  extensible.Format.cbSize = 22;
  extensible.Samples.wValidBitsPerSample = 24;
  extensible.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
  std::vector<BYTE> s24;
  for (int i = 0; i < 32; ++i)
    s24.insert(s24.end(), {0x00, 0x00, 0x40, 0x00, 0x00, 0xC0}); // +0.5, -0.5
  MakeWith(extensible.Format, s24)->Play(0, 0, DSBPLAY_LOOPING);
  out = Render(16);
  EXPECT_EQ(out[10], 16384);
  EXPECT_EQ(out[11], -16384);
  buffers.back()->Stop();

  extensible.Format = PcmFormat(1, 32, 44100);
  extensible.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  extensible.Format.cbSize = 22;
  extensible.Samples.wValidBitsPerSample = 32;
  const std::vector<int32_t> s32(32, 0x40000000);
  MakeWith(extensible.Format, s32)->Play(0, 0, DSBPLAY_LOOPING);
  out = Render(16);
  EXPECT_EQ(out[10], 16384);
  EXPECT_EQ(out[11], 16384);
  buffers.back()->Stop();

  extensible.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
  const std::vector<float> f32 = {0.5f, 0.5f, 0.5f, 0.5f, NAN, 7.0f, -7.0f, 0.5f};
  MakeWith(extensible.Format, f32)->Play(0, 0, 0);
  out = Render(8);
  EXPECT_EQ(out[0], 16384);
  EXPECT_EQ(out[8], 0);      // not a number is silence
  EXPECT_EQ(out[10], 32767); // out of range is clipped
  EXPECT_EQ(out[12], -32768);
}

TEST_F(Mixing, MoreThanTwoChannelsFoldToStereoBySpeakerPosition) {
  // Each channel alone at half scale, at the output rate: where it lands in the stereo
  // mix. Left speakers feed the left side, right ones the right, centres and channels
  // without a position both at 1/sqrt(2), low frequency neither; all divided by the
  // larger side's sum of weights.
  const double centre = std::sqrt(0.5);
  const double surround = 2 + centre;  // 5.1: front, centre and back on each side
  const double sides = 2 + 2 * centre; // front and side on each side, two unplaced
  struct Case {
    WORD channels;
    DWORD mask; // 0: a plain PCM block, the usual layout
    std::vector<std::pair<double, double>> gains;
  };
  const Case cases[] = {
      {4, 0, {{0.5, 0}, {0, 0.5}, {0.5, 0}, {0, 0.5}}},
      {6,
       0,
       {{1 / surround, 0},
        {0, 1 / surround},
        {centre / surround, centre / surround},
        {0, 0},
        {1 / surround, 0},
        {0, 1 / surround}}},
      // Side speakers, and channels past the mask's positions.
      {6,
       0x603,
       {{1 / sides, 0},
        {0, 1 / sides},
        {1 / sides, 0},
        {0, 1 / sides},
        {centre / sides, centre / sides},
        {centre / sides, centre / sides}}},
  };
  for (const Case& c : cases) {
    WAVEFORMATEXTENSIBLE format{};
    format.Format = PcmFormat(c.channels, 16, 44100);
    if (c.mask) {
      format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
      format.Format.cbSize = 22;
      format.Samples.wValidBitsPerSample = 16;
      format.dwChannelMask = c.mask;
      format.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    }
    for (WORD channel = 0; channel < c.channels; ++channel) {
      SCOPED_TRACE(testing::Message()
                   << c.channels << " channels, mask " << c.mask << ", channel " << channel);
      std::vector<int16_t> frames(16 * c.channels, 0);
      for (size_t i = channel; i < frames.size(); i += c.channels)
        frames[i] = 16384;
      MakeWith(format.Format, frames)->Play(0, 0, DSBPLAY_LOOPING);
      const std::vector<int16_t> out = Render(8);
      EXPECT_EQ(out[4], std::lround(32768 * 0.5 * c.gains[channel].first));
      EXPECT_EQ(out[5], std::lround(32768 * 0.5 * c.gains[channel].second));
      buffers.back()->Stop();
    }
  }
}

TEST_F(Mixing, SumsClipInsteadOfWrapping) {
  const std::vector<int16_t> high(2 * 64, 30000);
  const std::vector<int16_t> low(2 * 64, -30000);
  IDirectSoundBuffer* first = MakeWith(PcmFormat(2, 16, 44100), high);
  IDirectSoundBuffer* second = Duplicate(first);
  first->Play(0, 0, DSBPLAY_LOOPING);
  second->Play(0, 0, DSBPLAY_LOOPING);
  std::vector<int16_t> out = Render(8);
  EXPECT_EQ(out[4], 32767);
  Fill(first, low.data(), 4 * 64);
  out = Render(8);
  EXPECT_EQ(out[4], -32768);
}

// The fast interpolator against its formula, computed here in double precision, over a
// loop point and over the end of a one-shot buffer.
// Mono and stereo (read in place when the vector set can), slower and faster than the
// output, up to past the cubic's permutation windows.
TEST_F(Mixing, FastQualityIsTheDocumentedCubic) {
  dsemu::SelectQuality(dsemu::Quality::Fast);
  std::mt19937 random(11);
  std::vector<int16_t> noise[2] = {std::vector<int16_t>(997), std::vector<int16_t>(997)};
  for (auto& channel : noise)
    for (int16_t& value : channel)
      value = static_cast<int16_t>(static_cast<int>(random() % 40000) - 20000);
  const std::pair<DWORD, DWORD> frequencies[] = {{30011, 17389}, {88200, 199999}};
  for (WORD channels : {1, 2}) {
    for (auto [loopFrequency, onceFrequency] : frequencies) {
      SCOPED_TRACE(testing::Message()
                   << channels << " channels at " << loopFrequency << " and " << onceFrequency);
      std::vector<int16_t> data;
      for (size_t i = 0; i < noise[0].size(); ++i)
        for (WORD c = 0; c < channels; ++c)
          data.push_back(noise[c][i]);
      IDirectSoundBuffer* looping = MakeWith(PcmFormat(channels, 16, 22050), data);
      IDirectSoundBuffer* once = Duplicate(looping);
      ASSERT_EQ(looping->SetFrequency(loopFrequency), DS_OK);
      ASSERT_EQ(once->SetFrequency(onceFrequency), DS_OK);
      ASSERT_EQ(looping->SetPan(-10000), DS_OK); // left only
      ASSERT_EQ(once->SetPan(10000), DS_OK);     // right only
      ASSERT_EQ(looping->SetCurrentPosition(2 * channels * 900), DS_OK);
      ASSERT_EQ(once->SetCurrentPosition(2 * channels * 700), DS_OK);
      ASSERT_EQ(looping->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
      ASSERT_EQ(once->Play(0, 0, 0), DS_OK);

      constexpr size_t kFrames = 3000;
      std::vector<int16_t> out;
      for (size_t done = 0; done < kFrames; done += 37) { // ragged blocks, as a host gives them
        const std::vector<int16_t> block = Render(std::min<size_t>(37, kFrames - done));
        out.insert(out.end(), block.begin(), block.end());
      }

      auto expected = [&](const std::vector<int16_t>& samples, uint32_t frequency, size_t start,
                          size_t k, bool loop) {
        const uint64_t moved = uint64_t{frequency} * k;
        const uint64_t whole = start + moved / 44100;
        const double t = double(moved % 44100) / 44100;
        if (!loop && whole >= samples.size())
          return 0.0;
        auto x = [&](int64_t i) -> double {
          const int64_t n = static_cast<int64_t>(samples.size());
          if (loop)
            i = ((i % n) + n) % n;
          else if (i < 0 || i >= n)
            return 0;
          return samples[static_cast<size_t>(i)];
        };
        const int64_t i = static_cast<int64_t>(whole);
        const double y = x(i) + t / 2 * (x(i + 1) - x(i - 1)) +
                         t * t * (x(i - 1) - 2.5 * x(i) + 2 * x(i + 1) - 0.5 * x(i + 2)) +
                         t * t * t * (1.5 * (x(i) - x(i + 1)) + 0.5 * (x(i + 2) - x(i - 1)));
        return std::clamp(std::round(y), -32768.0, 32767.0);
      };
      const std::vector<int16_t>& right = noise[channels - 1];
      for (size_t k = 0; k < kFrames; ++k) {
        ASSERT_NEAR(out[2 * k], expected(noise[0], loopFrequency, 900, k, true), 1.0)
            << "frame " << k;
        ASSERT_NEAR(out[2 * k + 1], expected(right, onceFrequency, 700, k, false), 1.0)
            << "frame " << k;
      }
      EXPECT_EQ(Status(once), 0u);
      looping->Stop();
    }
  }
}

TEST_F(Mixing, OneShotSoundsForExactlyItsLength) {
  // 22,050 Hz, N frames of a constant: 2N output frames of sound, then silence.
  constexpr size_t kFrames = 1000;
  const std::vector<int16_t> constant(kFrames, 10000);
  IDirectSoundBuffer* buffer = MakeWith(PcmFormat(1, 16, 22050), constant);
  for (dsemu::Quality quality : {dsemu::Quality::Fast, dsemu::Quality::High}) {
    dsemu::SelectQuality(quality);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    const std::vector<int16_t> out = Render(2 * kFrames + 100);
    EXPECT_NEAR(out[2 * 1000], 10000, 2);
    EXPECT_NE(out[2 * (2 * kFrames - 1)], 0);
    for (size_t k = 2 * kFrames; k < 2 * kFrames + 100; ++k)
      ASSERT_EQ(out[2 * k], 0) << k;
    EXPECT_EQ(Status(buffer), 0u);
    EXPECT_EQ(PlayCursor(buffer), 0u);
  }
}

TEST_F(Mixing, PitchFollowsTheFrequency) {
  // 441 Hz at 22,050 Hz is 50 frames a cycle: a second of it loops seamlessly.
  IDirectSoundBuffer* buffer = MakeWith(PcmFormat(1, 16, 22050), Sine(22050, 441, 22050, 0.5));
  ASSERT_EQ(buffer->SetFrequency(33075), DS_OK);
  for (dsemu::Quality quality : {dsemu::Quality::Fast, dsemu::Quality::High}) {
    dsemu::SelectQuality(quality);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    const std::vector<double> left = Channel(Render(44100), 0, 100);
    EXPECT_NEAR(Pitch(left), 441 * 1.5, 661.5 * 0.0005);
    EXPECT_NEAR(Amplitude(left, 661.5), 0.5, 0.005);
  }
}

TEST_F(Mixing, DuplicatesAtDifferentFrequenciesPlayIndependently) {
  IDirectSoundBuffer* original = MakeWith(PcmFormat(1, 16, 22050), Sine(22050, 441, 22050, 0.5));
  IDirectSoundBuffer* copy = Duplicate(original);
  ASSERT_EQ(original->SetPan(-10000), DS_OK);
  ASSERT_EQ(copy->SetPan(10000), DS_OK);
  ASSERT_EQ(copy->SetFrequency(44100), DS_OK);
  ASSERT_EQ(original->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  ASSERT_EQ(copy->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  const std::vector<int16_t> out = Render(22050);
  EXPECT_NEAR(Pitch(Channel(out, 0)), 441, 0.2);
  EXPECT_NEAR(Pitch(Channel(out, 1)), 882, 0.4);
  EXPECT_EQ(PlayCursor(original), 2u * 11025);
  EXPECT_EQ(PlayCursor(copy), 0u); // once round exactly
}

// Plays a one-shot sine of `tone` Hz at 44,100 Hz at `frequency` and measures, in the
// middle of the output, the level at `at` Hz relative to the sine's own level.
struct ToneCase {
  DWORD frequency;
  double tone;
  double at;
};

class Aliasing : public Mixing {
protected:
  double Relative(const ToneCase& c) {
    IDirectSoundBuffer* buffer = MakeWith(PcmFormat(1, 16, 44100), Sine(65536, c.tone, 44100, 0.5));
    EXPECT_EQ(buffer->SetFrequency(c.frequency), DS_OK);
    EXPECT_EQ(buffer->Play(0, 0, 0), DS_OK);
    const std::vector<double> left = Channel(Render(2000 + 8192), 0, 2000);
    buffer->Stop();
    return Decibels(Amplitude(left, c.at) / 0.5);
  }
};

TEST_F(Aliasing, HighQualityKeepsImagesAndAliasesSixtyDecibelsDown) {
  dsemu::SelectQuality(dsemu::Quality::High);
  const ToneCase wanted[] = {
      {22050, 12000, 6000}, {88200, 8000, 16000}, {60417, 13000, 13000 * 60417.0 / 44100}};
  for (const ToneCase& c : wanted) {
    SCOPED_TRACE(c.frequency);
    EXPECT_NEAR(Relative(c), 0.0, 0.1);
  }
  const ToneCase unwanted[] = {
      {22050, 12000, 22050 - 6000},  // image of an octave down
      {88200, 15000, 44100 - 30000}, // alias of an octave up
      {60417, 19000, 44100 - 19000 * 60417.0 / 44100},
      {198450, 16000, 16200},                 // 72 kHz folded twice
      {33075, 16000, (44100 - 16000) * 0.75}, // image of a fourth down
  };
  for (const ToneCase& c : unwanted) {
    SCOPED_TRACE(c.frequency);
    EXPECT_LT(Relative(c), -60.0);
  }
}

TEST_F(Aliasing, FastQualityStaysWithinItsDocumentedBounds) {
  dsemu::SelectQuality(dsemu::Quality::Fast);
  // Tones at a quarter, 0.18, a tenth and a twentieth of the buffer's own rate, and the
  // bounds its images keep under, played a fourth down, a fifth down and a fifth up.
  const std::pair<double, double> bounds[] = {{11025, -23}, {8000, -32}, {4410, -50}, {2000, -70}};
  for (auto [tone, bound] : bounds) {
    for (DWORD frequency : {33075u, 22050u, 66150u}) {
      SCOPED_TRACE(testing::Message() << tone << " Hz at " << frequency);
      const double ratio = frequency / 44100.0;
      double image = std::fmod((44100 - tone) * ratio, 44100); // the first image, folded
      if (image > 22050)
        image = 44100 - image;
      EXPECT_LT(Relative({frequency, tone, image}), bound);
    }
  }
}

// Every vector set this processor has against the portable one, over the frequencies
// where their paths part: equal rate, slower, faster, beyond the cubic's permutation
// window, near the top of its two-window range (where only a second window that starts at
// the ninth frame's taps holds the last frames' taps), and the fastest, for stereo and
// mono runs.
TEST(Resamplers, VectorSetsAgreeWithThePortableOne) {
  std::vector<const dsemu::Resamplers*> sets;
  for (const dsemu::Resamplers* set : {dsemu::Avx2Resamplers(), dsemu::Avx512Resamplers()})
    if (set)
      sets.push_back(set);
  if (sets.empty())
    GTEST_SKIP() << "no vector instruction sets here";
  std::mt19937 random(5);
  std::uniform_real_distribution<float> uniform(-1, 1);
  std::vector<float> left(4000);
  std::vector<float> right(4000);
  for (size_t i = 0; i < left.size(); ++i) {
    left[i] = uniform(random);
    right[i] = uniform(random);
  }
  const dsemu::Resamplers& portable = dsemu::PortableResamplers();
  std::vector<int16_t> samples(2 * 37);
  for (int16_t& sample : samples)
    sample = static_cast<int16_t>(random());
  std::vector<int16_t> longer(2 * 4000);
  for (int16_t& sample : longer)
    sample = static_cast<int16_t>(random());
  std::vector<float> longerLeft(4000);
  std::vector<float> longerRight(4000);
  portable.decodeStereo16(longer.data(), 4000, longerLeft.data(), longerRight.data());
  for (const dsemu::Resamplers* set : sets) {
    // The cubic read in place from 16-bit stereo sums what it sums on the decoded run,
    // bit for bit, in every one of its paths and its last few frames.
    for (uint32_t frequency : {11025u, 30011u, 80000u, 88200u, 199999u}) {
      for (size_t frames : {size_t{203}, size_t{5}}) {
        if (!set->cubicStereo16)
          continue;
        SCOPED_TRACE(testing::Message() << set->name << " in place " << frequency << " " << frames);
        dsemu::VoiceRun run{longerLeft.data(),
                            longerRight.data(),
                            dsemu::kCubicBefore,
                            12345u,
                            frequency,
                            frames,
                            0.7f,
                            0.3f};
        std::vector<float> a(2 * frames, 0.25f);
        std::vector<float> b(a);
        set->cubic(run, nullptr, a.data(), a.data() + frames);
        run.left = run.right = nullptr;
        set->cubicStereo16(run, longer.data(), b.data(), b.data() + frames);
        ASSERT_EQ(a, b);
      }
    }
    // 16-bit stereo decodes to the same floats, bit for bit, the last frames included.
    std::vector<float> a(2 * 37, 2.0f);
    std::vector<float> b(a);
    portable.decodeStereo16(samples.data(), 37, a.data(), a.data() + 37);
    set->decodeStereo16(samples.data(), 37, b.data(), b.data() + 37);
    ASSERT_EQ(a, b) << set->name;
    for (uint32_t frequency : {44100u, 11025u, 30011u, 80000u, 88200u, 150000u, 199999u}) {
      for (bool mono : {false, true}) {
        for (size_t frames : {size_t{203}, size_t{16}, size_t{5}}) {
          SCOPED_TRACE(testing::Message() << set->name << " " << frequency
                                          << (mono ? " mono " : " stereo ") << frames);
          const dsemu::SincKernel& kernel = dsemu::SincKernelFor(frequency);
          dsemu::VoiceRun run{left.data(), mono ? left.data() : right.data(),
                              kernel.half, frequency == 44100 ? 0u : 12345u,
                              frequency,   frames,
                              0.7f,        0.3f};
          const std::pair<dsemu::MixFunction, dsemu::MixFunction> pairs[] = {
              {portable.equalRate, set->equalRate},
              {portable.cubic, set->cubic},
              {portable.sinc, set->sinc},
          };
          for (auto [reference, vector] : pairs) {
            if (reference == portable.equalRate && frequency != 44100)
              continue;
            std::vector<float> a(2 * frames, 0.25f);
            std::vector<float> b(a);
            reference(run, &kernel, a.data(), a.data() + frames);
            vector(run, &kernel, b.data(), b.data() + frames);
            for (size_t i = 0; i < a.size(); ++i)
              ASSERT_NEAR(a[i], b[i], 2e-5) << i;
          }
        }
      }
    }
  }
}

// A voice bent away and back to the output rate keeps the fraction its cursor had: it is
// still interpolated between frames, not copied from the frame below.
TEST_F(Mixing, BackAtTheOutputRateBetweenFramesIsStillInterpolated) {
  dsemu::SelectQuality(dsemu::Quality::Fast);
  std::mt19937 random(5);
  std::vector<int16_t> noise(4000);
  for (int16_t& value : noise)
    value = static_cast<int16_t>(static_cast<int>(random() % 40000) - 20000);
  IDirectSoundBuffer* buffer = MakeWith(PcmFormat(1, 16, 44100), noise);
  ASSERT_EQ(buffer->SetFrequency(30011), DS_OK);
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  Render(37);
  ASSERT_EQ(buffer->SetFrequency(44100), DS_OK);
  const std::vector<int16_t> out = Render(200);
  const uint64_t moved = uint64_t{30011} * 37;
  const double t = double(moved % 44100) / 44100;
  ASSERT_GT(t, 0.1);
  for (size_t k = 0; k < 200; ++k) {
    const size_t i = moved / 44100 + k;
    auto x = [&](size_t n) { return double(noise[n]); };
    const double y = x(i) + t / 2 * (x(i + 1) - x(i - 1)) +
                     t * t * (x(i - 1) - 2.5 * x(i) + 2 * x(i + 1) - 0.5 * x(i + 2)) +
                     t * t * t * (1.5 * (x(i) - x(i + 1)) + 0.5 * (x(i + 2) - x(i - 1)));
    ASSERT_NEAR(out[2 * k], std::clamp(std::round(y), -32768.0, 32767.0), 1.0) << k;
  }
}

// Cursors that land exactly on whole frames, up to the very end of a one-shot buffer:
// the frames landed on come out as they are, the buffer sounds for exactly its length,
// and nothing past its data is read (run under AddressSanitizer).
TEST_F(Mixing, CursorsLandingOnWholeFramesReadOnlyTheData) {
  std::mt19937 random(9);
  std::vector<int16_t> noise(999);
  for (int16_t& value : noise)
    value = static_cast<int16_t>(static_cast<int>(random() % 40000) - 20000);
  IDirectSoundBuffer* buffer = MakeWith(PcmFormat(1, 16, 44100), noise);
  for (dsemu::Quality quality : {dsemu::Quality::Fast, dsemu::Quality::High}) {
    dsemu::SelectQuality(quality);
    for (DWORD frequency : {66150u, 88200u, 132300u, 198450u}) {
      SCOPED_TRACE(testing::Message()
                   << frequency << (quality == dsemu::Quality::Fast ? " fast" : " high"));
      ASSERT_EQ(buffer->SetFrequency(frequency), DS_OK);
      ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
      std::vector<int16_t> out;
      for (size_t done = 0; done < 1100; done += 37) {
        const std::vector<int16_t> block = Render(37);
        out.insert(out.end(), block.begin(), block.end());
      }
      const size_t sounding = (noise.size() * 44100 + frequency - 1) / frequency;
      for (size_t k = 0; k < sounding && quality == dsemu::Quality::Fast; ++k) {
        if (uint64_t{frequency} * k % 44100 == 0) {
          ASSERT_EQ(out[2 * k], noise[uint64_t{frequency} * k / 44100]) << k;
        }
      }
      for (size_t k = sounding; k < out.size() / 2; ++k)
        ASSERT_EQ(out[2 * k], 0) << k;
      EXPECT_EQ(Status(buffer), 0u);
    }
  }
}

TEST_F(Mixing, WavCaptureHoldsWhatWasMixed) {
  const std::string path = testing::TempDir() + "za32_capture_test.wav";
  IDirectSoundBuffer* buffer = MakeWith(PcmFormat(1, 16, 22050), Sine(22050, 441, 22050, 0.5));
  ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  ASSERT_TRUE(dsemu::StartWavCapture(path.c_str()));
  const std::vector<int16_t> first = Render(1000);
  dsemu::AdvanceFrames(500, nullptr); // mixed for the file alone
  ASSERT_TRUE(dsemu::StopWavCapture());
  EXPECT_FALSE(dsemu::StartWavCapture("/nonexistent-directory/x.wav"));

  std::ifstream file(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
  std::remove(path.c_str());
  ASSERT_GT(bytes.size(), 12u);
  ASSERT_EQ(std::string(bytes.data(), 4), "RIFF");
  ASSERT_EQ(std::string(bytes.data() + 8, 4), "WAVE");
  size_t at = 12;
  std::vector<int16_t> data;
  while (at + 8 <= bytes.size()) {
    uint32_t size;
    std::memcpy(&size, bytes.data() + at + 4, 4);
    if (std::string(bytes.data() + at, 4) == "fmt ") {
      WAVEFORMATEX format{};
      std::memcpy(&format, bytes.data() + at + 8, 16);
      EXPECT_EQ(format.nChannels, 2);
      EXPECT_EQ(format.nSamplesPerSec, 44100u);
      EXPECT_EQ(format.wBitsPerSample, 16);
    }
    if (std::string(bytes.data() + at, 4) == "data") {
      data.resize(size / 2);
      std::memcpy(data.data(), bytes.data() + at + 8, size);
    }
    at += 8 + size + (size & 1);
  }
  ASSERT_EQ(data.size(), 2u * 1500);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), data.begin()));
  EXPECT_NEAR(Pitch(Channel(data, 0)), 441, 0.5);
}

} // namespace
} // namespace dsound_test
