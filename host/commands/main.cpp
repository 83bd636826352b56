// za32: the command-line host of the ZA32 engine.
#include "host/commands/commands.h"
#include "host/files/interrupt.h"
#include "host/host_error.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

namespace {

void AddPieceOptions(CLI::App& command, PieceOptions& piece) {
  command
      .add_option_function<int>(
          "--channel", [&piece](int channel) { piece.channel = channel - 1; },
          "MIDI files: play only this channel, 1 to 16 (default: all)")
      ->check(CLI::Range(1, 16));
  command
      .add_option("--tail", piece.tail,
                  "Seconds to play after the end (MIDI default: until the sound has died "
                  "away, at most 10 s)")
      ->check(CLI::Range(0.0, 3600.0));
}

// The real-time output of play and live.
void AddOutputOptions(CLI::App& command, std::string& audio, unsigned& period,
                      std::optional<std::filesystem::path>& record) {
  command
      .add_option("--audio", audio,
                  "Sound output: sdl, jack or null (default: ZA32_AUDIO, else sdl)")
      ->check(CLI::IsMember({"sdl", "jack", "null"}));
  command
      .add_option("--period", period,
                  "Frames a period on sdl and null (default 128); JACK's is the server's")
      ->check(CLI::Range(16u, 8192u));
  command.add_option("--record", record, "Also write exactly what is played to this WAV file");
}

} // namespace

int main(int argc, char** argv) {
  CLI::App app{"za32: plays and renders kits of WAV samples on the ZA32 sound engine", "za32"};
  app.require_subcommand(1);
  std::function<int()> run;

  DemoOptions demo;
  CLI::App* demoCommand =
      app.add_subcommand("demo", "Synthesise a small kit, play a groove on it and write it to "
                                 "a WAV file (or play it live)");
  demoCommand->add_option("-o,--output", demo.output, "WAV file to write")->capture_default_str();
  demoCommand->add_option("--kit-dir", demo.kitDirectory,
                          "Where the kit's samples, kit.json and pattern.json go (default: "
                          "za32-demo-kit beside the output)");
  demoCommand->add_flag("--live", demo.live, "Play on the sound card instead of rendering");
  demoCommand->add_flag("--force", demo.force,
                        "Overwrite kit files that differ from the demo's (edited by you, or "
                        "not the demo's at all)");
  demoCommand->callback([&] { run = [&] { return RunDemo(demo); }; });

  PatternOptions render;
  CLI::App* renderCommand = app.add_subcommand(
      "render", "Render a pattern played on a kit into a WAV file, faster than real time");
  renderCommand->add_option("KIT", render.kit, "Kit file (JSON)")->required();
  renderCommand->add_option("PATTERN", render.pattern, "Pattern file (JSON) or MIDI file")
      ->required();
  renderCommand->add_option("-o,--output", render.output, "File to write")->required();
  renderCommand
      ->add_option("--format", render.format,
                   "wav16 (16-bit WAV), wav24 (24-bit WAV), float (32-bit float WAV) or flac")
      ->capture_default_str();
  renderCommand->add_option("--stems", render.stems,
                            "Also write each key alone, one file a key, into this folder");
  renderCommand->add_option("--rate", render.piece.rate, "Output frames a second, 22050 to 192000")
      ->check(CLI::Range(22050u, 192000u))
      ->capture_default_str();
  AddPieceOptions(*renderCommand, render.piece);
  renderCommand->callback([&] { run = [&] { return RunRender(render); }; });

  PatternOptions play;
  CLI::App* playCommand =
      app.add_subcommand("play", "Play a pattern on a kit live through the sound card");
  playCommand->add_option("KIT", play.kit, "Kit file (JSON)")->required();
  playCommand->add_option("PATTERN", play.pattern, "Pattern file (JSON) or MIDI file")->required();
  AddPieceOptions(*playCommand, play.piece);
  playCommand->add_flag("--null", play.nullOutput,
                        "Keep time without a sound card (the sound goes nowhere)");
  AddOutputOptions(*playCommand, play.audio, play.period, play.record);
  playCommand->callback([&] { run = [&] { return RunPlay(play); }; });

  LiveOptions live;
  CLI::App* liveCommand = app.add_subcommand(
      "live", "Play a kit from a MIDI controller or program, through a MIDI input port named "
              "za32, until Ctrl-C");
  liveCommand->add_option("KIT", live.kit, "Kit file (JSON)")->required();
  liveCommand
      ->add_option("--midi", live.midi,
                   "MIDI input: alsa (the sequencer) or jack (default: alsa where "
                   "/dev/snd/seq exists, else jack)")
      ->check(CLI::IsMember({"alsa", "jack"}));
  liveCommand->add_option("--connect", live.connect,
                          "Connect this source port to the input (ALSA: part of its name; "
                          "JACK: its full name, as client:port)");
  AddOutputOptions(*liveCommand, live.audio, live.period, live.record);
  liveCommand->callback([&] { run = [&] { return RunLive(live); }; });

  AuditionOptions audition;
  CLI::App* auditionCommand =
      app.add_subcommand("audition", "Preview a WAV file, looping, as a sample browser does");
  auditionCommand->add_option("FILE", audition.file, "WAV file")->required();
  auditionCommand->add_option("--seconds", audition.seconds, "How long to listen")
      ->capture_default_str()
      ->check(CLI::Validator(
          [](std::string& text) {
            // A range check alone lets "nan" through: every comparison with it is false.
            double value = 0;
            try {
              value = std::stod(text);
            } catch (...) {
              return std::string("not a number: " + text);
            }
            return std::isfinite(value) && value >= 0 && value <= 3600
                       ? std::string()
                       : "must be a number from 0 to 3600 (got " + text + ")";
          },
          "0..3600"));
  auditionCommand->add_option("-o,--output", audition.output,
                              "Render the audition into this WAV file instead");
  auditionCommand->callback([&] { run = [&] { return RunAudition(audition); }; });

  RateTestOptions rate;
  CLI::App* rateCommand =
      app.add_subcommand("ratetest", "Measure how many bytes a second the sound card really plays");
  rateCommand->add_option("--seconds", rate.seconds, "Measuring time")
      ->capture_default_str()
      ->check(CLI::Range(0, 600));
  rateCommand->add_flag("--null", rate.nullOutput, "Measure the wall-clock output instead");
  rateCommand->callback([&] { run = [&] { return RunRateTest(rate); }; });

  BrowseOptions browse;
  CLI::App* browseCommand = app.add_subcommand(
      "browse", "List a directory as the sample browser sees it: folders, WAV files, drives");
  browseCommand->add_option("DIR", browse.directory, "Directory to enter first");
  browseCommand->add_flag("--cd", browse.cd, "Go to the sample directory of the CD-ROM");
  browseCommand->callback([&] { run = [&] { return RunBrowse(browse); }; });

  std::vector<std::string> wavFiles;
  CLI::App* wavCommand =
      app.add_subcommand("wavinfo", "Read WAV files as the engine does: result code and format");
  wavCommand->add_option("FILE", wavFiles, "WAV files")->required();
  wavCommand->callback([&] { run = [&] { return RunWavInfo(wavFiles); }; });

  KeyMapOptions keymap;
  CLI::App* keymapCommand = app.add_subcommand(
      "keymap", "Convert a kit file to the 7,800-byte key map hosts pass to the engine, or "
                "back with --to-kit");
  keymapCommand->add_option("INPUT", keymap.input, "Kit file, or key map with --to-kit")
      ->required();
  keymapCommand->add_option("-o,--output", keymap.output,
                            "File to write (with --to-kit: standard output if not given)");
  keymapCommand->add_flag("--to-kit", keymap.toKit, "Convert a key map into a kit file");
  keymapCommand->add_flag("--as-written", keymap.asWritten,
                          "Keep relative sample paths as written instead of resolving them "
                          "against the kit's directory");
  keymapCommand->callback([&] { run = [&] { return RunKeyMap(keymap); }; });

  ImportOptions import;
  CLI::App* importCommand = app.add_subcommand(
      "import", "Make a Hydrogen drumkit or song into a kit file, WAV samples and (for a song) "
                "a pattern file in a new folder");
  importCommand
      ->add_option("SOURCE", import.source,
                   "Drumkit folder, drumkit.xml, .h2drumkit archive or .h2song file")
      ->required();
  importCommand->add_option("-o,--output", import.output, "New folder to write")->required();
  importCommand->callback([&] { run = [&] { return RunImport(import); }; });

  if (argc > 1 && argv[1][0] != '-') {
    bool known = false;
    std::string names;
    for (const CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
      known = known || command->get_name() == argv[1];
      names += (names.empty() ? "" : ", ") + command->get_name();
    }
    if (!known) {
      std::fprintf(stderr, "za32: unknown command '%s' (commands: %s; za32 --help)\n", argv[1],
                   names.c_str());
      return 2;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  CatchInterrupts();
  int status = 1;
  try {
    status = run();
  } catch (const InterruptedError& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "za32: %s\n", e.what());
    return kInterruptedStatus;
  } catch (const KitError& e) { // and HostError, which is one
    std::fflush(stdout);
    std::fprintf(stderr, "za32: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "za32: unexpected failure: %s\n", e.what());
    return 3;
  }
  // A full disk or a closed pipe must not pass for success.
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "za32: cannot write to standard output%s%s\n", errno ? ": " : "",
                 errno ? std::strerror(errno) : "");
    return 1;
  }
  return status;
}
