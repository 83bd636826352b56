// audition, ratetest, browse and keymap: the engine's services besides playing.
#include "commands.h"

#include "engine_session.h"
#include "host_error.h"
#include "kit.h"
#include "player.h"

#include "platform/emul/dsound/device_control.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <thread>

#include <nlohmann/json.hpp>

int RunAudition(const AuditionOptions& options) {
  if (options.file.size() >= sizeof(KeyRecord::SampleName))
    throw HostError(options.file + ": the name is longer than the engine's 255 characters");
  std::error_code error;
  if (!std::filesystem::is_regular_file(options.file, error))
    throw HostError(options.file + ": no such file");
  std::optional<WavWriter> writer;
  if (options.output)
    writer.emplace(*options.output, kOutputRate, 2);
  EngineSession engine(options.output ? AudioOutput::Manual : AudioOutput::Live);
  LONG result = StartAudition(options.file.c_str());
  engine.Pump();
  if (result == -1)
    throw HostError(options.file + ": the engine could not load it for auditioning");
  uint64_t frames = static_cast<uint64_t>(std::llround(options.seconds * kOutputRate));
  if (writer) {
    Timeline nothing;
    nothing.frames = frames;
    PlayStats stats = RenderOffline(engine, nothing, *writer);
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
  auto end = std::chrono::steady_clock::now() +
             std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                 std::chrono::duration<double>(options.seconds));
  while (std::chrono::steady_clock::now() < end) {
    engine.Pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  StopAudition(0);
  engine.Pump();
  return 0;
}

int RunRateTest(const RateTestOptions& options) {
  EngineSession engine(options.nullOutput ? AudioOutput::Null : AudioOutput::Live);
  std::printf("measuring for %d s after one second to settle...\n", options.seconds);
  std::fflush(stdout);
  LONG bytes = StartTest(0, options.seconds);
  engine.Pump();
  constexpr double kNominal = 176400; // 44,100 Hz, 16-bit stereo
  std::printf("played      %ld bytes in %d s\n", static_cast<long>(bytes), options.seconds);
  if (options.seconds > 0 && bytes > 0) {
    double rate = double(bytes) / options.seconds;
    std::printf("rate        %.0f bytes a second, %.0f Hz (%.2f%% of the nominal 176400)\n", rate,
                rate / 4, rate / kNominal * 100);
  }
  return 0;
}

int RunBrowse(const BrowseOptions& options) {
  char directory[MAX_PATH + 20] = {};
  if (options.directory && !SetDirectory(options.directory->c_str()))
    throw HostError(*options.directory + ": cannot enter the directory");
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
    std::ifstream in(options.input, std::ios::binary);
    if (!in)
      throw HostError(options.input.string() + ": cannot open the key map");
    KeyMapBytes records{};
    in.read(reinterpret_cast<char*>(records.data()), sizeof records);
    if (in.gcount() != static_cast<std::streamsize>(sizeof records) || in.get() != EOF)
      throw HostError(options.input.string() + ": a key map is exactly " +
                      std::to_string(sizeof records) + " bytes (25 key records of " +
                      std::to_string(sizeof(KeyRecord)) + ")");
    Kit kit = FromKeyRecords(records, options.input.string());
    if (options.output) {
      SaveKit(kit, *options.output);
      std::printf("wrote %s: %zu keys\n", options.output->string().c_str(), kit.keys.size());
    } else {
      std::cout << KitToJson(kit).dump(2) << '\n';
    }
    return 0;
  }
  if (!options.output)
    throw HostError("give the key map file to write with -o");
  Kit kit = LoadKit(options.input);
  if (options.asWritten)
    kit.directory.clear();
  KeyMapBytes records = ToKeyRecords(kit);
  std::ofstream out(*options.output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(records.data()), sizeof records);
  out.close();
  if (!out)
    throw HostError(options.output->string() + ": cannot write the key map");
  std::printf("wrote %s: %zu bytes, %zu keys\n", options.output->string().c_str(), sizeof records,
              kit.keys.size());
  return 0;
}
