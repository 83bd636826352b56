#include "host/import/hydrogen_files.h"

#include "host/host_error.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

namespace {

pugi::xml_document ParseXml(const std::string& text, const std::string& source) {
  pugi::xml_document document;
  pugi::xml_parse_result result = document.load_buffer(text.data(), text.size());
  if (!result)
    throw HostError(source + ": not a readable XML file: " + result.description() + " at byte " +
                    std::to_string(result.offset));
  return document;
}

// A number, or `fallback` when the element is absent, empty or not a finite number.
double Number(const pugi::xml_node& node, const char* name, double fallback) {
  pugi::xml_node child = node.child(name);
  if (!child)
    return fallback;
  const char* text = child.child_value();
  char* end = nullptr;
  double value = std::strtod(text, &end);
  return end != text && std::isfinite(value) ? value : fallback;
}

int Integer(const pugi::xml_node& node, const char* name, int fallback) {
  double value = Number(node, name, fallback);
  return value >= -1e9 && value <= 1e9 ? static_cast<int>(value) : fallback;
}

bool Flag(const pugi::xml_node& node, const char* name, bool fallback) {
  pugi::xml_node child = node.child(name);
  return child ? std::string(child.child_value()) == "true" : fallback;
}

// Old files keep two gains, one a side; the louder side is full and the other falls by
// their ratio.
double PanOf(const pugi::xml_node& node) {
  if (node.child("pan"))
    return std::clamp(Number(node, "pan", 0), -1.0, 1.0);
  double left = Number(node, "pan_L", 1), right = Number(node, "pan_R", 1);
  if (left <= 0 && right <= 0)
    return 0;
  if (left == right)
    return 0;
  return left > right ? -(1 - std::max(0.0, right) / left) : 1 - std::max(0.0, left) / right;
}

// "C0", "F#-1": semitones above C0.
double KeyOffset(const std::string& key) {
  static const std::pair<const char*, int> kNames[] = {{"C#", 1},  {"D#", 3}, {"F#", 6}, {"G#", 8},
                                                       {"A#", 10}, {"C", 0},  {"D", 2},  {"E", 4},
                                                       {"F", 5},   {"G", 7},  {"A", 9},  {"B", 11}};
  for (auto [name, semitone] : kNames) {
    if (key.rfind(name, 0) != 0)
      continue;
    char* end = nullptr;
    const char* octave = key.c_str() + std::char_traits<char>::length(name);
    long value = std::strtol(octave, &end, 10);
    return end != octave && *end == '\0' && value >= -3 && value <= 3 ? semitone + 12.0 * value : 0;
  }
  return 0;
}

// The volume of each of the kit's components (the mixer's component strips), by id.
using ComponentVolumes = std::map<int, double>;

ComponentVolumes ReadComponentVolumes(const pugi::xml_node& parent) {
  ComponentVolumes volumes;
  for (pugi::xml_node node : parent.child("componentList").children("drumkitComponent"))
    volumes[Integer(node, "id", 0)] = std::max(0.0, Number(node, "volume", 1));
  return volumes;
}

DrumInstrument ReadInstrument(const pugi::xml_node& node, const ComponentVolumes& volumes) {
  DrumInstrument instrument;
  instrument.id = Integer(node, "id", 0);
  instrument.name = node.child_value("name");
  instrument.drumkit = node.child_value("drumkit");
  instrument.volume = std::max(0.0, Number(node, "volume", 1));
  instrument.gain = std::max(0.0, Number(node, "gain", 1));
  instrument.pan = PanOf(node);
  instrument.pitchOffset = Number(node, "pitchOffset", 0);
  instrument.muteGroup = Integer(node, "muteGroup", -1);
  instrument.midiNote = Integer(node, "midiOutNote", -1);
  instrument.muted = Flag(node, "isMuted", false);
  instrument.applyVelocity = Flag(node, "applyVelocity", true);
  if (node.child("sampleSelectionAlgo"))
    instrument.selection = node.child_value("sampleSelectionAlgo");
  if (Flag(node, "filterActive", false))
    instrument.unplayable.push_back("filter");
  if (Number(node, "randomPitchFactor", 0) != 0)
    instrument.unplayable.push_back("random pitch");
  if (Number(node, "Attack", 0) != 0 || Number(node, "Decay", 0) != 0 ||
      Number(node, "Sustain", 1) != 1)
    instrument.unplayable.push_back("envelope");
  for (const char* fx : {"FX1Level", "FX2Level", "FX3Level", "FX4Level"})
    if (Number(node, fx, 0) != 0) {
      instrument.unplayable.push_back("effect sends");
      break;
    }
  double componentGain = 1;
  pugi::xml_node layers = node;
  pugi::xml_node component = node.child("instrumentComponent");
  if (component) {
    layers = component;
    componentGain = std::max(0.0, Number(component, "gain", 1));
    auto volume = volumes.find(Integer(component, "component_id", 0));
    if (volume != volumes.end())
      componentGain *= volume->second;
    if (component.next_sibling("instrumentComponent"))
      instrument.unplayable.push_back("components after the first");
  }
  for (pugi::xml_node layer : layers.children("layer")) {
    DrumLayer out;
    out.filename = layer.child_value("filename");
    out.min = std::clamp(Number(layer, "min", 0), 0.0, 1.0);
    out.max = std::clamp(Number(layer, "max", 1), 0.0, 1.0);
    out.gain = std::max(0.0, Number(layer, "gain", 1)) * componentGain;
    out.pitch = Number(layer, "pitch", 0);
    instrument.layers.push_back(out);
  }
  // The oldest kits name one sample on the instrument itself.
  if (instrument.layers.empty() && node.child("filename"))
    instrument.layers.push_back({node.child_value("filename"), 0, 1, 1, 0});
  return instrument;
}

std::vector<DrumInstrument> ReadInstruments(const pugi::xml_node& parent) {
  std::vector<DrumInstrument> instruments;
  ComponentVolumes volumes = ReadComponentVolumes(parent);
  for (pugi::xml_node node : parent.child("instrumentList").children("instrument"))
    instruments.push_back(ReadInstrument(node, volumes));
  return instruments;
}

} // namespace

DrumKitFile ParseDrumKit(const std::string& text, const std::string& source) {
  pugi::xml_document document = ParseXml(text, source);
  pugi::xml_node root = document.child("drumkit_info");
  if (!root)
    throw HostError(source + ": not a drumkit (no <drumkit_info> element)");
  DrumKitFile kit;
  kit.name = root.child_value("name");
  kit.instruments = ReadInstruments(root);
  if (kit.instruments.empty())
    throw HostError(source + ": the drumkit has no instruments");
  return kit;
}

SongFile ParseSong(const std::string& text, const std::string& source) {
  pugi::xml_document document = ParseXml(text, source);
  pugi::xml_node root = document.child("song");
  if (!root)
    throw HostError(source + ": not a song (no <song> element)");
  SongFile song;
  song.bpm = Number(root, "bpm", 120);
  if (song.bpm < 1 || song.bpm > 1000)
    throw HostError(source + ": tempo " + std::to_string(song.bpm) + " is outside 1 to 1000");
  song.volume = std::clamp(Number(root, "volume", 1), 0.0, 1.5);
  song.instruments = ReadInstruments(root);
  if (song.instruments.empty())
    throw HostError(source + ": the song has no instruments");
  std::set<std::string> unplayable;
  for (pugi::xml_node node : root.child("patternList").children("pattern")) {
    SongPattern pattern;
    pattern.name = node.child_value("name");
    pattern.size = std::clamp(Integer(node, "size", 192), 1, 1 << 20);
    for (pugi::xml_node n : node.child("noteList").children("note")) {
      if (Flag(n, "note_off", false)) {
        unplayable.insert("stop notes");
        continue;
      }
      SongNote note;
      note.position = Integer(n, "position", 0);
      if (note.position < 0 || note.position >= pattern.size)
        continue;
      note.velocity = std::clamp(Number(n, "velocity", 0.8), 0.0, 1.0);
      note.pan = PanOf(n);
      note.pitch = Number(n, "pitch", 0) + KeyOffset(n.child_value("key"));
      note.length = Integer(n, "length", -1);
      note.instrument = Integer(n, "instrument", 0);
      if (Number(n, "leadlag", 0) != 0)
        unplayable.insert("lead and lag");
      if (Number(n, "probability", 1) < 1)
        unplayable.insert("note probability");
      pattern.notes.push_back(note);
    }
    song.patterns.push_back(pattern);
  }
  for (pugi::xml_node group : root.child("patternSequence").children("group")) {
    std::vector<std::string> column;
    for (pugi::xml_node id : group.children("patternID"))
      column.push_back(id.child_value());
    song.sequence.push_back(column);
  }
  if (song.sequence.empty())
    throw HostError(source + ": the song's pattern sequence is empty; nothing to play");
  if (Number(root, "swing_factor", 0) > 0)
    unplayable.insert("swing");
  if (Number(root, "humanize_time", 0) > 0 || Number(root, "humanize_velocity", 0) > 0)
    unplayable.insert("humanize");
  for (pugi::xml_node fx : root.child("ladspa").children("fx"))
    if (Flag(fx, "enabled", false))
      unplayable.insert("effects");
  if (root.child("BPMTimeLine").first_child())
    unplayable.insert("tempo changes");
  for (const DrumInstrument& instrument : song.instruments)
    unplayable.insert(instrument.unplayable.begin(), instrument.unplayable.end());
  song.unplayable.assign(unplayable.begin(), unplayable.end());
  return song;
}
