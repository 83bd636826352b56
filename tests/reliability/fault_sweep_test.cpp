// One scripted session of a host (set-up, key map, notes, parameter changes, audition,
// rate test, a key update, all notes off, AudioTerm) run once cleanly, then once for
// every device call it makes with that one call failing. Each failure must end in the
// engine's own words (or in silence where its result is ignored), leave the state that
// the failed operation promises, let the rest of the session run, and leak nothing.
#include "session.h"

#include "engine/device.h"
#include "samples/samples.h"

#include <optional>

namespace {

using dsemu::Call;

enum class Step {
  Start,         // AudioInit
  KeyMap,        // keys 0 and 2 name a.wav, key 1 b.wav
  NotesOn,       // keys 0 and 1 start
  NoteOff,       // key 1 stops
  Parameters,    // every parameter message on the sounding key 0
  AuditionStart, // c.wav, which no key names
  AuditionStop,
  RateTest,    // 0 seconds
  NoteOnAgain, // key 1 starts again...
  KeyUpdate,   // ...and is updated to d.wav while it sounds
  AllOff,
  Term,
  Count_
};
constexpr size_t kSteps = static_cast<size_t>(Step::Count_);

const char* StepName(Step step) {
  static const char* const names[] = {"Start",       "KeyMap",        "NotesOn",      "NoteOff",
                                      "Parameters",  "AuditionStart", "AuditionStop", "RateTest",
                                      "NoteOnAgain", "KeyUpdate",     "AllOff",       "Term"};
  static_assert(std::size(names) == kSteps);
  return names[static_cast<size_t>(step)];
}

// A failure the engine counts as one wherever it is checked: negative, and the loader
// has words for it.
constexpr HRESULT kFailure = DSERR_OUTOFMEMORY;

// Where the injected failure fell: the step, and which of that step's calls of the
// failing kind it was (1 for the first).
struct Site {
  Step step;
  unsigned local;
};

struct Box {
  std::string text;
  UINT type;
  bool ownedByHost;
};

class FaultSweep : public SessionTest, public ::testing::WithParamInterface<Call> {
protected:
  void SetUp() override {
    SessionTest::SetUp();
    // The rate test waits on the system timer; stepped, it waits no real time.
    emul::SetTimerStep(100);
    a = Wav("a.wav");
    b = Wav("b.wav");
    c = Wav("c.wav");
    d = Wav("d.wav");
  }

  void TearDown() override {
    DestroyLostBuffers();
    SessionTest::TearDown();
  }

  // Runs the session with the n-th call of `call` failing (none when n is 0). Returns
  // the number of calls of that kind each step made, and where the failure fell.
  std::array<unsigned, kSteps> Run(Call call, unsigned n, std::optional<Site>* site) {
    std::array<unsigned, kSteps> calls{};
    boxes.clear();
    dsemu::ClearFaults();
    dsemu::ResetCallCounts();
    if (n)
      dsemu::FailNth(call, n, kFailure);
    for (size_t s = 0; s < kSteps; ++s) {
      const Step step = static_cast<Step>(s);
      SCOPED_TRACE(StepName(step));
      if (step == Step::Term)
        ExpectEverythingAccountedFor();
      const unsigned before = dsemu::CallCount(call);
      const size_t boxesBefore = boxes.calls().size();
      RunStep(step);
      calls[s] = dsemu::CallCount(call) - before;
      const bool failedHere = n > before && n <= before + calls[s];
      if (failedHere) {
        *site = Site{step, n - before};
        ExpectAfterFailure(step, call, n - before);
      } else {
        EXPECT_EQ(boxes.calls().size(), boxesBefore) << "a box where nothing failed";
        ExpectNormalState(step);
      }
      if (!EngineWindow)
        break; // the host got no engine and calls nothing more
    }
    DestroyLostBuffers();
    ShutDownEngine();
    ExpectNothingLeft();
    return calls;
  }

  void RunStep(Step step) {
    switch (step) {
    case Step::Start:
      engine = StartEngine();
      break;
    case Step::KeyMap:
      Install({Key(a, 36), Key(b, 38), Key(a, 40)});
      break;
    case Step::NotesOn:
      NoteOnMessage(36, 100);
      NoteOnMessage(38, 100);
      break;
    case Step::NoteOff:
      NoteOffMessage(38);
      break;
    case Step::Parameters:
      Send(AM_VOLUME, 0, 90);
      Send(AM_PAN, 0, 30);
      Send(AM_NOTEPITCH, 0, 72);
      Send(AM_FINETUNE, 0, 75);
      Send(AM_BENDENABLE, 0, 1);
      Send(AM_BEND, 0, 100);
      Send(AM_LOOP, 0, 1);
      Send(AM_MUTE, 0, 1);
      Send(AM_MUTE, 0, 0);
      break;
    case Step::AuditionStart:
      auditionResult = StartAudition(c.c_str());
      break;
    case Step::AuditionStop:
      EXPECT_EQ(StopAudition(0), 1);
      break;
    case Step::RateTest:
      EXPECT_EQ(StartTest(0, 0), 0) << "the manual clock stands still";
      break;
    case Step::NoteOnAgain:
      NoteOnMessage(38, 100);
      break;
    case Step::KeyUpdate:
      updateResult = Update(Key(d, 38), 1);
      break;
    case Step::AllOff:
      EXPECT_EQ(AllNotesOff(0), 0);
      break;
    case Step::Term:
      EXPECT_EQ(AudioTerm(0), 0);
      break;
    case Step::Count_:
      break;
    }
  }

  // The state each step leaves when nothing failed in it (earlier failures aside).
  void ExpectNormalState(Step step) {
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    switch (step) {
    case Step::Start:
      EXPECT_NE(engine, nullptr);
      EXPECT_NE(SoundDevice, nullptr);
      break;
    case Step::AuditionStart:
      EXPECT_EQ(auditionResult, 1);
      EXPECT_NE(AuditionSample, nullptr);
      break;
    case Step::AuditionStop:
    case Step::RateTest:
      EXPECT_EQ(AuditionSample, nullptr);
      ExpectEverythingAccountedFor();
      break;
    case Step::KeyUpdate:
      EXPECT_EQ(updateResult, 1);
      EXPECT_STREQ(KeyMap[1].SampleName, d.c_str());
      EXPECT_EQ(KeyMap[1].Playing, 0);
      break;
    case Step::AllOff:
      EXPECT_EQ(ActiveVoices(), 0u);
      break;
    default:
      break;
    }
  }

  // The boxes the failure showed, exactly, and the state it left.
  void ExpectAfterFailure(Step step, Call call, unsigned local) {
    std::vector<Box> expected;
    auto engineBox = [&](const char* text) { expected.push_back(Box{text, MB_OK, false}); };
    auto loadBox = [&](const std::string& file) {
      expected.push_back(Box{"Not enough memory for " + file, MB_ICONERROR, true});
    };
    const bool bufferMaking = call == Call::CreateSoundBuffer || call == Call::Lock ||
                              call == Call::Unlock || call == Call::SetVolume ||
                              call == Call::SetPan;

    switch (step) {
    case Step::Start:
      ExpectSetupFailure(call, local, expected);
      break;
    case Step::KeyMap:
      ASSERT_TRUE(bufferMaking);
      // a.wav failing for key 0 is loaded again for key 2; b.wav has no second chance.
      loadBox(local == 1 ? a : b);
      EXPECT_EQ(CountLoaded(), local == 1 ? 2u : 1u);
      EXPECT_EQ(KeyMap[1].SampleNumber, local == 1 ? 0 : -1);
      EXPECT_NE(KeyMap[0].SampleNumber, -1);
      break;
    case Step::NotesOn:
    case Step::NoteOnAgain: {
      const int key = step == Step::NoteOnAgain || local == 2 ? 1 : 0;
      ExpectNoteOnFailure(key, call, expected);
      break;
    }
    case Step::NoteOff:
      ASSERT_EQ(call, Call::Stop);
      engineBox("Error stopping playback");
      EXPECT_EQ(KeyMap[1].Playing, 0);
      EXPECT_EQ(ActiveVoices(), 1u);
      break;
    case Step::Parameters:
      // Every result here is ignored: the key holds the new values all the same.
      EXPECT_EQ(KeyMap[0].Volume, 90);
      EXPECT_EQ(KeyMap[0].Pan, 30);
      EXPECT_EQ(KeyMap[0].Note, 72);
      EXPECT_EQ(KeyMap[0].FineTune, 75);
      EXPECT_EQ(KeyMap[0].Loop, 1);
      EXPECT_EQ(KeyMap[0].Mute, 0);
      EXPECT_EQ(BendValue, 100);
      EXPECT_EQ(KeyMap[0].Playing, 1);
      break;
    case Step::AuditionStart:
      if (bufferMaking) {
        loadBox(c);
        EXPECT_EQ(auditionResult, -1);
        EXPECT_EQ(AuditionSample, nullptr);
        EXPECT_EQ(CountLoaded(), 2u);
        break;
      }
      EXPECT_EQ(auditionResult, 1);
      ASSERT_NE(AuditionSample, nullptr);
      if (call == Call::SetCurrentPosition) {
        engineBox("Cannot set current position");
        EXPECT_EQ(AuditionSample->Playing, 1) << "it plays on all the same";
      } else if (call == Call::Play) {
        engineBox("Cannot start playing");
        EXPECT_EQ(AuditionSample->Playing, 0);
      } else {
        ASSERT_EQ(call, Call::GetStatus);
        EXPECT_EQ(AuditionSample->Playing, 0);
      }
      break;
    case Step::AuditionStop:
      ASSERT_EQ(call, Call::Stop);
      engineBox("Cannot stop the sound");
      EXPECT_EQ(AuditionSample, nullptr);
      EXPECT_EQ(CountLoaded(), 2u) << "the sample goes all the same";
      break;
    case Step::RateTest:
      if (call == Call::SetCurrentPosition)
        engineBox("Cannot set current position");
      else if (call == Call::Play)
        engineBox("Cannot start playing");
      else if (call == Call::Stop)
        engineBox("Cannot stop the sound");
      // The test's buffer and its block are gone whatever failed.
      ExpectEverythingAccountedFor();
      EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
      break;
    case Step::KeyUpdate:
      if (call == Call::Stop) {
        engineBox("Error stopping playback");
        EXPECT_EQ(updateResult, 1);
        EXPECT_STREQ(KeyMap[1].SampleName, d.c_str());
      } else {
        ASSERT_TRUE(bufferMaking);
        // Back to b.wav, loaded again from the disk: the key alone named it.
        loadBox(d);
        EXPECT_EQ(updateResult, -1);
        EXPECT_STREQ(KeyMap[1].SampleName, b.c_str());
        EXPECT_NE(KeyMap[1].SampleNumber, -1);
      }
      EXPECT_EQ(KeyMap[1].Playing, 0);
      break;
    case Step::AllOff:
      ASSERT_EQ(call, Call::Stop);
      engineBox("Error stopping playback");
      EXPECT_EQ(ActiveVoices(), 0u);
      EXPECT_EQ(KeyMap[0].Playing, 0);
      break;
    case Step::Term:
      // The primary buffer's stop: its result is not examined.
      ASSERT_EQ(call, Call::Stop);
      EXPECT_EQ(SoundDevice, nullptr);
      break;
    case Step::Count_:
      break;
    }

    ASSERT_EQ(boxes.calls().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      const MessageBoxCall& shown = boxes.calls()[i];
      EXPECT_EQ(shown.text, expected[i].text);
      EXPECT_EQ(shown.caption, "ZA32");
      EXPECT_EQ(shown.type, expected[i].type);
      if (step != Step::Start) {
        EXPECT_EQ(shown.owner, expected[i].ownedByHost ? host : EngineWindow) << shown.text;
      }
    }
  }

  void ExpectSetupFailure(Call call, unsigned local, std::vector<Box>& expected) {
    auto fatal = [&](const char* text) {
      expected.push_back(Box{text, MB_ICONERROR, false});
      EXPECT_EQ(engine, nullptr);
      EXPECT_EQ(EngineWindow, nullptr);
      EXPECT_EQ(SoundDevice, nullptr);
      EXPECT_EQ(PrimaryBuffer, nullptr);
      EXPECT_EQ(PrimaryFormat, nullptr);
      EXPECT_TRUE(QuitPosted());
      EXPECT_EQ(dsemu::LiveBufferCount(), 0u);
      EXPECT_EQ(dsemu::LiveDeviceCount(), 0u);
      EXPECT_EQ(emul::LiveGlobalBlocks(), globalBlocksAtStart);
    };
    switch (call) {
    case Call::CreateDevice:
      fatal("Cannot create the DirectSound COM object");
      break;
    case Call::Initialize:
      fatal("Cannot Initialize DirectSound");
      break;
    case Call::SetCooperativeLevel:
      if (local == 1)
        fatal("Cannot set the DirectSound Cooperative Level");
      else
        EXPECT_NE(engine, nullptr) << "the host window's level is not examined";
      break;
    case Call::CreateSoundBuffer:
      fatal("Cannot create the DirectSound primary buffer");
      break;
    case Call::SetFormat:
      expected.push_back(Box{"Cannot set format buffer", MB_ICONWARNING, false});
      EXPECT_NE(engine, nullptr) << "a warning only";
      break;
    case Call::Play:
      fatal("Cannot play primary buffer");
      break;
    default:
      ADD_FAILURE() << "no such call at set-up";
    }
  }

  void ExpectNoteOnFailure(int key, Call call, std::vector<Box>& expected) {
    const KeyRecord& record = KeyMap[key];
    auto box = [&](const char* text) { expected.push_back(Box{text, MB_OK, false}); };
    switch (call) {
    case Call::DuplicateSoundBuffer:
      box("Cannot create duplicate buffer");
      EXPECT_EQ(record.Playing, 0);
      break;
    case Call::Play:
      box("Cannot start playing");
      EXPECT_EQ(record.Playing, 0);
      break;
    case Call::SetCurrentPosition:
      box("Cannot set current position");
      [[fallthrough]];
    case Call::GetStatus: {
      // Taken and playing as far as the engine knows, without sound until its note-off.
      ASSERT_EQ(record.Playing, 1);
      dsemu::BufferState state{};
      ASSERT_TRUE(dsemu::QueryBuffer(VoiceTable[record.Voice].Buffer, &state));
      EXPECT_FALSE(state.playing);
      break;
    }
    default:
      // Volume, pan and frequency: ignored.
      EXPECT_EQ(record.Playing, 1);
    }
  }

  std::string a, b, c, d;
  HWND engine = nullptr;
  LONG auditionResult = 0;
  LONG updateResult = 0;
};

TEST_P(FaultSweep, EachCallFailingOnceEndsInTheEnginesWordsAndLeaksNothing) {
  const Call call = GetParam();
  std::optional<Site> none;
  const std::array<unsigned, kSteps> clean = Run(call, 0, &none);
  EXPECT_TRUE(boxes.calls().empty()) << "the clean session shows no box";
  unsigned total = 0;
  for (unsigned count : clean)
    total += count;
  // A kind of call the session never makes would be a sweep that tests nothing.
  EXPECT_GT(total, 0u) << "the session never makes this call";
  for (unsigned n = 1; n <= total; ++n) {
    SCOPED_TRACE(std::string(CallName(call)) + " call " + std::to_string(n));
    std::optional<Site> site;
    Run(call, n, &site);
    EXPECT_TRUE(site.has_value()) << "the call was not made";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryDeviceCall, FaultSweep,
                         ::testing::Values(Call::CreateDevice, Call::Initialize,
                                           Call::SetCooperativeLevel, Call::CreateSoundBuffer,
                                           Call::DuplicateSoundBuffer, Call::SetFormat, Call::Play,
                                           Call::Stop, Call::GetStatus, Call::SetCurrentPosition,
                                           Call::GetCurrentPosition, Call::Lock, Call::Unlock,
                                           Call::SetVolume, Call::SetPan, Call::SetFrequency),
                         [](const ::testing::TestParamInfo<Call>& info) {
                           return std::string(CallName(info.param));
                         });

} // namespace
