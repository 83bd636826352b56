#include "host/import/import_mapping.h"

#include "performance/voice_rules.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <set>

namespace {

// Hundredths of a decibel of a linear gain; silence is far below any level the keys have.
double Centibels(double amplitude) {
  return amplitude > 0 ? 2000 * std::log10(amplitude) : -1e9;
}

template <typename Rule> int Nearest(int lowest, int highest, double target, Rule rule) {
  int best = lowest;
  double bestError = std::numeric_limits<double>::infinity();
  for (int value = lowest; value <= highest; ++value) {
    double error = std::abs(rule(value) - target);
    if (error < bestError) {
      best = value;
      bestError = error;
    }
  }
  return best;
}

// General MIDI drum notes by the words drum names use; first match wins.
int GeneralMidiNote(const std::string& instrumentName) {
  std::string name;
  for (char c : instrumentName)
    name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  static const std::pair<const char*, int> kWords[] = {
      {"kick", 36},    {"bass drum", 36}, {"rim", 37},      {"stick", 37},      {"snare", 38},
      {"clap", 39},    {"pedal", 44},     {"open", 46},     {"hat", 42},        {"floor", 41},
      {"low tom", 45}, {"mid tom", 47},   {"high tom", 50}, {"tom", 48},        {"crash", 49},
      {"ride", 51},    {"china", 52},     {"bell", 53},     {"tambourine", 54}, {"splash", 55},
      {"cowbell", 56}, {"conga", 63},     {"bongo", 61},    {"shaker", 70},     {"maraca", 70},
      {"clave", 75},   {"block", 76},     {"triangle", 81}};
  for (auto [word, note] : kWords)
    if (name.find(word) != std::string::npos)
      return note;
  return -1;
}

std::string SampleFileName(size_t key, const std::string& instrument, const std::string& file) {
  std::string stem = instrument + "-" + std::filesystem::path(file).stem().string();
  std::string name;
  for (char c : stem.substr(0, 32))
    name += std::isalnum(static_cast<unsigned char>(c)) || c == '-' ? c : '_';
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "%02zu-", key + 1);
  return "samples/" + std::string(prefix) + name + ".wav";
}

} // namespace

int NearestVelocity(double amplitude) {
  return Nearest(1, 127, Centibels(amplitude), [](int v) { return LevelRule(v, 127); });
}

int NearestVolume(double amplitude) {
  return Nearest(0, 127, Centibels(amplitude), [](int v) { return LevelRule(127, v); });
}

int NearestPan(double pan) {
  // Negative: the right side falls, as in the engine's rule.
  double fall = std::min(10000.0, -Centibels(1 - std::min(1.0, std::abs(pan))));
  double target = pan < 0 ? -fall : fall;
  return Nearest(0, 127, target, [](int p) { return PanRule(p); });
}

std::pair<int, int> NearestPitch(double semitones) {
  double cents = 100 * std::clamp(semitones, -60.0, 83.0);
  std::pair<int, int> best{60, 50};
  double bestError = std::numeric_limits<double>::infinity();
  int base = 60 + static_cast<int>(std::lround(semitones));
  for (int note = std::max(0, base - 1); note <= std::min(143, base + 1); ++note)
    for (int fine = 0; fine <= 100; ++fine) {
      double error =
          std::abs(100.0 * (note - 60) + 1200 * std::log2(double(FineTuneFactor(fine))) - cents);
      if (error < bestError - 1e-9) {
        best = {note, fine};
        bestError = error;
      }
    }
  return best;
}

std::vector<std::string>
LeaveOutMissingSamples(std::vector<DrumInstrument>& instruments,
                       const std::function<bool(const DrumInstrument&, const DrumLayer&)>& has) {
  std::vector<std::string> named;
  for (DrumInstrument& instrument : instruments) {
    std::vector<DrumLayer> kept;
    std::vector<std::string> layers, files;
    for (size_t l = 0; l < instrument.layers.size(); ++l) {
      const DrumLayer& layer = instrument.layers[l];
      if (has(instrument, layer)) {
        kept.push_back(layer);
        continue;
      }
      std::string file = layer.filename.empty() ? "no file name" : layer.filename;
      layers.push_back(instrument.name + " layer " + std::to_string(l + 1) + " (" + file + ")");
      files.push_back(file);
    }
    if (!kept.empty() || files.empty()) {
      named.insert(named.end(), layers.begin(), layers.end());
    } else {
      std::string list;
      for (const std::string& file : files)
        list += (list.empty() ? "" : ", ") + file;
      named.push_back(instrument.name + " (" + list + ")");
    }
    instrument.layers = std::move(kept);
  }
  return named;
}

KitPlan PlanKit(const std::vector<DrumInstrument>& instruments, double masterVolume) {
  KitPlan plan;
  std::set<int> codes;
  std::vector<int> notes(instruments.size(), -1);
  // The kit's own notes first, then the General MIDI map, then the first free drum note.
  for (size_t i = 0; i < instruments.size(); ++i) {
    int note = instruments[i].midiNote;
    if (note >= 0 && note <= 127 && codes.insert(note).second)
      notes[i] = note;
  }
  for (size_t i = 0; i < instruments.size(); ++i) {
    if (notes[i] >= 0)
      continue;
    int note = GeneralMidiNote(instruments[i].name);
    for (int free = 35; note < 0 || codes.count(note); ++free)
      note = free <= 127 ? free : 128 + free;
    codes.insert(note);
    notes[i] = note;
  }
  // Every instrument first gets one key, in kit order, while keys remain; then, in kit
  // order, those whose layers all fit in the keys left get them all. An instrument kept
  // on one key plays the layer a hit of Hydrogen's usual velocity (0.8) plays.
  std::vector<std::vector<size_t>> chosen(instruments.size());
  size_t used = 0;
  for (size_t i = 0; i < instruments.size(); ++i) {
    const DrumInstrument& instrument = instruments[i];
    std::vector<size_t>& layers = chosen[i];
    for (size_t l = 0; l < instrument.layers.size(); ++l)
      if (instrument.layers[l].max > 0 || instrument.layers.size() == 1)
        layers.push_back(l);
    std::stable_sort(layers.begin(), layers.end(), [&](size_t a, size_t b) {
      return instrument.layers[a].min < instrument.layers[b].min;
    });
    if (layers.empty())
      continue;
    if (used == kMaxKitKeys) {
      plan.leftOut.push_back(instrument.name);
      layers.clear();
      continue;
    }
    ++used;
  }
  for (size_t i = 0; i < instruments.size(); ++i) {
    std::vector<size_t>& layers = chosen[i];
    if (layers.size() <= 1)
      continue;
    if (used + layers.size() - 1 <= kMaxKitKeys) {
      used += layers.size() - 1;
      continue;
    }
    size_t usual = layers.back();
    for (size_t l : layers)
      if (instruments[i].layers[l].min <= 0.8 && instruments[i].layers[l].max >= 0.8) {
        usual = l;
        break;
      }
    plan.layersLeftOut.push_back(instruments[i].name + " " + std::to_string(layers.size() - 1) +
                                 " of " + std::to_string(layers.size()));
    layers = {usual};
  }

  // Keys beyond an instrument's first take codes no MIDI note reaches.
  int extraCode = 128;
  bool random = false;
  for (size_t i = 0; i < instruments.size(); ++i) {
    const DrumInstrument& instrument = instruments[i];
    const std::vector<size_t>& layers = chosen[i];
    if (layers.empty())
      continue;
    random = random || instrument.selection == "RANDOM";
    bool byVelocity = instrument.selection != "ROUND_ROBIN" && instrument.selection != "RANDOM";
    plan.triggerOf[instrument.id] = notes[i];
    int previousHigh = 0;
    for (size_t n = 0; n < layers.size(); ++n) {
      const DrumLayer& layer = instrument.layers[layers[n]];
      size_t index = plan.kit.keys.size();
      KitKey key;
      key.sample = SampleFileName(index, instrument.name, layer.filename);
      while (n > 0 && codes.count(extraCode))
        ++extraCode;
      key.keyCode = n == 0 ? notes[i] : extraCode++;
      if (key.keyCode != notes[i])
        key.trigger = notes[i];
      key.volume = NearestVolume(masterVolume * instrument.volume * instrument.gain * layer.gain);
      key.pan = NearestPan(instrument.pan);
      auto [note, fine] = NearestPitch(layer.pitch + instrument.pitchOffset);
      key.note = note;
      key.fineTune = fine;
      key.velocitySense = instrument.applyVelocity;
      key.mute = instrument.muted;
      if (instrument.muteGroup >= 0)
        key.group = "mute-" + std::to_string(instrument.muteGroup);
      if (layers.size() > 1) {
        key.velocityLow = layer.min > 0 ? NearestVelocity(layer.min) : 1;
        key.velocityHigh = NearestVelocity(layer.max);
        // Adjacent layers share their boundary; the lower one keeps it, as a hit at
        // the boundary plays the first layer that holds it.
        if (byVelocity)
          key.velocityLow = std::max(key.velocityLow, previousHigh + 1);
        key.velocityHigh = std::max(key.velocityHigh, key.velocityLow);
        previousHigh = key.velocityHigh;
      }
      plan.keysOf[instrument.id].push_back(index);
      plan.samples.push_back({i, layers[n], index});
      plan.kit.keys.push_back(key);
    }
  }
  if (random)
    plan.kit.roundRobin = RoundRobin::Random;
  return plan;
}

nlohmann::ordered_json SongToPattern(const SongFile& song, const KitPlan& plan, size_t& dropped) {
  std::map<std::string, const SongPattern*> byName;
  for (const SongPattern& pattern : song.patterns)
    byName.emplace(pattern.name, &pattern);
  struct Placed {
    long long tick;
    const SongNote* note;
  };
  std::vector<Placed> placed;
  long long tick = 0;
  for (const std::vector<std::string>& column : song.sequence) {
    int length = 0;
    for (const std::string& name : column) {
      auto found = byName.find(name);
      if (found == byName.end())
        continue;
      length = std::max(length, found->second->size);
      for (const SongNote& note : found->second->notes)
        placed.push_back({tick + note.position, &note});
    }
    tick += length > 0 ? length : 4 * kSongTicksPerBeat;
  }
  std::stable_sort(placed.begin(), placed.end(),
                   [](const Placed& a, const Placed& b) { return a.tick < b.tick; });

  long long divisor = std::gcd(tick, (long long)kSongTicksPerBeat);
  for (const Placed& p : placed) {
    divisor = std::gcd(divisor, p.tick);
    if (p.note->length > 0)
      divisor = std::gcd(divisor, (long long)p.note->length);
  }

  std::map<int, const DrumInstrument*> instruments;
  for (const DrumInstrument& instrument : song.instruments)
    instruments[instrument.id] = &instrument;
  // Per key, the pan and pitch it has now, to send a change only where a note differs.
  std::map<size_t, std::pair<int, int>> panOf, pitchOf;
  for (size_t k = 0; k < plan.kit.keys.size(); ++k) {
    panOf[k] = {plan.kit.keys[k].pan, 0};
    pitchOf[k] = {plan.kit.keys[k].note, plan.kit.keys[k].fineTune};
  }

  std::map<int, std::map<long long, nlohmann::ordered_json>> tracks; // trigger -> step -> hit
  nlohmann::ordered_json changes = nlohmann::ordered_json::array();
  dropped = 0;
  for (const Placed& p : placed) {
    const SongNote& note = *p.note;
    auto trigger = plan.triggerOf.find(note.instrument);
    auto instrument = instruments.find(note.instrument);
    if (trigger == plan.triggerOf.end() || instrument == instruments.end()) {
      ++dropped;
      continue;
    }
    long long step = p.tick / divisor;
    nlohmann::ordered_json hit;
    hit["step"] = step;
    hit["velocity"] = NearestVelocity(note.velocity);
    if (note.length > 0)
      hit["length"] = note.length / divisor;
    // Two notes of one instrument at one tick sound as one: the louder.
    auto& track = tracks[trigger->second];
    if (track.count(step) && track[step]["velocity"].get<int>() >= hit["velocity"].get<int>())
      continue;
    track[step] = hit;
    const DrumInstrument& source = *instrument->second;
    // The note's pan moves within what the instrument's pan leaves.
    double pan = std::clamp(source.pan + note.pan * (1 - std::abs(source.pan)), -1.0, 1.0);
    for (size_t k : plan.keysOf.at(note.instrument)) {
      const DrumLayer& layer = source.layers[plan.samples[k].layer];
      int keyPan = NearestPan(pan);
      auto pitch = NearestPitch(layer.pitch + source.pitchOffset + note.pitch);
      int code = plan.kit.keys[k].keyCode;
      if (keyPan != panOf[k].first) {
        changes.push_back({{"step", step}, {"key", code}, {"pan", keyPan}});
        panOf[k].first = keyPan;
      }
      if (pitch != pitchOf[k]) {
        changes.push_back({{"step", step}, {"key", code}, {"note", pitch.first}});
        changes.push_back({{"step", step}, {"key", code}, {"fine_tune", pitch.second}});
        pitchOf[k] = pitch;
      }
    }
  }

  nlohmann::ordered_json pattern;
  pattern["tempo"] = song.bpm;
  pattern["steps_per_beat"] = kSongTicksPerBeat / divisor;
  pattern["steps"] = tick / divisor;
  pattern["tail"] = 2;
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  for (const auto& [trigger, hits] : tracks) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& [step, hit] : hits)
      list.push_back(hit);
    out[std::to_string(trigger)] = list;
  }
  pattern["tracks"] = out;
  if (!changes.empty())
    pattern["changes"] = changes;
  return pattern;
}
