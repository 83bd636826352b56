// How Hydrogen's instruments and songs become the engine's keys and a pattern file. The
// engine's own level, pan and pitch rules are searched for the setting nearest what the
// kit asks; host/README.md gives the formulas.
#pragma once

#include "host/import/hydrogen_files.h"
#include "kit/kit_model.h"

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

// Engine velocity 1..127 whose level is nearest the linear gain `amplitude` (0..1).
int NearestVelocity(double amplitude);
// Key volume 0..127 whose level at full velocity is nearest the linear gain.
int NearestVolume(double amplitude);
// Key pan 0..127 whose attenuation of the far side is nearest that of `pan` (-1..1) when
// the near side stays full and the far side falls to 1 - |pan|.
int NearestPan(double pan);
// Key note and fine tune sounding nearest `semitones` above the sample's own pitch.
std::pair<int, int> NearestPitch(double semitones);

// One key to fill: the instrument and layer it plays.
struct SampleJob {
  size_t instrument;
  size_t layer;
  size_t key;
};

struct KitPlan {
  Kit kit;                                   // samples named samples/NN-name.wav
  std::vector<SampleJob> samples;            // one a key
  std::vector<std::string> leftOut;          // instrument names that did not fit
  std::vector<std::string> layersLeftOut;    // "Kick 3 of 4": layers left out for want of keys
  std::map<int, int> triggerOf;              // instrument id -> trigger note
  std::map<int, std::vector<size_t>> keysOf; // instrument id -> key indices
};

// Instruments in kit order, one key a layer, as far as the engine's keys go; a song's
// master volume (`masterVolume`) scales every key's level with the rest of the chain.
KitPlan PlanKit(const std::vector<DrumInstrument>& instruments, double masterVolume = 1);

// Takes out every layer whose sample `has` does not find, and names what went: "Kick
// layer 2 (kick-soft.wav)", or "Cowbell (cowbell.flac)" for an instrument that had
// layers and has none left.
std::vector<std::string>
LeaveOutMissingSamples(std::vector<DrumInstrument>& instruments,
                       const std::function<bool(const DrumInstrument&, const DrumLayer&)>& has);

// The song as one pass of a pattern file over the planned keys, 48 ticks a beat reduced
// by their common divisor. `dropped` counts the notes of instruments left out.
nlohmann::ordered_json SongToPattern(const SongFile& song, const KitPlan& plan, size_t& dropped);
