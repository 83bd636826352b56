// import: a Hydrogen drumkit or song made into a kit file, WAV samples and a pattern file.
#include "host/commands/commands.h"
#include "host/files/json_file.h"
#include "host/files/kit_file.h"

#include "host/host_error.h"
#include "host/import/drumkit_import.h"
#include "kit/json_fields.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace fs = std::filesystem;

namespace {

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text += (text.empty() ? "" : ", ") + name;
  return text;
}
} // namespace

int RunImport(const ImportOptions& options) {
  ImportSource source(options.source);
  // Everything is read and checked before DIR is made.
  SongFile song;
  DrumKitFile kit;
  if (source.kind() == ImportKind::Song)
    song = ParseSong(source.xml(), source.xmlName());
  else
    kit = ParseDrumKit(source.xml(), source.xmlName());
  std::vector<DrumInstrument>& instruments =
      source.kind() == ImportKind::Song ? song.instruments : kit.instruments;
  // Downloaded kits often lack a file or two: what is there is imported, the rest named.
  std::vector<std::string> missing = LeaveOutMissingSamples(
      instruments, [&](const DrumInstrument& instrument, const DrumLayer& layer) {
        return !layer.filename.empty() && source.HasSample(layer.filename, instrument.drumkit);
      });
  KitPlan plan = PlanKit(instruments, source.kind() == ImportKind::Song ? song.volume : 1);
  if (plan.kit.keys.empty())
    throw HostError(source.xmlName() + ": no instrument has a sample to import" +
                    (missing.empty() ? "" : "; missing: " + Joined(missing)));
  size_t dropped = 0;
  nlohmann::ordered_json pattern;
  if (source.kind() == ImportKind::Song)
    pattern = SongToPattern(song, plan, dropped);

  // DIR is ours only if we make it: an existing folder is never written into.
  const fs::path& folder = options.output;
  std::error_code error;
  if (fs::exists(fs::symlink_status(folder, error)))
    throw HostError(folder.string() + ": already exists; import writes a new folder only");
  if (!fs::create_directory(folder, error))
    throw HostError(folder.string() + ": cannot create the folder: " +
                    (error ? error.message() : "it already exists"));
  try {
    WriteImport(source, plan, instruments, folder);
    if (source.kind() == ImportKind::Song)
      WriteJsonFile(pattern, folder / "pattern.json");
  } catch (...) {
    fs::remove_all(folder, error);
    throw;
  }

  std::printf("imported    %s: %zu instruments on %zu keys into %s\n", source.xmlName().c_str(),
              plan.keysOf.size(), plan.kit.keys.size(),
              fs::absolute(folder / "kit.json").string().c_str());
  if (!plan.leftOut.empty())
    std::printf("left out    %zu instruments beyond a kit's %zu keys: %s\n",
                plan.leftOut.size(), kMaxKitKeys, Joined(plan.leftOut).c_str());
  if (!plan.layersLeftOut.empty())
    std::printf("left out    layers, for want of keys: %s\n", Joined(plan.layersLeftOut).c_str());
  if (source.kind() == ImportKind::Song) {
    std::printf("pattern     %s\n", fs::absolute(folder / "pattern.json").string().c_str());
    if (dropped)
      std::printf("dropped     %zu notes of instruments left out\n", dropped);
  }
  std::vector<std::string> unplayable = song.unplayable;
  if (source.kind() == ImportKind::Drumkit) {
    for (const DrumInstrument& instrument : kit.instruments)
      for (const std::string& what : instrument.unplayable)
        if (std::find(unplayable.begin(), unplayable.end(), what) == unplayable.end())
          unplayable.push_back(what);
  }
  if (!missing.empty())
    std::fprintf(stderr, "za32: warning: samples missing, left out: %s\n", Joined(missing).c_str());
  if (!unplayable.empty())
    std::fprintf(stderr, "za32: warning: not imported (the engine cannot play them): %s\n",
                 Joined(unplayable).c_str());
  return 0;
}
