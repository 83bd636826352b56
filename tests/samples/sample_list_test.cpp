// Loading samples onto the software sound device: the list, the buffers, every
// message, and nothing of a failed load left behind.
#include "platform/emul/control.h"
#include "platform/emul/dsound/device_control.h"
#include "samples/samples.h"
#include "tests/support/engine_reset.h"
#include "tests/support/message_boxes.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace wavfile;

namespace {

const char CannotLoadTail[] = "\nIt may be in another directory or CD-Rom";

class SampleStore : public ::testing::Test {
protected:
  void SetUp() override {
    ResetEngineState();
    dsemu::ClearFaults();
    dsemu::ResetCallCounts();
    dsemu::SelectOutput(dsemu::Output::Manual);
    blocksBefore_ = emul::LiveGlobalBlocks();
    ASSERT_EQ(DirectSoundCreate(nullptr, &SoundDevice, nullptr), DS_OK);
    ASSERT_EQ(SoundDevice->SetCooperativeLevel(reinterpret_cast<HWND>(0x1000), DSSCL_PRIORITY),
              DS_OK);

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = Instance();
    windowClass.lpszClassName = "SampleListTestHost";
    RegisterClassA(&windowClass);
    HostWindow = CreateWindowExA(0, "SampleListTestHost", "host", 0, 0, 0, 100, 100, nullptr,
                                 nullptr, Instance(), nullptr);
    otherWindow_ = CreateWindowExA(0, "SampleListTestHost", "other", 0, 0, 0, 100, 100, nullptr,
                                   nullptr, Instance(), nullptr);
    ASSERT_NE(HostWindow, nullptr);
    ASSERT_NE(otherWindow_, nullptr);
  }

  void TearDown() override {
    dsemu::ClearFaults();
    emul::ClearFaults();
    while (SampleList.Next) {
      SampleRecord* sample = SampleList.Next;
      ReleaseSampleBuffer(sample);
      UnloadSample(sample, &SampleList);
    }
    if (SoundDevice)
      SoundDevice->Release();
    DestroyWindow(HostWindow);
    DestroyWindow(otherWindow_);
    UnregisterClassA("SampleListTestHost", Instance());
    EXPECT_EQ(dsemu::LiveBufferCount(), 0u);
    EXPECT_EQ(emul::LiveGlobalBlocks(), blocksBefore_);
    EXPECT_EQ(emul::OpenMmioFiles(), 0u);
    ResetEngineState();
  }

  static HINSTANCE Instance() { return reinterpret_cast<HINSTANCE>(0x400000); }

  std::string WriteWav(const std::string& name, const Format& format, size_t frames) {
    return dir_.write(name, Wav(format, frames));
  }
  std::string Kick() { return WriteWav("kick.wav", Format{}, 500); }

  // Loads with the focus elsewhere, so that its return to the host shows.
  LONG Load(const std::string& name) {
    SetFocus(otherWindow_);
    LONG result = LoadSample(name.c_str());
    EXPECT_EQ(GetFocus(), HostWindow) << "the focus goes back to the host after every load";
    return result;
  }

  std::vector<SampleRecord*> Chain() const {
    std::vector<SampleRecord*> samples;
    for (SampleRecord* s = SampleList.Next; s; s = s->Next)
      samples.push_back(s);
    return samples;
  }

  // One failure: -1, exactly one error box owned by the host, the list as it was, and
  // nothing of the failed sample left on the device or the heap.
  void ExpectRefused(const std::string& name, const std::string& text) {
    std::vector<SampleRecord*> before = Chain();
    size_t buffers = dsemu::LiveBufferCount();
    size_t blocks = emul::LiveGlobalBlocks();
    boxes_.clear();
    EXPECT_EQ(Load(name), -1);
    if (text.empty()) {
      EXPECT_TRUE(boxes_.calls().empty());
    } else {
      ASSERT_EQ(boxes_.calls().size(), 1u);
      EXPECT_EQ(boxes_.calls()[0].text, text);
      EXPECT_EQ(boxes_.calls()[0].caption, "ZA32");
      EXPECT_EQ(boxes_.calls()[0].owner, HostWindow);
      EXPECT_EQ(boxes_.calls()[0].type, static_cast<UINT>(MB_ICONERROR));
    }
    EXPECT_EQ(Chain(), before);
    EXPECT_EQ(dsemu::LiveBufferCount(), buffers) << "a buffer was left";
    EXPECT_EQ(emul::LiveGlobalBlocks(), blocks) << "a global block was left";
    EXPECT_EQ(emul::OpenMmioFiles(), 0u);
  }

  static std::string BufferBytes(IDirectSoundBuffer* buffer, DWORD size) {
    LPVOID region = nullptr;
    DWORD bytes = 0;
    EXPECT_EQ(buffer->Lock(0, size, &region, &bytes, nullptr, nullptr, 0), DS_OK);
    std::string copy(static_cast<const char*>(region), bytes);
    buffer->Unlock(region, bytes, nullptr, 0);
    return copy;
  }

  TempDir dir_;
  MessageBoxRecorder boxes_;
  HWND otherWindow_ = nullptr;
  size_t blocksBefore_ = 0;
};

TEST_F(SampleStore, LoadedSampleOwnsItsBlocksAndAStaticBuffer) {
  Format format;
  format.channels = 2;
  format.rate = 32000;
  std::string samples = Frames(format, 300);
  std::string path = dir_.write("pad.wav", Wav(format, samples));

  ASSERT_EQ(Load(path), 1);
  EXPECT_TRUE(boxes_.calls().empty());
  ASSERT_EQ(CountSamples(&SampleList), 1);
  SampleRecord* sample = SampleList.Next;
  EXPECT_STREQ(sample->Name, path.c_str());
  EXPECT_EQ(sample->DataSize, samples.size());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(sample->Data), sample->DataSize), samples);
  EXPECT_EQ(sample->Format->nSamplesPerSec, 32000u);
  EXPECT_EQ(sample->StickyFocus, 1);
  EXPECT_EQ(sample->Playing, 0);
  EXPECT_EQ(sample->Looping, 0);
  EXPECT_EQ(sample->Next, nullptr);
  // The record, its format and its data: three blocks.
  EXPECT_EQ(emul::LiveGlobalBlocks(), blocksBefore_ + 3);

  dsemu::BufferState state{};
  ASSERT_TRUE(dsemu::QueryBuffer(sample->Buffer, &state));
  EXPECT_EQ(state.flags, 0x141E2u);
  EXPECT_EQ(state.size, samples.size());
  EXPECT_EQ(state.volume, 0);
  EXPECT_EQ(state.pan, 0);
  EXPECT_EQ(state.references, 1u);
  EXPECT_EQ(state.format.nChannels, 2);
  EXPECT_FALSE(state.playing);
  EXPECT_EQ(BufferBytes(sample->Buffer, sample->DataSize), samples);
}

TEST_F(SampleStore, FormatsOfPublishedKitsLoad) {
  // 24-bit under the plain PCM tag, 32-bit float and surround, as real packs ship them.
  const struct {
    uint16_t tag, channels, bits;
  } formats[] = {{1, 1, 24}, {1, 2, 24}, {1, 2, 32}, {3, 2, 32}, {1, 6, 16}};
  int file = 0;
  for (const auto& f : formats) {
    SCOPED_TRACE(testing::Message() << f.tag << "/" << f.channels << "/" << f.bits);
    Format format;
    format.tag = f.tag;
    format.channels = f.channels;
    format.bits = f.bits;
    const std::string path = dir_.write("s" + std::to_string(++file) + ".wav", Wav(format, 100));
    EXPECT_EQ(Load(path), 1);
  }
  EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(SampleStore, SamplesAreAppendedInLoadingOrderAndDuplicatesAreKept) {
  std::string kick = Kick();
  std::string snare = WriteWav("snare.wav", Format{}, 200);
  ASSERT_EQ(Load(kick), 1);
  ASSERT_EQ(Load(snare), 1);
  ASSERT_EQ(Load(kick), 1);
  std::vector<SampleRecord*> chain = Chain();
  ASSERT_EQ(chain.size(), 3u);
  EXPECT_EQ(CountSamples(&SampleList), 3);
  EXPECT_STREQ(chain[0]->Name, kick.c_str());
  EXPECT_STREQ(chain[1]->Name, snare.c_str());
  EXPECT_STREQ(chain[2]->Name, kick.c_str());
  EXPECT_NE(chain[0]->Buffer, chain[2]->Buffer);
  EXPECT_EQ(dsemu::LiveBufferCount(), 3u);
}

TEST_F(SampleStore, TwentySixSamplesAtMost) {
  std::string kick = Kick();
  for (int i = 0; i < 26; ++i)
    ASSERT_EQ(Load(kick), 1) << i;
  EXPECT_EQ(CountSamples(&SampleList), 26);
  ExpectRefused(kick, "No more WAV files can be loaded");
  // Any name at all, a missing one included: the limit is checked first.
  ExpectRefused(dir_.file("absent.wav"), "No more WAV files can be loaded");
  EXPECT_EQ(CountSamples(&SampleList), 26);
}

TEST_F(SampleStore, MissingFileCannotBeLoaded) {
  ExpectRefused(dir_.file("absent.wav"), "Cannot load " + dir_.file("absent.wav") + CannotLoadTail);
  // The name is shown exactly as passed, and never taken as a format.
  ExpectRefused("C:\\No Such\\100%s %d.wav",
                std::string("Cannot load C:\\No Such\\100%s %d.wav") + CannotLoadTail);
}

TEST_F(SampleStore, AnyOtherReaderFailureIsNotAWaveFile) {
  std::string fmt = Chunk("fmt ", FmtData(Format{}));
  struct Case {
    const char* name;
    std::string bytes;
  };
  for (const Case& c :
       {Case{"empty.wav", ""}, Case{"text.wav", "just some text, not RIFF"},
        Case{"avi.wav", Riff("AVI ", fmt)}, Case{"nodata.wav", Riff("WAVE", fmt)},
        Case{"short.wav", Riff("WAVE", fmt + ChunkDeclaring("data", 1000, "abc"))},
        Case{"huge.wav", Riff("WAVE", fmt + ChunkDeclaring("data", 0xfffffff0u, "abc"))}}) {
    SCOPED_TRACE(c.name);
    std::string path = dir_.write(c.name, c.bytes);
    ExpectRefused(path, path + " is not a Wave File");
  }
}

TEST_F(SampleStore, MemoryExhaustion) {
  std::string kick = Kick();
  // The record is the first allocation, the format the second, the data the third.
  emul::FailNth(emul::SystemCall::GlobalAlloc, 1);
  ExpectRefused(kick, "Insufficient memory");
  emul::FailNth(emul::SystemCall::GlobalAlloc, 2);
  ExpectRefused(kick, kick + " is not a Wave File");
  emul::FailNth(emul::SystemCall::GlobalAlloc, 3);
  ExpectRefused(kick, kick + " is not a Wave File");
}

TEST_F(SampleStore, ReaderResultOneFailsWithoutAMessage) {
  std::string kick = Kick();
  emul::FailNth(emul::SystemCall::MmioGetInfo, 1);
  ExpectRefused(kick, "");
}

TEST_F(SampleStore, FormatTheDeviceRefuses) {
  Format adpcm;
  adpcm.tag = 2; // WAVE_FORMAT_ADPCM
  std::string path = WriteWav("adpcm.wav", adpcm, 100);
  ExpectRefused(path, "Format of " + path + " in unsupported");
  // A data chunk too small for any buffer.
  std::string empty = dir_.write("empty-data.wav", Wav(Format{}, std::string()));
  ExpectRefused(empty, "Invalid Parameter in " + empty);
}

struct DeviceFailure {
  dsemu::Call call;
  HRESULT result;
  const char* message; // with %s for the name
};

class SampleBufferFailure : public SampleStore,
                            public ::testing::WithParamInterface<DeviceFailure> {};

TEST_P(SampleBufferFailure, IsReportedAndLeavesNothing) {
  const DeviceFailure& failure = GetParam();
  std::string kick = Kick();
  ASSERT_EQ(Load(kick), 1); // a sample already there stays untouched
  dsemu::FailNext(failure.call, failure.result);
  char text[512];
  std::snprintf(text, sizeof text, failure.message, kick.c_str());
  ExpectRefused(kick, text);
  EXPECT_EQ(dsemu::LiveBufferCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    EveryResult, SampleBufferFailure,
    ::testing::Values(
        DeviceFailure{dsemu::Call::CreateSoundBuffer, DSERR_ALLOCATED,
                      "A buffer for %s is already allocated"},
        DeviceFailure{dsemu::Call::CreateSoundBuffer, DSERR_INVALIDPARAM,
                      "Invalid Parameter in %s"},
        DeviceFailure{dsemu::Call::CreateSoundBuffer, DSERR_NOAGGREGATION, "No aggregation in %s"},
        DeviceFailure{dsemu::Call::CreateSoundBuffer, DSERR_OUTOFMEMORY,
                      "Not enough memory for %s"},
        DeviceFailure{dsemu::Call::CreateSoundBuffer, DSERR_UNINITIALIZED,
                      "Could not initialise %s"},
        DeviceFailure{dsemu::Call::CreateSoundBuffer, DSERR_UNSUPPORTED,
                      "Format of %s in unsupported"},
        DeviceFailure{dsemu::Call::CreateSoundBuffer, DSERR_BADFORMAT, "Bad Format in %s"},
        DeviceFailure{dsemu::Call::CreateSoundBuffer, DSERR_GENERIC, "Bad Format in %s"},
        DeviceFailure{dsemu::Call::CreateSoundBuffer, DSERR_NODRIVER, "Bad Format in %s"},
        // The calls after the creation fail with their own codes, the buffer released.
        DeviceFailure{dsemu::Call::Lock, DSERR_BUFFERLOST, "Bad Format in %s"},
        DeviceFailure{dsemu::Call::Lock, DSERR_INVALIDPARAM, "Invalid Parameter in %s"},
        DeviceFailure{dsemu::Call::Unlock, DSERR_INVALIDPARAM, "Invalid Parameter in %s"},
        DeviceFailure{dsemu::Call::SetVolume, DSERR_CONTROLUNAVAIL, "Bad Format in %s"},
        DeviceFailure{dsemu::Call::SetPan, DSERR_OUTOFMEMORY, "Not enough memory for %s"}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(SampleStore, NoOpenDeviceIsReportedAsUninitialised) {
  std::string kick = Kick();
  SoundDevice->Release();
  SoundDevice = nullptr;
  ExpectRefused(kick, "Could not initialise " + kick);
}

TEST_F(SampleStore, OverlongNamesAreRefusedAsFilesThatCannotBeLoaded) {
  // 255 characters fit the working copy and load: a real file behind a padded path.
  std::string kick = Kick();
  std::string directory = dir_.path().string();
  std::string padded = directory + std::string(255 - directory.size() - 8, '/') + "kick.wav";
  ASSERT_EQ(padded.size(), 255u);
  ASSERT_EQ(Load(padded), 1);
  EXPECT_STREQ(SampleList.Next->Name, padded.c_str());

  // 256 and more are refused, the name cut to the 255 characters that fit.
  for (size_t length : {256u, 300u, 5000u}) {
    std::string name = padded + std::string(length - 255, 'x');
    ExpectRefused(name, "Cannot load " + name.substr(0, 255) + CannotLoadTail);
  }
}

TEST_F(SampleStore, CreateSampleBufferHonoursStickyFocus) {
  std::string samples = Frames(Format{}, 64);
  SampleRecord record{};
  record.Data = reinterpret_cast<BYTE*>(samples.data());
  record.DataSize = static_cast<DWORD>(samples.size());
  WAVEFORMATEX format{1, 1, 22050, 44100, 2, 16, 0};
  record.Format = &format;

  ASSERT_EQ(CreateSampleBuffer(&record), DS_OK);
  dsemu::BufferState state{};
  ASSERT_TRUE(dsemu::QueryBuffer(record.Buffer, &state));
  EXPECT_EQ(state.flags, 0x101E2u);
  EXPECT_EQ(BufferBytes(record.Buffer, record.DataSize), samples);
  EXPECT_EQ(ReleaseSampleBuffer(&record), 0);
  EXPECT_EQ(record.Buffer, nullptr);
  EXPECT_EQ(ReleaseSampleBuffer(&record), 0); // nothing to release
  EXPECT_EQ(dsemu::LiveBufferCount(), 0u);

  // A failing creation leaves Buffer null, whatever it held before.
  record.Buffer = reinterpret_cast<IDirectSoundBuffer*>(0x1234);
  dsemu::FailNext(dsemu::Call::CreateSoundBuffer, DSERR_OUTOFMEMORY);
  EXPECT_EQ(CreateSampleBuffer(&record), DSERR_OUTOFMEMORY);
  EXPECT_EQ(record.Buffer, nullptr);
}

TEST_F(SampleStore, UnloadingMovesLaterSamplesDown) {
  std::vector<std::string> names;
  for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"}) {
    names.push_back(WriteWav(name, Format{}, 100));
    ASSERT_EQ(Load(names.back()), 1);
  }
  size_t blocks = emul::LiveGlobalBlocks();
  std::vector<SampleRecord*> chain = Chain();

  ReleaseSampleBuffer(chain[1]);
  EXPECT_EQ(UnloadSample(chain[1], &SampleList), 0);
  EXPECT_EQ(Chain(), (std::vector<SampleRecord*>{chain[0], chain[2], chain[3]}));
  EXPECT_EQ(emul::LiveGlobalBlocks(), blocks - 3);
  EXPECT_EQ(dsemu::LiveBufferCount(), 3u);

  // The first and the last go as well.
  ReleaseSampleBuffer(chain[0]);
  UnloadSample(chain[0], &SampleList);
  ReleaseSampleBuffer(chain[3]);
  UnloadSample(chain[3], &SampleList);
  ASSERT_EQ(Chain(), std::vector<SampleRecord*>{chain[2]});
  EXPECT_STREQ(SampleList.Next->Name, names[2].c_str());

  // A record not in the list is left alone.
  SampleRecord stranger{};
  EXPECT_EQ(UnloadSample(&stranger, &SampleList), 0);
  EXPECT_EQ(UnloadSample(nullptr, &SampleList), 0);
  EXPECT_EQ(CountSamples(&SampleList), 1);

  // Loading appends behind the survivors.
  ASSERT_EQ(Load(names[0]), 1);
  EXPECT_STREQ(Chain()[1]->Name, names[0].c_str());
}

TEST_F(SampleStore, AppendClearsPlayingAndNext) {
  SampleRecord head{}, first{}, second{};
  first.Playing = 1;
  first.Next = &second;
  second.Playing = 1;
  EXPECT_EQ(CountSamples(&head), 0);
  AppendSample(&head, &first);
  AppendSample(&head, &second);
  EXPECT_EQ(first.Playing, 0);
  EXPECT_EQ(first.Next, &second);
  EXPECT_EQ(second.Next, nullptr);
  EXPECT_EQ(second.Playing, 0);
  EXPECT_EQ(CountSamples(&head), 2);
}

TEST_F(SampleStore, StopSample) {
  ASSERT_EQ(Load(Kick()), 1);
  SampleRecord* sample = SampleList.Next;
  boxes_.clear();

  // Not playing: the device is not called.
  dsemu::ResetCallCounts();
  EXPECT_EQ(StopSample(otherWindow_, sample), 0);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::Stop), 0u);

  ASSERT_EQ(sample->Buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  sample->Playing = 1;
  dsemu::FailNext(dsemu::Call::Stop, DSERR_BUFFERLOST);
  EXPECT_EQ(StopSample(otherWindow_, sample), DSERR_BUFFERLOST);
  EXPECT_EQ(sample->Playing, 1);
  ASSERT_EQ(boxes_.calls().size(), 1u);
  EXPECT_EQ(boxes_.calls()[0].owner, otherWindow_);
  EXPECT_EQ(boxes_.calls()[0].text, "Cannot stop the sound");
  EXPECT_EQ(boxes_.calls()[0].caption, "ZA32");
  EXPECT_EQ(boxes_.calls()[0].type, static_cast<UINT>(MB_OK));

  EXPECT_EQ(StopSample(otherWindow_, sample), 0);
  EXPECT_EQ(sample->Playing, 0);
  dsemu::BufferState state{};
  ASSERT_TRUE(dsemu::QueryBuffer(sample->Buffer, &state));
  EXPECT_FALSE(state.playing);
  EXPECT_EQ(boxes_.calls().size(), 1u);
}

TEST_F(SampleStore, PlayingAPlayingSampleAgainRestartsItWithoutASecondPlay) {
  ASSERT_EQ(Load(Kick()), 1);
  SampleRecord* sample = SampleList.Next;
  sample->Looping = 1;
  ASSERT_EQ(PlaySample(otherWindow_, sample), 0);
  dsemu::AdvanceFrames(100, nullptr);
  dsemu::BufferState state{};
  ASSERT_TRUE(dsemu::QueryBuffer(sample->Buffer, &state));
  ASSERT_GT(state.position, 0u);
  dsemu::ResetCallCounts();

  EXPECT_EQ(PlaySample(otherWindow_, sample), 0);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::Play), 0u);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::SetCurrentPosition), 1u);
  ASSERT_TRUE(dsemu::QueryBuffer(sample->Buffer, &state));
  EXPECT_EQ(state.position, 0u);
  EXPECT_TRUE(state.playing);
  EXPECT_TRUE(state.looping);
  EXPECT_EQ(sample->Playing, 1);
}

TEST_F(SampleStore, PlaySampleReportsItsDeviceFailures) {
  ASSERT_EQ(Load(Kick()), 1);
  SampleRecord* sample = SampleList.Next;
  boxes_.clear();
  dsemu::BufferState state{};

  // A position that cannot be set is shown, and the sample plays all the same.
  dsemu::FailNext(dsemu::Call::SetCurrentPosition, DSERR_INVALIDCALL);
  EXPECT_EQ(PlaySample(otherWindow_, sample), 0);
  ASSERT_EQ(boxes_.calls().size(), 1u);
  EXPECT_EQ(boxes_.calls()[0].text, "Cannot set current position");
  EXPECT_EQ(boxes_.calls()[0].owner, otherWindow_);
  EXPECT_EQ(boxes_.calls()[0].type, static_cast<UINT>(MB_OK));
  ASSERT_TRUE(dsemu::QueryBuffer(sample->Buffer, &state));
  EXPECT_TRUE(state.playing);
  EXPECT_FALSE(state.looping);
  ASSERT_EQ(StopSample(otherWindow_, sample), 0);

  // A status that cannot be read ends it silently.
  boxes_.clear();
  dsemu::FailNext(dsemu::Call::GetStatus, DSERR_INVALIDCALL);
  EXPECT_EQ(PlaySample(otherWindow_, sample), DSERR_INVALIDCALL);
  EXPECT_TRUE(boxes_.calls().empty());
  ASSERT_TRUE(dsemu::QueryBuffer(sample->Buffer, &state));
  EXPECT_FALSE(state.playing);

  // A Play that fails is shown and leaves the sample not playing.
  dsemu::FailNext(dsemu::Call::Play, DSERR_BUFFERLOST);
  EXPECT_EQ(PlaySample(otherWindow_, sample), DSERR_BUFFERLOST);
  ASSERT_EQ(boxes_.calls().size(), 1u);
  EXPECT_EQ(boxes_.calls()[0].text, "Cannot start playing");
  EXPECT_EQ(sample->Playing, 0);
  ASSERT_TRUE(dsemu::QueryBuffer(sample->Buffer, &state));
  EXPECT_FALSE(state.playing);
}

} // namespace
