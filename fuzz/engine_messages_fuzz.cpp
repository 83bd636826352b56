// The engine as a host drives it, in any order: every export and every message with any
// values (key indexes, key codes and notes out of range included), key records built
// from the input over a few generated WAV files (some broken, some missing), auditions,
// rate tests, song files and browsing, device and system faults switched on and off,
// the device clock moving, and the device closed under the engine's feet.
//
// After every operation the engine's records must hang together: every sounding key on
// its own active voice and every active voice on a sounding key, each voice's duplicate
// and each sample's buffer alive on the device, every key's sample number the one the
// sample list gives it, at most 26 samples, the audition sample in the list, every
// global block and device buffer one the engine holds, and nothing at all touched on a
// closed device. At the end, with every key emptied and the audition stopped, nothing
// may be left but the device's own.
#include "engine/device.h"
#include "engine/state.h"
#include "platform/emul/control.h"
#include "platform/emul/dialogs.h"
#include "platform/emul/drive_table.h"
#include "platform/emul/dsound/device_control.h"
#include "samples/samples.h"
#include "tests/support/engine_reset.h"
#include "tests/support/wav_files.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The invariant checks run after every operation and walk every key, voice, sample and
// buffer: tracing their own branches and comparisons cost a good part of an input and
// told the fuzzer nothing about the engine, whose code they call stays traced.
#define UNTRACED __attribute__((no_sanitize("coverage")))

UNTRACED void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

constexpr int kMaxOperations = 256;
constexpr int kFirstCode = 36; // the key codes the keys mostly carry
constexpr DWORD kSongBufferBytes = 1 << 16;
constexpr DWORD kFileListBytes = 1 << 16;
const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(0x10000000);
constexpr const char* kHostClass = "ZA32FuzzHost";

// The files the host may name. Every file here is far smaller than the song buffer, so
// that reading any of them as a song stays within what the host has given the engine.
struct Files {
  fs::path root;
  fs::path songs;
  fs::path cdSamples;
  std::vector<std::string> goodNames; // WAV files that load
  std::vector<std::string> badNames;  // broken, missing, empty, too long
  std::vector<std::string> songPaths;
  std::vector<std::string> directories;
};

Files& TheFiles() {
  static Files files;
  return files;
}

std::string Write(const fs::path& path, const std::string& bytes) {
  return wavfile::WriteFile(path.string(), bytes);
}

void MakeFiles() {
  Files& files = TheFiles();
  // The files are read and written hundreds of times a second: in memory where the
  // system keeps a file system there, else in the temporary folder.
  for (const char* base : {"/dev/shm", "/tmp"}) {
    std::string pattern = std::string(base) + "/za32_fuzz_XXXXXX";
    if (mkdtemp(pattern.data())) {
      files.root = pattern;
      break;
    }
  }
  Check(!files.root.empty(), "a temporary directory");
  std::atexit([] {
    std::error_code ignored;
    fs::remove_all(TheFiles().root, ignored);
  });
  files.songs = files.root / "songs";
  files.cdSamples = files.root / "cd" / "samples" / "140bpm" / "drum";
  fs::create_directories(files.songs);
  fs::create_directories(files.cdSamples);

  wavfile::Format mono;
  wavfile::Format stereo8;
  stereo8.channels = 2;
  stereo8.bits = 8;
  stereo8.rate = 11025;
  wavfile::Format fast;
  fast.channels = 2;
  fast.rate = 48000;
  wavfile::Format adpcm;
  adpcm.tag = 2;
  adpcm.bits = 4;
  adpcm.extra = std::string(32, '\x01');
  wavfile::Format tiny;
  tiny.bits = 8;

  const fs::path& r = files.root;
  // Files that load, enough of them (under two spellings each) to fill the sample list.
  auto& good = files.goodNames;
  const wavfile::Format formats[] = {mono, stereo8, fast, tiny};
  for (int i = 0; i < 8; ++i) {
    const std::string name = "g" + std::to_string(i) + ".wav";
    good.push_back(Write(r / name, wavfile::Wav(formats[i % 4], 100 + 50 * i)));
    good.push_back((r / "." / name).string()); // the same file under another name
  }
  good.push_back(Write(files.cdSamples / "kick.wav", wavfile::Wav(mono, 200)));
  good.push_back("g0.wav"); // relative: found only from the root
  // Names that do not load, each for its own reason.
  auto& bad = files.badNames;
  bad.push_back(Write(r / "notwave.wav", wavfile::Riff("AVI ", wavfile::Chunk("data", "x"))));
  bad.push_back(Write(r / "truncated.wav",
                      wavfile::Riff("WAVE", wavfile::Chunk("fmt ", wavfile::FmtData(mono)) +
                                                wavfile::ChunkDeclaring("data", 4000, "ab"))));
  bad.push_back(Write(r / "nodata.wav",
                      wavfile::Riff("WAVE", wavfile::Chunk("fmt ", wavfile::FmtData(mono)))));
  bad.push_back(Write(r / "adpcm.wav", wavfile::Wav(adpcm, std::string(64, '\x11')))); // refused
  bad.push_back(Write(r / "tiny.wav", wavfile::Wav(tiny, 1))); // smaller than a buffer can be
  bad.push_back(Write(r / "empty.wav", ""));
  bad.push_back((r / "missing.wav").string());
  bad.push_back("kick.wav"); // relative: found only on the CD
  bad.push_back("");
  bad.push_back(std::string(255, 'n')); // the longest name a key can hold
  bad.push_back(std::string(300, 'm')); // longer than a key or a working copy holds

  Write(files.songs / "a.ZAN", std::string(100, 'a'));
  Write(files.songs / "notes.txt", "text");
  files.songPaths = {(files.songs / "a.ZAN").string(), (files.songs / "b.zan").string(),
                     (files.songs / "missing.ZAN").string(), files.songs.string(), ""};
  files.directories = {files.root.string(), files.songs.string(), files.cdSamples.string(),
                       (files.root / "nowhere").string(), ""};
}

// A name from the tables, mostly one that loads, now and then a short one made of the
// input's own bytes.
std::string PickName(FuzzedDataProvider& in) {
  const Files& files = TheFiles();
  const int kind = in.ConsumeIntegralInRange(0, 15);
  if (kind == 0) {
    // Made of the input's bytes, but kept inside the current directory.
    std::string name = in.ConsumeRandomLengthString(12);
    for (char& c : name)
      if (c == '/' || c == '\\' || c == ':' || c == '.')
        c = '_';
    return name;
  }
  const auto& names = kind < 4 ? files.badNames : files.goodNames;
  return names[in.ConsumeIntegralInRange<size_t>(0, names.size() - 1)];
}

template <typename T> T Pick(FuzzedDataProvider& in, std::initializer_list<T> usual) {
  if (in.ConsumeIntegralInRange(0, 7) == 0)
    return in.ConsumeIntegral<T>();
  return *(usual.begin() + in.ConsumeIntegralInRange<size_t>(0, usual.size() - 1));
}

KeyRecord MakeKey(FuzzedDataProvider& in) {
  KeyRecord key;
  std::memset(&key, 0, sizeof key);
  const std::string name = PickName(in);
  // Sometimes the name fills the field to its last byte, as a careless host sends it.
  std::memcpy(key.SampleName, name.data(), std::min(name.size(), sizeof key.SampleName));
  key.Voice = Pick<int32_t>(in, {0, -1, 24});
  key.SampleNumber = Pick<int32_t>(in, {-1, 0, 25});
  key.KeyCode = in.ConsumeIntegralInRange(0, 15) == 0
                    ? Pick<int32_t>(in, {0, -1, 65536 + 36})
                    : in.ConsumeIntegralInRange(kFirstCode, kFirstCode + ZA32_KEYS - 1);
  key.Volume = Pick<int32_t>(in, {127, 100, 0, -1});
  key.Pan = Pick<int32_t>(in, {64, 0, 1, 126, 127});
  key.Note = Pick<int32_t>(in, {60, 72, 0, 143, 144, -1});
  key.FineTune = Pick<int32_t>(in, {50, 0, 100, 75});
  key.Loop = in.ConsumeIntegralInRange(0, 2);
  key.PitchBend = in.ConsumeIntegralInRange(0, 2);
  key.VelocitySense = in.ConsumeIntegralInRange(0, 2);
  key.Mute = in.ConsumeIntegralInRange(0, 3) == 0;
  key.Hold = in.ConsumeIntegralInRange(0, 3) == 0;
  key.Playing = Pick<int32_t>(in, {0, 1});
  key.Released = Pick<int32_t>(in, {0, 1});
  return key;
}

// A key index as the host may get it wrong.
LONG PickKeyIndex(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange(0, 7) == 0)
    return in.ConsumeIntegral<LONG>();
  return in.ConsumeIntegralInRange<LONG>(0, ZA32_KEYS - 1);
}

// The keys' names and sample numbers and the sample list's names when the numbers were
// last found right: as long as none of them changes, the numbers are still right, and
// the comparisons of every name with every other need not be made again.
struct NumberedKeys {
  std::array<std::array<char, sizeof(KeyRecord::SampleName)>, ZA32_KEYS> keyNames{};
  std::array<int32_t, ZA32_KEYS> numbers{};
  std::vector<std::array<char, sizeof(SampleRecord::Name)>> sampleNames;
  bool valid = false;

  UNTRACED bool Unchanged() const {
    if (!valid)
      return false;
    for (size_t k = 0; k < ZA32_KEYS; ++k)
      if (KeyMap[k].SampleNumber != numbers[k] ||
          !SameName(KeyMap[k].SampleName, keyNames[k].data(), keyNames[k].size()))
        return false;
    size_t position = 0;
    for (const SampleRecord* sample = SampleList.Next; sample; sample = sample->Next, ++position)
      if (position == sampleNames.size() ||
          !SameName(sample->Name, sampleNames[position].data(), sizeof sample->Name))
        return false;
    return position == sampleNames.size();
  }

  // Up to the end of the names, eight bytes at a time and without the sanitizer's checks
  // of each byte: comparing the names after every operation cost a good part of it. A
  // difference after the end (left over from a longer name) only costs a check.
  __attribute__((no_sanitize("address", "coverage"))) static bool
  SameName(const char* a, const char* b, size_t size) {
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
      uint64_t x, y;
      std::memcpy(&x, a + i, 8);
      std::memcpy(&y, b + i, 8);
      if (x != y)
        return false;
      if ((x - 0x0101010101010101u) & ~x & 0x8080808080808080u) // a zero byte: the end
        return true;
    }
    for (; i < size && (a[i] || b[i]); ++i)
      if (a[i] != b[i])
        return false;
    return true;
  }

  UNTRACED void Take() {
    for (size_t k = 0; k < ZA32_KEYS; ++k) {
      numbers[k] = KeyMap[k].SampleNumber;
      std::memcpy(keyNames[k].data(), KeyMap[k].SampleName, keyNames[k].size());
    }
    sampleNames.clear();
    for (const SampleRecord* sample = SampleList.Next; sample; sample = sample->Next) {
      sampleNames.emplace_back();
      std::memcpy(sampleNames.back().data(), sample->Name, sizeof sample->Name);
    }
    valid = true;
  }
};

// The buffers the samples and voices held, and what the device had made and kept, when
// each of those buffers was last found alive and of its kind: a live buffer never
// changes kind, and the device makes or destroys none without these counts moving, so
// while none of it changes the findings still hold.
struct CheckedBuffers {
  std::array<std::pair<IDirectSoundBuffer*, IDirectSoundBuffer*>, ZA32_MAX_SAMPLES + ZA32_VOICES>
      held{}; // a buffer, and the buffer of the sample a voice plays
  size_t count = 0;
  unsigned made = 0;
  size_t live = 0;

  UNTRACED static CheckedBuffers Now() {
    CheckedBuffers now;
    for (const SampleRecord* sample = SampleList.Next; sample && now.count < now.held.size();
         sample = sample->Next)
      now.held[now.count++] = {sample->Buffer, nullptr};
    for (const VoiceRecord& voice : VoiceTable)
      if (voice.Active && now.count < now.held.size())
        now.held[now.count++] = {voice.Buffer, voice.Sample->Buffer};
    now.made = dsemu::CallCount(dsemu::Call::CreateSoundBuffer) +
               dsemu::CallCount(dsemu::Call::DuplicateSoundBuffer);
    now.live = dsemu::LiveBufferCount();
    return now;
  }
  UNTRACED bool Same(const CheckedBuffers& other) const {
    return count == other.count && made == other.made && live == other.live &&
           std::equal(held.begin(), held.begin() + count, other.held.begin());
  }
};

// The session's own state beside the engine's.
struct Session {
  HWND host = nullptr;
  std::vector<HWND> hosts;
  bool pumpInBoxes = false;
  int boxDepth = 0;
  std::deque<emul::FileDialogAnswer> dialogAnswers;
  std::array<char, kSongBufferBytes> songBuffer{};
  // While the device is closed nothing may reach its buffers: the call counts and the
  // live buffers as they were when it closed.
  bool deviceClosed = false;
  std::array<unsigned, static_cast<size_t>(dsemu::Call::Count_)> callsAtClose{};
  size_t buffersAtClose = 0;
  NumberedKeys numbered;
  std::optional<CheckedBuffers> checkedBuffers;
  bool songFilesUsed = false; // the song files are put back only after a session used them
};

Session* current = nullptr;
size_t baseBlocks = 0;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND NewHost(Session& session) {
  HWND window = CreateWindowExA(0, kHostClass, "Host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                                nullptr, kInstance, nullptr);
  Check(window != nullptr, "a host window");
  session.hosts.push_back(window);
  return window;
}

// ---- Invariants -------------------------------------------------------------------

UNTRACED bool InSampleList(const SampleRecord* record) {
  for (const SampleRecord* sample = SampleList.Next; sample; sample = sample->Next)
    if (sample == record)
      return true;
  return false;
}

UNTRACED int32_t ExpectedSampleNumber(const KeyRecord& key) {
  int32_t number = -1;
  int32_t position = 0;
  for (const SampleRecord* sample = SampleList.Next; sample; sample = sample->Next, ++position)
    if (key.SampleName[0] != '\0' && lstrcmpA(key.SampleName, sample->Name) == 0)
      number = position;
  return number;
}

UNTRACED std::array<unsigned, static_cast<size_t>(dsemu::Call::Count_)> CallCounts() {
  std::array<unsigned, static_cast<size_t>(dsemu::Call::Count_)> counts{};
  for (size_t call = 0; call < counts.size(); ++call)
    counts[call] = dsemu::CallCount(static_cast<dsemu::Call>(call));
  return counts;
}

UNTRACED size_t ActiveVoices() {
  size_t active = 0;
  for (const VoiceRecord& voice : VoiceTable)
    active += voice.Active ? 1 : 0;
  return active;
}

UNTRACED void CheckInvariants(Session& session) {
  // Keys and voices: each sounding key on its own active voice, each active voice
  // taken by exactly one sounding key.
  std::array<int, ZA32_VOICES> owners{};
  size_t sounding = 0;
  for (const KeyRecord& key : KeyMap) {
    if (!key.Playing)
      continue;
    ++sounding;
    Check(key.Voice >= 0 && key.Voice < ZA32_VOICES, "a sounding key names a voice");
    Check(VoiceTable[key.Voice].Active, "a sounding key's voice is active");
    Check(++owners[key.Voice] == 1, "no two sounding keys share a voice");
    Check(key.SampleNumber != -1, "a sounding key has a sample, so that it can be stopped");
  }
  Check(ActiveVoices() == sounding, "every active voice belongs to a sounding key");
  Check(ActiveVoices() <= ZA32_VOICES, "at most 25 active voices");

  // Samples: at most 26, each with its buffer alive while the device is open.
  const LONG samples = CountSamples(&SampleList);
  Check(samples <= ZA32_MAX_SAMPLES, "at most 26 samples");
  for (const SampleRecord* sample = SampleList.Next; sample; sample = sample->Next)
    if (SoundDevice)
      Check(sample->Buffer != nullptr, "a loaded sample has its buffer");
  for (const VoiceRecord& voice : VoiceTable)
    if (voice.Active)
      Check(InSampleList(voice.Sample), "an active voice plays a loaded sample");
  const CheckedBuffers buffersNow = CheckedBuffers::Now();
  if (!session.checkedBuffers || !buffersNow.Same(*session.checkedBuffers)) {
    for (const SampleRecord* sample = SampleList.Next; sample; sample = sample->Next) {
      dsemu::BufferState state{};
      if (sample->Buffer) {
        Check(dsemu::QueryBuffer(sample->Buffer, &state), "a sample's buffer is alive");
        Check(state.duplicateOf == nullptr && !state.primary, "a sample's buffer is its own");
      }
    }
    for (const VoiceRecord& voice : VoiceTable) {
      if (!voice.Active)
        continue;
      dsemu::BufferState state{};
      Check(dsemu::QueryBuffer(voice.Buffer, &state), "an active voice's duplicate is alive");
      Check(state.duplicateOf == nullptr || state.duplicateOf == voice.Sample->Buffer,
            "a voice plays a duplicate of its sample's buffer");
    }
    session.checkedBuffers = buffersNow;
  }
  if (!session.numbered.Unchanged()) {
    for (const KeyRecord& key : KeyMap)
      Check(key.SampleNumber == ExpectedSampleNumber(key),
            "every key's sample number is what the sample list gives");
    session.numbered.Take();
  }
  Check(!AuditionSample || InSampleList(AuditionSample), "the audition sample is in the list");

  // Nothing leaked: every block and buffer is one the engine holds.
  size_t buffers = (PrimaryBuffer ? 1 : 0) + ActiveVoices();
  for (const SampleRecord* sample = SampleList.Next; sample; sample = sample->Next)
    buffers += sample->Buffer ? 1 : 0;
  const size_t blocks = (PrimaryFormat ? 1 : 0) + 3 * static_cast<size_t>(samples);
  Check(emul::LiveGlobalBlocks() == baseBlocks + blocks, "every global block is the engine's");
  if (!SoundDevice && !session.deviceClosed && dsemu::LiveDeviceCount() == 0) {
    session.deviceClosed = true;
    session.callsAtClose = CallCounts();
    session.buffersAtClose = dsemu::LiveBufferCount();
  }
  if (session.deviceClosed) {
    Check(CallCounts() == session.callsAtClose, "nothing is asked of a closed device's buffers");
    Check(dsemu::LiveBufferCount() == session.buffersAtClose,
          "no buffer of a closed device is released");
  } else {
    Check(dsemu::LiveBufferCount() == buffers, "every device buffer is the engine's");
  }
  Check(emul::OpenMmioFiles() == 0, "no WAV file left open");
  Check(emul::LiveFileHandles() == 0, "no song file left open");
  Check(emul::LiveFindHandles() == 0, "no directory search left open");
  Check(GetPriorityClass(GetCurrentProcess()) == NORMAL_PRIORITY_CLASS,
        "the priority class is back");
}

// ---- Operations -------------------------------------------------------------------

constexpr UINT kMessages[] = {
    AM_NOTE,          0x421,    0x422,       AM_BEND,      AM_LOOP,     AM_BENDENABLE,
    AM_VELOCITYSENSE, AM_MUTE,  AM_HOLD,     AM_NOTEPITCH, AM_FINETUNE, AM_VOLUME,
    AM_PAN,           WM_PAINT, WM_USER + 45};

void HostMessage(FuzzedDataProvider& in, bool post) {
  const UINT message = in.ConsumeBool() ? AM_NOTE : in.PickValueInArray(kMessages);
  WORD low;
  if (message == AM_NOTE)
    low = in.ConsumeIntegralInRange(0, 7) == 0
              ? in.ConsumeIntegral<WORD>()
              : in.ConsumeIntegralInRange<WORD>(kFirstCode, kFirstCode + ZA32_KEYS - 1);
  else
    low = static_cast<WORD>(PickKeyIndex(in));
  WORD high = in.ConsumeIntegralInRange(0, 3) == 0 ? in.ConsumeIntegral<WORD>()
                                                   : Pick<WORD>(in, {0, 1, 64, 100, 127, 72, 50});
  const WPARAM wParam = in.ConsumeIntegral<uint8_t>();
  if (!EngineWindow)
    return;
  if (post)
    PostMessageA(EngineWindow, message, wParam, MAKELPARAM(low, high));
  else
    SendMessageA(EngineWindow, message, wParam, MAKELPARAM(low, high));
}

constexpr dsemu::Call kDeviceCalls[] = {dsemu::Call::CreateSoundBuffer,
                                        dsemu::Call::DuplicateSoundBuffer,
                                        dsemu::Call::Play,
                                        dsemu::Call::Stop,
                                        dsemu::Call::GetStatus,
                                        dsemu::Call::SetCurrentPosition,
                                        dsemu::Call::GetCurrentPosition,
                                        dsemu::Call::Lock,
                                        dsemu::Call::Unlock,
                                        dsemu::Call::SetVolume,
                                        dsemu::Call::SetPan,
                                        dsemu::Call::SetFrequency,
                                        dsemu::Call::SetCooperativeLevel};

constexpr HRESULT kDeviceFailures[] = {
    DSERR_ALLOCATED,     DSERR_INVALIDPARAM,  DSERR_NOAGGREGATION, DSERR_OUTOFMEMORY,
    DSERR_UNINITIALIZED, DSERR_UNSUPPORTED,   DSERR_BADFORMAT,     DSERR_BUFFERLOST,
    DSERR_GENERIC,       DS_NO_VIRTUALIZATION};

void DeviceFault(FuzzedDataProvider& in) {
  const dsemu::Call call = in.PickValueInArray(kDeviceCalls);
  const HRESULT result = in.PickValueInArray(kDeviceFailures);
  switch (in.ConsumeIntegralInRange(0, 3)) {
  case 0:
    dsemu::ClearFaults();
    break;
  case 1:
    dsemu::FailAlways(call, result);
    break;
  default:
    dsemu::FailNth(call, in.ConsumeIntegralInRange(1u, 6u), result);
  }
}

constexpr emul::SystemCall kSystemCalls[] = {
    emul::SystemCall::GlobalAlloc, emul::SystemCall::MmioOpen,    emul::SystemCall::MmioDescend,
    emul::SystemCall::MmioRead,    emul::SystemCall::MmioAscend,  emul::SystemCall::MmioSeek,
    emul::SystemCall::MmioGetInfo, emul::SystemCall::MmioAdvance, emul::SystemCall::MmioSetInfo};

void SystemFault(FuzzedDataProvider& in) {
  const emul::SystemCall call = in.PickValueInArray(kSystemCalls);
  switch (in.ConsumeIntegralInRange(0, 3)) {
  case 0:
    emul::ClearFaults();
    break;
  case 1:
    emul::FailAlways(call);
    break;
  default:
    emul::FailNth(call, in.ConsumeIntegralInRange(1u, 4u));
  }
}

void SongFiles(FuzzedDataProvider& in, Session& session) {
  session.songFilesUsed = true;
  const Files& files = TheFiles();
  SongFileRecord record;
  std::memset(&record, 0, sizeof record);
  const std::string path =
      in.PickValueInArray<std::string>({files.songPaths[0], files.songPaths[1], files.songPaths[2],
                                        files.songPaths[3], files.songPaths[4]});
  lstrcpynA(record.Path, path.c_str(), sizeof record.Path);
  record.Size = in.ConsumeIntegralInRange<uint32_t>(0, kSongBufferBytes);
  record.AskUser = in.ConsumeIntegralInRange(0, 1);
  for (int answers = in.ConsumeIntegralInRange(0, 3); answers > 0; --answers) {
    static const char* const choices[] = {"a.ZAN", "b.zan", "c", "notes.txt", "missing.ZAN"};
    if (in.ConsumeIntegralInRange(0, 4) == 0)
      session.dialogAnswers.push_back(emul::FileDialogAnswer::Cancel());
    else
      session.dialogAnswers.push_back(
          emul::FileDialogAnswer::Choose((files.songs / in.PickValueInArray(choices)).string()));
  }
  switch (in.ConsumeIntegralInRange(0, 6)) {
  case 0:
    PassPointer(in.ConsumeBool() ? session.songBuffer.data() : nullptr);
    break;
  case 1:
    GetSongFileName(&record);
    break;
  case 2:
    GetSaveSongFileName(&record);
    break;
  case 3:
    ReadFileContents(&record);
    break;
  case 4:
    ReadFileContentsEx(&record, in.ConsumeIntegralInRange<DWORD>(0, kSongBufferBytes));
    break;
  default:
    WriteFileContents(&record);
    break;
  }
  session.dialogAnswers.clear();
}

void Browsing(FuzzedDataProvider& in) {
  static std::array<char, kFileListBytes> list;
  const Files& files = TheFiles();
  char buffer[280] = {};
  switch (in.ConsumeIntegralInRange(0, 4)) {
  case 0:
    FindCD(buffer);
    break;
  case 1:
    buffer[0] = in.ConsumeBool() ? '\xFF' : 'x';
    GetDirectory(buffer);
    break;
  case 2: {
    const std::string& directory =
        files.directories[in.ConsumeIntegralInRange<size_t>(0, files.directories.size() - 1)];
    SetDirectory(directory.c_str());
    break;
  }
  case 3:
    GetFileList(list.data());
    break;
  default:
    GetFileListEx(in.ConsumeBool() ? list.data() : nullptr,
                  in.ConsumeIntegralInRange<DWORD>(0, kFileListBytes));
  }
}

void InstallKeys(FuzzedDataProvider& in, size_t named) {
  std::vector<KeyRecord> keys(ZA32_KEYS);
  for (size_t k = 0; k < ZA32_KEYS; ++k) {
    keys[k] = MakeKey(in);
    if (k >= named)
      keys[k].SampleName[0] = '\0';
  }
  InitialiseKeyMap(keys.data());
}

// One operation of the host, chosen by weight: mostly notes and parameters, then key
// updates, auditions and faults, now and then the rest.
void Operation(FuzzedDataProvider& in, Session& session) {
  const int choice = in.ConsumeIntegralInRange(0, 63);
  if (choice < 28) {
    HostMessage(in, false);
  } else if (choice < 31) {
    HostMessage(in, true);
  } else if (choice < 32) {
    // Every key at once, up to the voice limit.
    const WORD velocity = in.ConsumeIntegral<WORD>();
    for (WORD code = kFirstCode; code < kFirstCode + ZA32_KEYS; ++code)
      if (EngineWindow)
        SendMessageA(EngineWindow, AM_NOTE, 0, MAKELPARAM(code, velocity));
  } else if (choice < 34) {
    emul::PumpMessages();
  } else if (choice < 40) {
    const KeyRecord key = MakeKey(in);
    UpdateKey(&key, PickKeyIndex(in));
  } else if (choice < 42) {
    InstallKeys(in, in.ConsumeIntegralInRange<size_t>(0, ZA32_KEYS));
  } else if (choice < 43) {
    GetSampleNumber(PickKeyIndex(in));
  } else if (choice < 45) {
    AllNotesOff(in.ConsumeIntegral<LONG>());
  } else if (choice < 48) {
    StartAudition(PickName(in).c_str());
  } else if (choice < 50) {
    StopAudition(in.ConsumeIntegral<LONG>());
  } else if (choice < 51) {
    // The system timer steps, so the test's waits take no real time; long tests would
    // still take many readings, so the measuring time stays short.
    StartTest(in.ConsumeIntegral<LONG>(), Pick<LONG>(in, {0, 1, -1, INT_MIN}) % 3);
  } else if (choice < 54) {
    DeviceFault(in);
  } else if (choice < 55) {
    SystemFault(in);
  } else if (choice < 57) {
    dsemu::AdvanceFrames(in.ConsumeIntegralInRange<size_t>(1, 4410), nullptr);
  } else if (choice < 58) {
    session.pumpInBoxes = !session.pumpInBoxes;
  } else if (choice < 59) {
    switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0:
      AudioTerm(in.ConsumeIntegral<LONG>());
      break;
    case 1:
      // The host's main window goes, and the engine window with it.
      if (session.host && IsWindow(session.host))
        DestroyWindow(session.host);
      break;
    default:
      AudioInit(kInstance, in.ConsumeBool() ? session.host : NewHost(session));
    }
  } else if (choice < 62) {
    SongFiles(in, session);
  } else {
    Browsing(in);
  }
}

// ---- Start and end ----------------------------------------------------------------

void Initialise() {
  MakeFiles();
  dsemu::SelectOutput(dsemu::Output::Manual);
  emul::SetTimerStep(250);
  emul::SetMountTable("");
  emul::MapDrive('D', (TheFiles().root / "cd").string(), DRIVE_CDROM);
  WNDCLASSA wc{};
  wc.lpfnWndProc = HostProc;
  wc.hInstance = kInstance;
  wc.lpszClassName = kHostClass;
  Check(RegisterClassA(&wc) != 0, "the host's window class");
  emul::SetMessageBoxHandler([](HWND, const char* text, const char* caption, UINT) {
    Check(text && caption && std::strcmp(caption, "ZA32") == 0, "a box with the engine's caption");
    // A box's modal loop dispatches what the host posted meanwhile.
    if (current && current->pumpInBoxes && current->boxDepth < 4) {
      ++current->boxDepth;
      emul::PumpMessages();
      --current->boxDepth;
    }
    return IDOK;
  });
  emul::SetFileDialogHandler([](const emul::FileDialogRequest&) {
    if (!current || current->dialogAnswers.empty())
      return emul::FileDialogAnswer::Cancel();
    emul::FileDialogAnswer answer = current->dialogAnswers.front();
    current->dialogAnswers.pop_front();
    return answer;
  });
  baseBlocks = emul::LiveGlobalBlocks();
}

void DiscardMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

// Empties every key, stops the audition and unloads what an earlier key map or
// audition left in the list, all through the exports, as a host would. The keys are
// emptied by one empty map: emptying them one at a time renumbers every named key
// against every sample after each, which cost more than the rest of a session.
void EmptyEverything(Session& session) {
  StopAudition(0);
  KeyRecord empty;
  std::memset(&empty, 0, sizeof empty);
  const std::vector<KeyRecord> emptyMap(ZA32_KEYS, empty);
  InitialiseKeyMap(emptyMap.data());
  for (LONG left = CountSamples(&SampleList); left > 0; --left) {
    KeyRecord key = empty;
    lstrcpynA(key.SampleName, SampleList.Next->Name, sizeof key.SampleName);
    UpdateKey(&key, 0);
    UpdateKey(&empty, 0);
    CheckInvariants(session);
  }
  Check(SampleList.Next == nullptr, "every sample can be unloaded");
  Check(ActiveVoices() == 0, "no voice is left taken");
}

void EndSession(Session& session) {
  dsemu::ClearFaults();
  emul::ClearFaults();
  session.pumpInBoxes = false;
  if (EngineWindow) {
    EmptyEverything(session);
    CheckInvariants(session);
    Check(emul::LiveGlobalBlocks() == baseBlocks + (PrimaryFormat ? 1 : 0),
          "no global block left but the device's own");
    if (!session.deviceClosed)
      Check(dsemu::LiveBufferCount() == (PrimaryBuffer ? 1u : 0u),
            "no device buffer left but the device's own");
  }
  AudioTerm(0);
  for (HWND window : session.hosts)
    if (IsWindow(window))
      DestroyWindow(window);
  if (EngineWindow && IsWindow(EngineWindow))
    DestroyWindow(EngineWindow);
  UnregisterClassA("ZA32", kInstance);
  DiscardMessages();
  // Closing the device destroys every buffer it made on the real system; here they
  // stay as lost buffers until this.
  Check(dsemu::LiveDeviceCount() == 0, "the device is closed");
  for (const dsemu::BufferState& lost : dsemu::LiveBuffers())
    for (ULONG reference = 0; reference < lost.references; ++reference)
      lost.buffer->Release();
  Check(emul::LiveGlobalBlocks() == baseBlocks, "no global block left");
  Check(emul::LiveWindows() == 0, "no window left");
  ResetEngineState();
  std::error_code ignored;
  fs::current_path(TheFiles().root, ignored);
  if (session.songFilesUsed) {
    Write(TheFiles().songs / "a.ZAN", std::string(100, 'a'));
    fs::remove(TheFiles().songs / "b.zan", ignored);
    fs::remove(TheFiles().songs / "c.ZAN", ignored);
    fs::remove(TheFiles().songs / "missing.ZAN", ignored);
  }
}

// libFuzzer keeps every feature seen fewer than a threshold of times (255 unless told)
// in a list it searches once for each feature of each run. This target has tens of
// thousands of features, so that search cost as much as the input itself; a lower
// threshold keeps the list short. An explicit setting on the command line still wins.
constexpr const char* kRareFeatureThreshold = "-entropic_feature_frequency_threshold=";

void DefaultFuzzerOptions(int* argc, char*** argv) {
  static std::vector<char*> arguments;
  arguments.assign(*argv, *argv + *argc);
  for (const char* argument : arguments)
    if (std::strncmp(argument, kRareFeatureThreshold, std::strlen(kRareFeatureThreshold)) == 0)
      return;
  static std::string threshold = std::string(kRareFeatureThreshold) + "16";
  arguments.insert(arguments.begin() + 1, threshold.data());
  arguments.push_back(nullptr);
  *argc = static_cast<int>(arguments.size()) - 1;
  *argv = arguments.data();
}

} // namespace

// Allocations remember 4 frames of their stack, not 30: recording them cost a good part
// of an input. Freed memory waits in a quarantine of 8 MB, not 256: an input frees under
// 1 MB, so a use after free in it, or in the next several, still lands there, and the
// process no longer walks hundreds of megabytes of memory it freed long ago. ASAN_OPTIONS
// (malloc_context_size=30:quarantine_size_mb=256) restores both when a finding is run again.
extern "C" const char* __asan_default_options() {
  return "malloc_context_size=4:quarantine_size_mb=8";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  DefaultFuzzerOptions(argc, argv);
  Initialise();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider in(bytes, size);
  Session session;
  current = &session;
  ResetEngineState();
  dsemu::ResetCallCounts();
  std::error_code ignored;
  fs::current_path(TheFiles().root, ignored);

  // Now and then the device's set-up itself fails.
  if (in.ConsumeIntegralInRange(0, 15) == 0) {
    static constexpr dsemu::Call setup[] = {
        dsemu::Call::CreateDevice,      dsemu::Call::Initialize, dsemu::Call::SetCooperativeLevel,
        dsemu::Call::CreateSoundBuffer, dsemu::Call::SetFormat,  dsemu::Call::Play};
    dsemu::FailNext(in.PickValueInArray(setup), DSERR_GENERIC);
  }
  session.host = NewHost(session);
  AudioInit(kInstance, session.host);
  dsemu::ClearFaults();
  // A host that got no engine window calls nothing that plays, loads or tests sound.
  if (EngineWindow) {
    CheckInvariants(session);
    // Most sessions begin as a host does, with a key map.
    if (in.ConsumeIntegralInRange(0, 3) != 0) {
      InstallKeys(in, ZA32_KEYS);
      CheckInvariants(session);
    }
    for (int operations = 0; operations < kMaxOperations && in.remaining_bytes() > 0;
         ++operations) {
      Operation(in, session);
      CheckInvariants(session);
    }
  }
  EndSession(session);
  current = nullptr;
  return 0;
}
