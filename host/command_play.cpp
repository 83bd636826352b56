// demo, render and play: a kit and a pattern played on the engine.
#include "commands.h"

#include "demo_kit.h"
#include "engine_session.h"
#include "host_error.h"
#include "player.h"

#include <cstdio>

namespace {

struct Loaded {
  Kit kit;
  Pattern pattern;
  Timeline timeline;
};

Loaded LoadPiece(const std::filesystem::path& kitFile, const std::filesystem::path& patternFile) {
  Loaded piece{LoadKit(kitFile), LoadPattern(patternFile), {}};
  CheckKitSamplesExist(piece.kit);
  piece.timeline = BuildTimeline(piece.kit, piece.pattern);
  return piece;
}

void PrintSummary(const Loaded& piece, size_t files, const PlayStats& stats, bool offline) {
  std::printf("length      %s (%llu frames at %u Hz)\n", FormatDuration(stats.frames).c_str(),
              static_cast<unsigned long long>(stats.frames), kOutputRate);
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

// Writing the output over one of the kit's samples would destroy it before it is read.
void CheckOutputIsNoSample(const Kit& kit, const std::filesystem::path& output) {
  std::error_code error;
  if (!std::filesystem::exists(output, error))
    return;
  for (const KitKey& key : kit.keys)
    if (!key.sample.empty() &&
        std::filesystem::equivalent(output, ResolvedSamplePath(kit, key), error))
      throw HostError(output.string() + ": is a sample of the kit " + kit.source +
                      "; choose another output file");
}

int Render(const Loaded& piece, const std::filesystem::path& output) {
  CheckOutputIsNoSample(piece.kit, output);
  // Check the output before the engine starts, so a bad path costs nothing.
  WavWriter writer(output, kOutputRate, 2);
  EngineSession engine(AudioOutput::Manual);
  size_t files = engine.InstallKit(piece.kit);
  PlayStats stats = RenderOffline(engine, piece.timeline, writer);
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
  return 0;
}

} // namespace

int RunRender(const PatternOptions& options) {
  return Render(LoadPiece(options.kit, options.pattern), options.output);
}

int RunPlay(const PatternOptions& options) {
  return Play(LoadPiece(options.kit, options.pattern),
              options.nullOutput ? AudioOutput::Null : AudioOutput::Live);
}

int RunDemo(const DemoOptions& options) {
  std::filesystem::path kitDirectory = options.kitDirectory.value_or(
      std::filesystem::absolute(options.output).parent_path() / "za32-demo-kit");
  DemoFiles files = WriteDemoKit(kitDirectory);
  std::printf("demo kit    %zu synthesised samples, kit.json and pattern.json in %s\n",
              files.samples.size(), std::filesystem::absolute(kitDirectory).string().c_str());
  Loaded piece = LoadPiece(files.kit, files.pattern);
  size_t used = 0;
  for (const KitKey& key : piece.kit.keys)
    used += !key.sample.empty();
  std::printf("pattern     %d steps at %g beats a minute, %d steps a beat, %d times, with "
              "bend, pan, mute, hold and loop changes; %zu keys\n",
              piece.pattern.steps, piece.pattern.tempo, piece.pattern.stepsPerBeat,
              piece.pattern.repeat, used);
  if (options.live)
    return Play(piece, AudioOutput::Live);
  int status = Render(piece, options.output);
  std::printf("listen to   %s\n", std::filesystem::absolute(options.output).string().c_str());
  return status;
}
