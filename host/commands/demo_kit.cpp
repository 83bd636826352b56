#include "host/commands/demo_kit.h"

#include "host/files/input_file.h"
#include "host/files/safe_output.h"
#include "host/host_error.h"
#include "host/outputs/wav_file.h"
#include "kit/json_fields.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <numbers>

namespace {

constexpr uint32_t kDrumRate = 44100;
// The tonal sample plays 220.5 Hz, exactly 100 samples a period at this rate, so that a
// looping voice repeats it without a seam.
constexpr uint32_t kToneRate = 22050;
constexpr double kTwoPi = 2 * std::numbers::pi;

// Deterministic noise, so that every demo renders the same.
class Noise {
public:
  double next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state_ >> 11) / static_cast<double>(1ull << 53) * 2 - 1;
  }

private:
  uint64_t state_ = 0x5A32;
};

std::vector<int16_t> ToPcm(const std::vector<double>& signal, double peak) {
  double largest = 1e-9;
  for (double v : signal)
    largest = std::max(largest, std::fabs(v));
  std::vector<int16_t> pcm(signal.size());
  for (size_t i = 0; i < signal.size(); ++i)
    pcm[i] = static_cast<int16_t>(std::lround(signal[i] / largest * peak * 32767));
  return pcm;
}

// A fade over the last few milliseconds, so that one-shot samples end without a click.
void FadeOut(std::vector<double>& signal, uint32_t rate) {
  size_t fade = std::min<size_t>(signal.size(), rate / 200);
  for (size_t i = 0; i < fade; ++i)
    signal[signal.size() - 1 - i] *= double(i) / fade;
}

// A sine whose pitch falls exponentially from `start` to `end` Hz: kick and toms.
std::vector<double> Drop(double seconds, double start, double end, double fall, double decay,
                         double click) {
  size_t n = static_cast<size_t>(seconds * kDrumRate);
  std::vector<double> out(n);
  double phase = 0;
  Noise noise;
  for (size_t i = 0; i < n; ++i) {
    double t = double(i) / kDrumRate;
    double frequency = end + (start - end) * std::exp(-t / fall);
    phase += kTwoPi * frequency / kDrumRate;
    out[i] = std::sin(phase) * std::exp(-t / decay) + click * noise.next() * std::exp(-t / 0.003);
  }
  FadeOut(out, kDrumRate);
  return out;
}

// Noise through a one-pole high-pass (`brightness` near 1: only the top remains).
std::vector<double> Hiss(double seconds, double decay, double brightness) {
  size_t n = static_cast<size_t>(seconds * kDrumRate);
  std::vector<double> out(n);
  Noise noise;
  double previousIn = 0, previousOut = 0;
  for (size_t i = 0; i < n; ++i) {
    double t = double(i) / kDrumRate;
    double in = noise.next();
    double high = brightness * (previousOut + in - previousIn);
    previousIn = in;
    previousOut = high;
    out[i] = high * std::exp(-t / decay);
  }
  FadeOut(out, kDrumRate);
  return out;
}

std::vector<double> Snare() {
  std::vector<double> noise = Hiss(0.3, 0.07, 0.6);
  std::vector<double> body = Drop(0.3, 240, 185, 0.02, 0.06, 0);
  for (size_t i = 0; i < noise.size(); ++i)
    noise[i] = 0.8 * noise[i] + 0.6 * body[i];
  return noise;
}

// Three quick bursts and a short room: hands clapping.
std::vector<double> Clap() {
  size_t n = static_cast<size_t>(0.35 * kDrumRate);
  std::vector<double> out(n);
  std::vector<double> noise = Hiss(0.35, 10, 0.45);
  const double bursts[] = {0.0, 0.011, 0.023};
  for (size_t i = 0; i < n; ++i) {
    double t = double(i) / kDrumRate;
    double envelope = 0.5 * std::exp(-(t - 0.03) / 0.09) * (t > 0.03);
    for (double b : bursts)
      if (t >= b)
        envelope += std::exp(-(t - b) / 0.006);
    out[i] = noise[i] * envelope;
  }
  FadeOut(out, kDrumRate);
  return out;
}

// The tonal sample: 220.5 Hz with partials that fade at different speeds, for exactly
// 220 periods, and a short fade in. It ends at a full period, so a looping voice goes
// round without a seam.
std::vector<double> Tone() {
  const size_t period = 100;
  size_t n = period * 220;
  std::vector<double> out(n);
  for (size_t i = 0; i < n; ++i) {
    double t = double(i) / kToneRate;
    double phase = kTwoPi * double(i % period) / period;
    double v = std::sin(phase);
    for (int h = 2; h <= 6; ++h)
      v += std::sin(h * phase) / h * (0.35 + 0.65 * std::exp(-t * h * 1.5));
    double attack = std::min(1.0, t / 0.004);
    out[i] = v * attack;
  }
  return out;
}

// Peaks leave room for several voices at once: the mix is not limited, it clips.
struct DemoSample {
  const char* file;
  uint32_t rate;
  double peak;
  std::vector<double> (*make)();
};

const DemoSample kSamples[] = {
    {"kick.wav", kDrumRate, 0.55, [] { return Drop(0.5, 160, 48, 0.03, 0.22, 0.25); }},
    {"snare.wav", kDrumRate, 0.45, Snare},
    {"hat-closed.wav", kDrumRate, 0.3, [] { return Hiss(0.12, 0.025, 0.92); }},
    {"hat-open.wav", kDrumRate, 0.3, [] { return Hiss(0.6, 0.22, 0.92); }},
    {"clap.wav", kDrumRate, 0.45, Clap},
    {"tom-low.wav", kDrumRate, 0.5, [] { return Drop(0.45, 130, 82, 0.08, 0.16, 0.05); }},
    {"tom-mid.wav", kDrumRate, 0.5, [] { return Drop(0.4, 185, 120, 0.07, 0.14, 0.05); }},
    {"tom-high.wav", kDrumRate, 0.5, [] { return Drop(0.35, 260, 175, 0.06, 0.12, 0.05); }},
    {"tone.wav", kToneRate, 0.25, Tone},
};

// The kit: key codes as a drum pad's usual notes; the tonal sample on eight keys a
// scale apart, a bass key two octaves down that follows the bend, and a held, looping
// drone. Every key that names tone.wav shares its one loaded sample.
nlohmann::ordered_json KitDocument() {
  using J = nlohmann::ordered_json;
  J keys = J::array();
  auto key = [&](const char* sample, int code, int volume, int pan, int note) {
    J k;
    k["sample"] = sample;
    k["key"] = code;
    k["volume"] = volume;
    k["pan"] = pan;
    k["note"] = note;
    keys.push_back(k);
    return &keys.back();
  };
  key("kick.wav", 36, 127, 64, 60);
  key("snare.wav", 38, 112, 60, 60);
  key("hat-closed.wav", 42, 96, 76, 60);
  key("hat-open.wav", 46, 88, 76, 60);
  key("clap.wav", 39, 104, 56, 60);
  key("tom-low.wav", 41, 110, 36, 60);
  key("tom-mid.wav", 45, 110, 64, 60);
  key("tom-high.wav", 48, 110, 92, 60);
  const int scale[] = {60, 62, 63, 65, 67, 70, 72, 75};
  for (int note : scale)
    key("tone.wav", note, 92, 84, note);
  J* bass = key("tone.wav", 24, 120, 64, 36);
  (*bass)["bend"] = true;
  (*bass)["fine_tune"] = 52;
  J* drone = key("tone.wav", 84, 72, 40, 48);
  (*drone)["loop"] = true;
  (*drone)["hold"] = true;
  (*drone)["velocity_sense"] = false;
  J kit;
  kit["name"] = "za32 demo kit";
  kit["keys"] = keys;
  return kit;
}

nlohmann::ordered_json PatternDocument() {
  using J = nlohmann::ordered_json;
  J pattern;
  pattern["name"] = "za32 demo groove";
  pattern["tempo"] = 118;
  pattern["steps_per_beat"] = 4;
  pattern["steps"] = 64;
  pattern["repeat"] = 2;
  pattern["tail"] = 1.5;
  J tracks;
  // Only the kick sounds on the first step.
  tracks["36"] = "X.....x...X..... X.....x...X..... X.....x...X..... X.....x...X.x.x.";
  tracks["38"] = "....X.......X... ....X.......X... ....X.......X... ....X.......X.XX";
  tracks["42"] = "..x.5.x.x.5.x.x5 ..x.5.x.x.5.x.x5 ..x.5.x.x.5.x.x5 ..x.5.x.x.5.....";
  tracks["46"] = "......x.......x. ......x.......x. ......x.......x. ................";
  tracks["39"] = "................ ............X... ................ ............X...";
  tracks["41"] = "................ ................ ................ ..........x.....";
  tracks["45"] = "................ ................ ................ ........x.......";
  tracks["48"] = "................ ................ ................ ......x.........";
  // A line on the tonal keys, each note a fixed length.
  J line = J::array();
  const int melody[][3] = {{0, 60, 4},  {4, 63, 2},  {6, 67, 2},  {10, 70, 2}, {12, 72, 4},
                           {16, 75, 3}, {20, 72, 2}, {24, 70, 4}, {28, 67, 4}, {32, 65, 4},
                           {36, 67, 2}, {40, 63, 4}, {44, 62, 2}, {48, 60, 6}, {56, 67, 6}};
  std::map<int, J> byKey;
  for (auto [step, code, length] : melody) {
    J hit;
    hit["step"] = step + 2;
    hit["velocity"] = step % 8 == 0 ? 110 : 84;
    hit["length"] = length;
    byKey[code].push_back(hit);
  }
  for (auto& [code, hits] : byKey)
    tracks[std::to_string(code)] = hits;
  // The bass key, re-tuned through its Note before each of its notes.
  J bass = J::array();
  for (int step : {0, 16, 32, 48}) {
    J hit;
    hit["step"] = step + 2;
    hit["velocity"] = 100;
    hit["length"] = 12;
    bass.push_back(hit);
  }
  tracks["24"] = bass;
  // The drone is held: pressed at step 2 for one step, it sounds on after its release
  // until hold is switched off at step 56.
  J drone = J::array();
  J press;
  press["step"] = 2;
  press["length"] = 1;
  drone.push_back(press);
  tracks["84"] = drone;
  pattern["tracks"] = tracks;

  J changes = J::array();
  auto change = [&](double step, int key, const char* setting, int value) {
    J c;
    c["step"] = step;
    if (key >= 0)
      c["key"] = key;
    c[setting] = value;
    changes.push_back(c);
  };
  change(0, 84, "loop", 1);
  change(0, 84, "hold", 1);
  const int bassNotes[] = {36, 41, 39, 43};
  for (int i = 0; i < 4; ++i)
    change(i * 16, 24, "note", bassNotes[i]);
  // The pitch wheel: a bend up into the third bar's bass note and back.
  change(30, -1, "pitch_bend", 64);
  change(31, -1, "pitch_bend", 76);
  change(33, -1, "pitch_bend", 64);
  // The closed hat wanders from side to side.
  for (int step = 0; step < 64; step += 8) {
    change(step, 42, "pan", 40);
    change(step + 4, 42, "pan", 88);
  }
  // The open hat falls silent for the second half of each bar two, then returns.
  change(24, 46, "mute", 1);
  change(32, 46, "mute", 0);
  // The drone stops looping in the last bar, and letting go of hold ends it.
  change(48, 84, "loop", 0);
  change(56, 84, "hold", 0);
  pattern["changes"] = changes;
  return pattern;
}

} // namespace

DemoFiles WriteDemoKit(const std::filesystem::path& directory, bool force) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error || !std::filesystem::is_directory(directory))
    throw HostError(directory.string() + ": cannot make the kit directory" +
                    (error ? ": " + error.message() : std::string()));
  DemoFiles files;
  std::vector<std::pair<std::filesystem::path, std::string>> contents;
  for (const DemoSample& sample : kSamples) {
    std::vector<int16_t> pcm = ToPcm(sample.make(), sample.peak);
    contents.emplace_back(directory / sample.file, WavFileBytes(sample.rate, 1, pcm));
    files.samples.push_back(contents.back().first);
  }
  files.kit = directory / "kit.json";
  files.pattern = directory / "pattern.json";
  contents.emplace_back(files.kit, JsonFileText(KitDocument()));
  contents.emplace_back(files.pattern, JsonFileText(PatternDocument()));

  // The demo renders the same every time, so a file it wrote and nobody changed has
  // exactly these bytes.
  std::vector<size_t> toWrite;
  std::string changed;
  for (size_t i = 0; i < contents.size(); ++i) {
    const auto& [path, bytes] = contents[i];
    if (!std::filesystem::exists(std::filesystem::symlink_status(path)))
      toWrite.push_back(i);
    else if (CheckInputFile(path, "demo kit file") != bytes.size() ||
             ReadInputFile(path, "demo kit file", bytes.size()) != bytes) {
      toWrite.push_back(i);
      changed += (changed.empty() ? "" : ", ") + path.filename().string();
    }
  }
  if (!changed.empty() && !force)
    throw HostError(directory.string() + ": " + changed +
                    " differ from the demo's and are kept; choose another --kit-dir, or "
                    "--force to overwrite them");
  for (size_t i : toWrite)
    WriteFileSafely(contents[i].first, contents[i].second);
  files.written = !toWrite.empty();
  return files;
}
