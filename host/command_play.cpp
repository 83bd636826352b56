// demo, render and play: a kit and a pattern played on the engine.
#include "commands.h"

#include "demo_kit.h"
#include "engine_session.h"
#include "host_error.h"
#include "interrupt.h"
#include "player.h"

#include <cstdio>

namespace {

struct Loaded {
  Kit kit;
  Pattern pattern;
  Timeline timeline;
  std::vector<std::filesystem::path> inputs; // kit, pattern and samples
};

Loaded LoadPiece(const std::filesystem::path& kitFile, const std::filesystem::path& patternFile) {
  Loaded piece{LoadKit(kitFile), LoadPattern(patternFile), {}, {kitFile, patternFile}};
  CheckKitSamplesExist(piece.kit);
  piece.timeline = BuildTimeline(piece.kit, piece.pattern);
  for (const std::filesystem::path& sample : KitFiles(piece.kit))
    piece.inputs.push_back(sample);
  return piece;
}

void PrintSummary(const Loaded& piece, size_t files, const PlayStats& stats, bool offline) {
  std::printf("length      %s (%llu frames at %u Hz)%s\n", FormatDuration(stats.frames).c_str(),
              static_cast<unsigned long long>(stats.frames), kOutputRate,
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
                double(stats.frames) / kOutputRate / stats.seconds);
}

int Render(const Loaded& piece, const std::filesystem::path& output) {
  // The output is checked and begun before the engine starts, so a bad path costs nothing.
  WavWriter writer(output, kOutputRate, 2, piece.inputs);
  EngineSession engine(AudioOutput::Manual);
  size_t files = engine.InstallKit(piece.kit);
  PlayStats stats;
  try {
    stats = RenderOffline(engine, piece.timeline, writer);
  } catch (const InterruptedError&) {
    throw InterruptedError("interrupted; " + output.string() + " left as it was");
  }
  writer.Close();
  std::printf("wrote       %s\n", std::filesystem::absolute(output).string().c_str());
  PrintSummary(piece, files, stats, true);
  return 0;
}

int Play(const Loaded& piece, AudioOutput output) {
  EngineSession engine(output);
  size_t files = engine.InstallKit(piece.kit);
  std::printf("playing %s with %s\n", piece.pattern.source.c_str(), piece.kit.source.c_str());
  std::fflush(stdout);
  PlayStats stats = PlayLive(engine, piece.timeline);
  PrintSummary(piece, files, stats, false);
  return stats.interrupted ? kInterruptedStatus : 0;
}

} // namespace

int RunRender(const PatternOptions& options) {
  // A device or the kit itself as output is refused before anything is read.
  CheckOutputTarget(options.output, {options.kit, options.pattern});
  return Render(LoadPiece(options.kit, options.pattern), options.output);
}

int RunPlay(const PatternOptions& options) {
  AudioOutput output = PlayingOutput(options.nullOutput);
  return Play(LoadPiece(options.kit, options.pattern), output);
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
  if (options.live)
    return Play(piece, output);
  int status = Render(piece, options.output);
  std::printf("listen to   %s\n", std::filesystem::absolute(options.output).string().c_str());
  return status;
}
