// audition, ratetest, browse and keymap: the engine's services besides playing.
#include "host/commands/commands.h"
#include "host/files/kit_file.h"

#include "host/files/input_file.h"
#include "host/files/interrupt.h"
#include "host/files/safe_output.h"
#include "host/host_error.h"
#include "host/outputs/engine_session.h"
#include "host/outputs/player.h"
#include "kit/kit_model.h"

#include "platform/emul/dsound/device_control.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

int RunAudition(const AuditionOptions& options) {
  if (options.file.size() >= sizeof(KeyRecord::SampleName))
    throw HostError(options.file + ": the name is longer than the engine's 255 characters");
  if (options.output)
    CheckOutputTarget(*options.output, {options.file});
  CheckWaveInput(options.file, "WAV file");
  std::optional<WavWriter> writer;
  if (options.output)
    writer.emplace(*options.output, kOutputRate, 2,
                   std::vector<std::filesystem::path>{options.file});
  EngineSession engine(options.output ? AudioOutput::Manual : PlayingOutput(false));
  LONG result = StartAudition(options.file.c_str());
  engine.Pump();
  if (result == -1)
    throw HostError(options.file + ": the engine could not load it for auditioning");
  uint64_t frames = static_cast<uint64_t>(std::llround(options.seconds * kOutputRate));
  if (writer) {
    PlayStats stats;
    try {
      stats = RenderDevice(frames, *writer);
    } catch (const InterruptedError&) {
      throw InterruptedError("interrupted; " + options.output->string() + " left as it was");
    }
    StopAudition(0);
    engine.Pump();
    writer->Close();
    std::printf("auditioned %s for %s into %s (peak %s)\n", options.file.c_str(),
                FormatDuration(stats.frames).c_str(),
                std::filesystem::absolute(*options.output).string().c_str(),
                FormatPeak(stats.peak).c_str());
    return 0;
  }
  std::printf("auditioning %s for %g s\n", options.file.c_str(), options.seconds);
  std::fflush(stdout);
  auto start = std::chrono::steady_clock::now();
  auto end = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         std::chrono::duration<double>(options.seconds));
  while (std::chrono::steady_clock::now() < end && !Interrupted()) {
    engine.Pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  StopAudition(0);
  engine.Pump();
  if (!Interrupted())
    return 0;
  std::printf("stopped after %.1f s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return kInterruptedStatus;
}

int RunRateTest(const RateTestOptions& options) {
  EngineSession engine(PlayingOutput(options.nullOutput));
  std::printf("measuring for %d s after one second to settle...\n", options.seconds);
  std::fflush(stdout);
  LONG bytes = StartTest(0, options.seconds);
  engine.Pump();
  dsemu::Output used = dsemu::Output::Live;
  bool running = dsemu::RunningOutput(&used);
  constexpr double kNominal = 176400; // 44,100 Hz, 16-bit stereo
  std::printf("played      %ld bytes in %d s\n", static_cast<long>(bytes), options.seconds);
  if (options.seconds > 0 && bytes > 0) {
    double rate = double(bytes) / options.seconds;
    std::printf("rate        %.0f bytes a second, %.0f Hz (%.2f%% of the nominal 176400)\n", rate,
                rate / 4, rate / kNominal * 100);
  }
  // Without a card the figure is only the wall clock's pace, which says nothing of any card.
  if (!running || used != dsemu::Output::Live)
    std::printf("measured    the null clock, not a sound card: the rate above is the "
                "computer's own clock\n");
  else
    std::printf("measured    the sound card\n");
  return 0;
}

int RunBrowse(const BrowseOptions& options) {
  char directory[MAX_PATH + 20] = {};
  if (options.directory && !SetDirectory(options.directory->c_str())) {
    std::error_code error;
    auto status = std::filesystem::status(*options.directory, error);
    std::string why = error                                    ? error.message()
                      : !std::filesystem::is_directory(status) ? std::strerror(ENOTDIR)
                                                               : "the engine refused it";
    throw HostError(*options.directory + ": cannot enter the directory: " + why);
  }
  if (options.cd) {
    directory[0] = static_cast<char>(0xFF);
    char drive[8] = {};
    if (!FindCD(drive))
      std::fprintf(stderr, "za32: no CD-ROM drive; staying in the current directory\n");
    if (!GetDirectory(directory))
      throw HostError(std::string(directory) + ": cannot enter the CD's sample directory");
  } else if (!GetDirectory(directory)) {
    throw HostError("cannot read the current directory");
  }
  std::printf("%s\n", directory);
  // The sized form of GetFileList: ask for the size, then for the list. The directory
  // may grow in between, so ask again until it fits.
  std::vector<char> list;
  for (LONG result = GetFileListEx(nullptr, 0);;
       result = GetFileListEx(list.data(), DWORD(list.size()))) {
    if (result == 0) {
      std::printf("  (no entries)\n");
      return 0;
    }
    if (result > 0 && !list.empty())
      break;
    list.assign(result < 0 ? size_t(-(long long)result) : 1, '\0');
  }
  for (const char* entry = list.data(); *entry && entry < list.data() + list.size();
       entry += std::strlen(entry) + 1)
    std::printf("  %s\n", entry);
  return 0;
}

int RunKeyMap(const KeyMapOptions& options) {
  if (options.toKit) {
    std::filesystem::path output = options.output.value_or("-");
    CheckOutputTarget(output, {options.input}, true);
    KeyMapBytes records{};
    std::string bytes = ReadInputFile(options.input, "key map", sizeof records);
    if (bytes.size() != sizeof records)
      throw HostError(options.input.string() + ": a key map is exactly " +
                      std::to_string(sizeof records) + " bytes (25 key records of " +
                      std::to_string(sizeof(KeyRecord)) + ")");
    std::memcpy(records.data(), bytes.data(), sizeof records);
    Kit kit = FromKeyRecords(records, options.input.string());
    SaveKit(kit, output, {options.input}, true);
    if (output != "-")
      std::printf("wrote %s: %zu keys\n", output.string().c_str(), kit.keys.size());
    return 0;
  }
  if (!options.output)
    throw HostError("give the key map file to write with -o (- for standard output)");
  CheckOutputTarget(*options.output, {options.input}, true);
  Kit kit = LoadKit(options.input);
  if (kit.keys.size() > ZA32_KEYS)
    throw HostError(options.input.string() + ": has " + std::to_string(kit.keys.size()) +
                    " keys; a key map holds the engine's " + std::to_string(ZA32_KEYS));
  if (options.asWritten)
    kit.directory.clear();
  std::vector<std::filesystem::path> inputs = KitFiles(kit);
  inputs.push_back(options.input);
  KeyMapBytes records = ToKeyRecords(kit, SampleNames::Windows1252);
  SafeOutput out(*options.output, inputs, true);
  out.Write(records.data(), sizeof records);
  out.Commit();
  if (!out.standardOutput())
    std::printf("wrote %s: %zu bytes, %zu keys\n", options.output->string().c_str(), sizeof records,
                kit.keys.size());
  return 0;
}
