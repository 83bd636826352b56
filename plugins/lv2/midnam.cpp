#include "plugins/lv2/midnam.h"

#include <cctype>
#include <filesystem>
#include <map>

namespace za32::lv2 {

namespace {

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += "&quot;";
      break;
    case '\'':
      out += "&apos;";
      break;
    default:
      if (static_cast<unsigned char>(c) >= 0x20)
        out += c;
    }
  }
  return out;
}

// "samples/03-Snare Rock.wav" -> "Snare Rock": the stem, without an import's number.
std::string KeyName(const KitKey& key) {
  std::string stem = std::filesystem::path(key.sample).stem().string();
  size_t digits = 0;
  while (digits < stem.size() && std::isdigit(static_cast<unsigned char>(stem[digits])))
    ++digits;
  if (digits > 0 && digits + 1 < stem.size() && stem[digits] == '-')
    stem.erase(0, digits + 1);
  return stem;
}

} // namespace

std::string MidnamDocument(const Kit& kit, const std::string& model) {
  std::map<int, std::string> names; // the first key a note plays names it
  for (const KitKey& key : kit.keys) {
    int note = key.trigger >= 0 ? key.trigger : key.keyCode;
    if (key.sample.empty() || note < 0 || note > 127 || names.count(note))
      continue;
    names[note] = KeyName(key);
  }
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE MIDINameDocument PUBLIC \"-//MIDI Manufacturers Association//DTD "
      "MIDINameDocument 1.0//EN\" \"http://dev.midi.org/dtds/MIDINameDocument10.dtd\">\n"
      "<MIDINameDocument>\n  <Author/>\n  <MasterDeviceNames>\n"
      "    <Manufacturer>Zandoria</Manufacturer>\n    <Model>" +
      Escaped(model) +
      "</Model>\n    <CustomDeviceMode Name=\"Default\">\n"
      "      <ChannelNameSetAssignments>\n";
  for (int channel = 1; channel <= 16; ++channel)
    xml += "        <ChannelNameSetAssign Channel=\"" + std::to_string(channel) +
           "\" NameSet=\"Kit\"/>\n";
  xml += "      </ChannelNameSetAssignments>\n    </CustomDeviceMode>\n"
         "    <ChannelNameSet Name=\"Kit\">\n      <AvailableForChannels>\n";
  for (int channel = 1; channel <= 16; ++channel)
    xml += "        <AvailableChannel Channel=\"" + std::to_string(channel) +
           "\" Available=\"true\"/>\n";
  xml += "      </AvailableForChannels>\n      <UsesNoteNameList Name=\"Keys\"/>\n"
         "    </ChannelNameSet>\n    <NoteNameList Name=\"Keys\">\n";
  for (const auto& [note, name] : names)
    xml += "      <Note Number=\"" + std::to_string(note) + "\" Name=\"" + Escaped(name) + "\"/>\n";
  xml += "    </NoteNameList>\n  </MasterDeviceNames>\n</MIDINameDocument>\n";
  return xml;
}

} // namespace za32::lv2
