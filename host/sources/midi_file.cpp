#include "host/sources/midi_file.h"

#include "host/files/input_file.h"
#include "host/host_error.h"
#include "host/sources/midi_file_structure.h"
#include "host/sources/timeline.h"

#include <smf.h>

#include <algorithm>
#include <fstream>
#include <memory>

namespace {

// Longer than any piece of music; a corrupt delta time must not start a render of days.
constexpr uint64_t kMaxSeconds = 60 * 60 * 24;

// libsmf says what is wrong through GLib's log; while a file loads, its messages are
// kept for our own error instead of being printed.
class LibraryMessages {
public:
  LibraryMessages() { previous_ = g_log_set_default_handler(Keep, this); }
  ~LibraryMessages() { g_log_set_default_handler(previous_, nullptr); }
  LibraryMessages(const LibraryMessages&) = delete;
  LibraryMessages& operator=(const LibraryMessages&) = delete;

  // The first message that explains a failure, in words about the file.
  std::string Reason(const std::string& otherwise) const {
    const std::string* chosen = nullptr;
    for (const std::string& line : lines_)
      if (!chosen && line.rfind("SMF error: ", 0) == 0)
        chosen = &line;
    for (const std::string& line : lines_)
      if (!chosen && line.find("but only") != std::string::npos)
        chosen = &line;
    for (const std::string& line : lines_)
      if (!chosen && line.find("Cannot load track") == std::string::npos)
        chosen = &line;
    if (!chosen)
      return otherwise;
    if (chosen->find("end of buffer") != std::string::npos)
      return "a track ends in the middle of an event (truncated file?)";
    if (chosen->find("no more chunks left") != std::string::npos)
      return "the file ends before the header or a track is complete (truncated file?)";
    std::string reason = chosen->substr(0, chosen->find("; continuing anyway"));
    for (const char* prefix : {"SMF error: ", "SMF warning: "})
      if (reason.rfind(prefix, 0) == 0)
        reason.erase(0, std::string(prefix).size());
    if (!reason.empty() && reason.back() == '.')
      reason.pop_back();
    return reason;
  }
  // A track that could not be read is lost music: the file is refused, not half played.
  bool TrackLost() const {
    for (const std::string& line : lines_)
      if (line.find("Cannot load track") != std::string::npos ||
          line.find("but only") != std::string::npos)
        return true;
    return false;
  }

private:
  static void Keep(const gchar*, GLogLevelFlags, const gchar* message, gpointer self) {
    static_cast<LibraryMessages*>(self)->lines_.emplace_back(message ? message : "");
  }
  GLogFunc previous_ = nullptr;
  std::vector<std::string> lines_;
};

struct SmfDeleter {
  void operator()(smf_t* smf) const { smf_delete(smf); }
};

// Frames from the start to `pulses`, exact to the frame (rounded to nearest) under every
// tempo change before it: microseconds are summed as whole pulses times microseconds
// per quarter note, then divided once.
class TempoMap {
public:
  TempoMap(smf_t* smf, uint32_t rate) : ppqn_(smf->ppqn), rate_(rate) {
    __int128 sum = 0;
    int lastPulses = 0, lastTempo = 500000;
    for (int i = 0;; ++i) {
      smf_tempo_t* tempo = smf_get_tempo_by_number(smf, i);
      if (!tempo)
        break;
      // Out of order or empty changes would make time run backwards: ignored.
      if (tempo->time_pulses < lastPulses || tempo->microseconds_per_quarter_note <= 0)
        continue;
      sum += __int128(tempo->time_pulses - lastPulses) * lastTempo;
      changes_.push_back({tempo->time_pulses, tempo->microseconds_per_quarter_note, sum});
      lastPulses = tempo->time_pulses;
      lastTempo = tempo->microseconds_per_quarter_note;
    }
  }

  uint64_t Frame(int pulses) const {
    Change current{0, 500000, 0};
    for (const Change& change : changes_) {
      if (change.pulses > pulses)
        break;
      current = change;
    }
    __int128 scaled = current.sum + __int128(pulses - current.pulses) * current.tempo;
    __int128 denominator = __int128(ppqn_) * 1'000'000;
    __int128 frames = (scaled * rate_ * 2 + denominator) / (2 * denominator);
    return frames > __int128(MaxFrames()) ? MaxFrames() + 1 : uint64_t(frames);
  }

  uint64_t MaxFrames() const { return uint64_t{rate_} * kMaxSeconds; }

private:
  struct Change {
    int pulses;
    int tempo;    // microseconds a quarter note from `pulses` on
    __int128 sum; // pulses times microseconds a quarter note up to `pulses`
  };
  int ppqn_;
  uint32_t rate_;
  std::vector<Change> changes_;
};

} // namespace

bool IsMidiFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  char magic[4] = {};
  return in.read(magic, 4) && std::string(magic, 4) == "MThd";
}

MidiSong ParseMidiFile(const void* bytes, size_t size, const std::string& source, uint32_t rate) {
  std::unique_ptr<smf_t, SmfDeleter> smf;
  {
    LibraryMessages messages;
    if (size > size_t(INT32_MAX))
      throw HostError(source + ": too large for a MIDI file");
    std::string prepared =
        PrepareMidiForLibrary(static_cast<const unsigned char*>(bytes), size, source);
    smf.reset(smf_load_from_memory(prepared.data(), static_cast<int>(prepared.size())));
    if (!smf)
      throw HostError(
          source + ": not a MIDI file that can be played: " + messages.Reason("it cannot be read"));
    if (messages.TrackLost())
      throw HostError(source + ": damaged MIDI file: " + messages.Reason("a track cannot be read"));
  }

  MidiSong song;
  song.source = source;
  song.format = smf->format;
  song.tracks = smf->number_of_tracks;
  TempoMap tempo(smf.get(), rate);
  while (smf_event_t* event = smf_get_next_event(smf.get())) {
    uint64_t frame = tempo.Frame(event->time_pulses);
    if (event->time_pulses < 0 || frame > tempo.MaxFrames())
      throw HostError(source + ": an event lies more than 24 hours into the song; the file " +
                      "is damaged");
    song.lastFrame = std::max(song.lastFrame, frame);
    const unsigned char* data = event->midi_buffer;
    if (event->midi_buffer_length < 1 || data[0] < 0x80 || data[0] >= 0xF0)
      continue; // meta events, system exclusive
    // Program change and channel pressure carry one data byte, the others two.
    int wanted = (data[0] & 0xF0) == 0xC0 || (data[0] & 0xF0) == 0xD0 ? 2 : 3;
    if (event->midi_buffer_length < wanted)
      throw HostError(source + ": a channel message at pulse " +
                      std::to_string(event->time_pulses) + " is cut short");
    song.messages.push_back(
        {frame, data[0], data[1], static_cast<uint8_t>(wanted == 3 ? data[2] : 0)});
  }
  // libsmf interleaves the tracks by time; the order is made certain all the same.
  std::stable_sort(song.messages.begin(), song.messages.end(),
                   [](const MidiMessage& a, const MidiMessage& b) { return a.frame < b.frame; });
  return song;
}

MidiSong LoadMidiFile(const std::filesystem::path& file, uint32_t rate) {
  std::string bytes = ReadInputFile(file, "MIDI file", INT32_MAX);
  return ParseMidiFile(bytes.data(), bytes.size(), file.string(), rate);
}
