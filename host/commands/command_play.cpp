// demo, render and play: a kit and a pattern played on the engine.
#include "host/commands/commands.h"
#include "host/files/kit_file.h"

#include "host/commands/demo_kit.h"
#include "host/files/interrupt.h"
#include "host/files/safe_output.h"
#include "host/host_error.h"
#include "host/outputs/engine_session.h"
#include "host/outputs/player.h"
#include "host/outputs/live_playback.h"
#include "host/outputs/wav_file.h"
#include "host/outputs/sound_file.h"
#include "host/sources/midi_timeline.h"

#include "platform/emul/dsound/device_control.h"

#include <cctype>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <set>

namespace {

struct Loaded {
  Kit kit;
  Pattern pattern; // for a pattern file
  std::string source;
  Timeline timeline;
  std::vector<std::filesystem::path> inputs; // kit, pattern and samples
};

// A MIDI file or a pattern, told apart by what the file holds.
Loaded LoadPiece(const std::filesystem::path& kitFile, const std::filesystem::path& pieceFile,
                 const PieceOptions& options = {}) {
  Loaded piece{LoadKit(kitFile), {}, pieceFile.string(), {}, {kitFile, pieceFile}};
  for (const std::filesystem::path& sample : KitFiles(piece.kit))
    piece.inputs.push_back(sample);
  CheckKitSamplesExist(piece.kit);
  if (IsMidiFile(pieceFile)) {
    MidiSong song = LoadMidiFile(pieceFile, options.rate);
    piece.timeline =
        BuildMidiTimeline(piece.kit, song, {options.channel, options.tail, options.rate});
    if (piece.timeline.notesWithoutKey > 0)
      std::fprintf(stderr, "za32: %s: %llu notes have no key in the kit %s\n", piece.source.c_str(),
                   static_cast<unsigned long long>(piece.timeline.notesWithoutKey),
                   piece.kit.source.c_str());
    return piece;
  }
  if (options.channel >= 0)
    throw HostError(pieceFile.string() + ": --channel is for MIDI files; this is a pattern");
  piece.pattern = LoadPattern(pieceFile);
  if (options.tail)
    piece.pattern.tail = *options.tail;
  piece.timeline = BuildTimeline(piece.kit, piece.pattern, options.rate);
  return piece;
}

void PrintSummary(const Loaded& piece, size_t files, const PlayStats& stats, bool offline) {
  const uint32_t rate = piece.timeline.rate;
  std::printf("length      %s (%llu frames at %u Hz)%s\n",
              FormatDuration(stats.frames, rate).c_str(),
              static_cast<unsigned long long>(stats.frames), rate,
              stats.interrupted ? ", stopped early" : "");
  if (offline)
    std::printf("peak        %s\n", FormatPeak(stats.peak).c_str());
  std::printf("voices used %zu at most at once\n", stats.maxVoices);
  std::printf("files       %zu loaded\n", files);
  std::printf("messages    %llu notes, %zu messages in all\n",
              static_cast<unsigned long long>(piece.timeline.notes),
              piece.timeline.messages.size());
  if (offline && stats.seconds > 0)
    std::printf("rendered in %.2f s (%.0f times real time)\n", stats.seconds,
                double(stats.frames) / rate / stats.seconds);
}

// The timeline of one key alone: its notes, its setting changes and the global bend.
Timeline KeyAlone(const Timeline& timeline, int keyIndex, int keyCode) {
  Timeline alone = timeline;
  alone.messages.clear();
  alone.notes = 0;
  for (const TimedMessage& message : timeline.messages) {
    unsigned low = LOWORD(message.lParam);
    bool mine = message.message == AM_NOTE
                    ? low == unsigned(keyCode)
                    : message.message == AM_BEND || low == unsigned(keyIndex);
    if (!mine)
      continue;
    alone.messages.push_back(message);
    alone.notes += message.message == AM_NOTE && HIWORD(message.lParam) != 0;
  }
  return alone;
}

std::string StemName(size_t index, const KitKey& key, RenderFormat format) {
  std::string name = std::filesystem::path(key.sample).stem().string().substr(0, 40);
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_')
      c = '_';
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "key%02zu-", index + 1);
  return prefix + name + RenderFormatExtension(format);
}

// Each key that plays, rendered alone after the mix on the same engine (which starts once
// a process). Every render starts on the same phase of the device's period with the kit
// installed afresh, so the stems are sample-aligned with the mix and add up to it within
// half a step of 16 bits for each stem that sounds.
using StemFiles = std::vector<std::pair<size_t, std::filesystem::path>>;

// The stems' files by key, their folder made and none of them there yet: checked before
// the mix is rendered, so a refusal costs nothing.
StemFiles PrepareStems(const Loaded& piece, const std::filesystem::path& folder,
                       RenderFormat format) {
  StemFiles stems;
  for (size_t i = 0; i < piece.kit.keys.size(); ++i) {
    const KitKey& key = piece.kit.keys[i];
    if (key.sample.empty() || KeyAlone(piece.timeline, int(i), key.keyCode).notes == 0)
      continue;
    stems.push_back({i, folder / StemName(i, key, format)});
  }
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error) &&
      !std::filesystem::create_directory(folder, error))
    throw HostError(folder.string() + ": cannot create the stems folder: " +
                    (error ? error.message() : "a file has that name"));
  for (const auto& [index, file] : stems)
    if (std::filesystem::exists(file, error))
      throw HostError(file.string() + ": already exists; stems are written only as new files");
  return stems;
}

// The kit on fresh engine instances at the piece's rate; HostError naming the key and
// its file when a sample cannot be loaded.
std::unique_ptr<za32::KitPlayer> LoadPlayer(const Loaded& piece) {
  std::string why;
  std::unique_ptr<za32::KitPlayer> player =
      za32::KitPlayer::Load(piece.kit, piece.timeline.rate, &why);
  if (!player)
    throw HostError(why);
  for (const za32::EngineBox& box : player->TakeBoxes())
    std::fprintf(stderr, "%s: %s\n", box.caption.c_str(), box.text.c_str());
  return player;
}

// Each key that plays, rendered alone on a kit of its own, so that the stems are
// sample-aligned with the mix and add up to it.
void RenderStems(const Loaded& piece, const std::filesystem::path& folder, const StemFiles& stems,
                 RenderFormat format) {
  for (const auto& [index, file] : stems) {
    const KitKey& key = piece.kit.keys[index];
    SoundFileWriter writer(file, format, piece.timeline.rate, 2, piece.inputs);
    std::unique_ptr<za32::KitPlayer> player = LoadPlayer(piece);
    RenderOffline(*player, KeyAlone(piece.timeline, int(index), key.keyCode), writer,
                  std::numeric_limits<double>::infinity());
    writer.Close();
  }
  std::printf("stems       %zu files in %s\n", stems.size(),
              std::filesystem::absolute(folder).string().c_str());
}

size_t DistinctFiles(const Kit& kit) {
  std::set<std::string> files;
  for (const KitKey& key : kit.keys)
    if (!key.sample.empty())
      files.insert(ResolvedSamplePath(kit, key));
  return files.size();
}

int Render(const Loaded& piece, const std::filesystem::path& output,
           RenderFormat format = RenderFormat::Wav16,
           const std::optional<std::filesystem::path>& stems = std::nullopt) {
  // The outputs are checked and begun before the engine starts, so a bad path costs nothing.
  StemFiles stemFiles = stems ? PrepareStems(piece, *stems, format) : StemFiles{};
  SoundFileWriter writer(output, format, piece.timeline.rate, 2, piece.inputs);
  std::unique_ptr<za32::KitPlayer> player = LoadPlayer(piece);
  PlayStats stats;
  try {
    stats = RenderOffline(*player, piece.timeline, writer);
  } catch (const InterruptedError&) {
    throw InterruptedError("interrupted; " + output.string() + " left as it was");
  }
  writer.Close();
  player.reset();
  std::printf("wrote       %s\n", std::filesystem::absolute(output).string().c_str());
  PrintSummary(piece, DistinctFiles(piece.kit), stats, true);
  if (stats.clipped > 0)
    std::printf("clipped     %llu samples at 16 bits; the mix peaks at %s%s\n",
                static_cast<unsigned long long>(stats.clipped), FormatLevel(stats.truePeak).c_str(),
                format == RenderFormat::Wav16 || format == RenderFormat::Flac
                    ? " (--format float or wav24 keeps it whole)"
                    : " (this file keeps it whole)");
  if (stems)
    RenderStems(piece, *stems, stemFiles, format);
  return 0;
}

// Plays on the output at its rate; the piece is read again for that rate when it is not
// the one it was read for.
int Play(Loaded piece, AudioOutput output, unsigned period, const PatternOptions& again,
         const std::optional<std::filesystem::path>& record = std::nullopt) {
  if (record)
    CheckOutputTarget(*record, piece.inputs);
  std::optional<WavWriter> recording;
  PlayStats stats;
  {
    LivePlayback playback(output, piece.kit, period);
    if (playback.rate() != piece.timeline.rate) {
      PieceOptions options = again.piece;
      options.rate = playback.rate();
      piece = LoadPiece(again.kit, again.pattern, options);
    }
    if (record) {
      recording.emplace(*record, playback.rate(), 2, piece.inputs);
      playback.RecordTo(&*recording);
    }
    std::printf("playing %s with %s\n", piece.source.c_str(), piece.kit.source.c_str());
    std::fflush(stdout);
    stats = PlayLive(playback, piece.timeline);
  } // the output has played out all it was given
  if (recording) {
    recording->Close();
    std::printf("recorded    %s\n", std::filesystem::absolute(*record).string().c_str());
  }
  PrintSummary(piece, DistinctFiles(piece.kit), stats, false);
  return stats.interrupted ? kInterruptedStatus : 0;
}

AudioOutput ChosenOutput(const PatternOptions& options) {
  return ChosenAudioOutput(options.audio, options.nullOutput);
}

} // namespace

int RunRender(const PatternOptions& options) {
  std::optional<RenderFormat> format = ParseRenderFormat(options.format);
  if (!format)
    throw HostError("--format " + options.format + ": use wav16, wav24, float or flac");
  // A device or the kit itself as output is refused before anything is read.
  CheckOutputTarget(options.output, {options.kit, options.pattern});
  return Render(LoadPiece(options.kit, options.pattern, options.piece), options.output, *format,
                options.stems);
}

int RunPlay(const PatternOptions& options) {
  AudioOutput output = ChosenOutput(options);
  return Play(LoadPiece(options.kit, options.pattern, options.piece), output, options.period,
              options, options.record);
}

int RunDemo(const DemoOptions& options) {
  std::filesystem::path kitDirectory = options.kitDirectory.value_or(
      std::filesystem::absolute(options.output).parent_path() / "za32-demo-kit");
  AudioOutput output = options.live ? PlayingOutput(false) : AudioOutput::Manual;
  if (!options.live)
    CheckOutputTarget(options.output, {});
  DemoFiles files = WriteDemoKit(kitDirectory, options.force);
  std::printf("demo kit    %zu synthesised samples, kit.json and pattern.json in %s%s\n",
              files.samples.size(), std::filesystem::absolute(kitDirectory).string().c_str(),
              files.written ? "" : " (already there)");
  Loaded piece = LoadPiece(files.kit, files.pattern);
  size_t used = 0;
  for (const KitKey& key : piece.kit.keys)
    used += !key.sample.empty();
  std::printf("pattern     %d steps at %g beats a minute, %d steps a beat, %d times, with "
              "bend, pan, mute, hold and loop changes; %zu keys\n",
              piece.pattern.steps, piece.pattern.tempo, piece.pattern.stepsPerBeat,
              piece.pattern.repeat, used);
  if (options.live) {
    PatternOptions again;
    again.kit = files.kit;
    again.pattern = files.pattern;
    return Play(piece, output, 0, again);
  }
  int status = Render(piece, options.output);
  std::printf("listen to   %s\n", std::filesystem::absolute(options.output).string().c_str());
  return status;
}
