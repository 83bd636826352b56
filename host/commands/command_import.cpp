// import: a Hydrogen drumkit or song made into a kit file, WAV samples and a pattern file.
#include "host/commands/commands.h"
#include "host/files/json_file.h"
#include "host/files/kit_file.h"

#include "host/files/safe_output.h"
#include "host/host_error.h"
#include "host/import/hydrogen_files.h"
#include "host/import/import_mapping.h"
#include "host/import/import_source.h"
#include "kit/json_fields.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace fs = std::filesystem;

namespace {

// libsndfile reading a sample held in memory.
struct Memory {
  const std::vector<char>* bytes;
  sf_count_t at = 0;
};

sf_count_t MemoryLength(void* data) {
  return static_cast<sf_count_t>(static_cast<Memory*>(data)->bytes->size());
}

sf_count_t MemorySeek(sf_count_t offset, int whence, void* data) {
  auto* m = static_cast<Memory*>(data);
  sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->at : MemoryLength(data);
  m->at = std::clamp<sf_count_t>(base + offset, 0, MemoryLength(data));
  return m->at;
}

sf_count_t MemoryRead(void* out, sf_count_t count, void* data) {
  auto* m = static_cast<Memory*>(data);
  sf_count_t n = std::clamp<sf_count_t>(MemoryLength(data) - m->at, 0, count);
  std::memcpy(out, m->bytes->data() + m->at, static_cast<size_t>(n));
  m->at += n;
  return n;
}

sf_count_t MemoryWrite(const void*, sf_count_t, void*) {
  return 0;
}

sf_count_t MemoryTell(void* data) {
  return static_cast<Memory*>(data)->at;
}

// The PCM depths the device plays are kept; anything else (float, compressed) becomes
// 16-bit PCM.
int WavSubtype(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
  case SF_FORMAT_PCM_S8:
  case SF_FORMAT_PCM_U8:
    return SF_FORMAT_PCM_U8;
  case SF_FORMAT_PCM_24:
    return SF_FORMAT_PCM_24;
  case SF_FORMAT_PCM_32:
    return SF_FORMAT_PCM_32;
  default:
    return SF_FORMAT_PCM_16;
  }
}

void ConvertSample(const std::vector<char>& bytes, const std::string& name, const fs::path& out) {
  Memory memory{&bytes};
  SF_VIRTUAL_IO io{MemoryLength, MemorySeek, MemoryRead, MemoryWrite, MemoryTell};
  SF_INFO info{};
  SNDFILE* in = sf_open_virtual(&io, SFM_READ, &info, &memory);
  if (!in)
    throw HostError(name + ": not a sound file libsndfile can read: " + sf_strerror(nullptr));
  SF_INFO outInfo{};
  outInfo.samplerate = info.samplerate;
  outInfo.channels = info.channels;
  outInfo.format = SF_FORMAT_WAV | WavSubtype(info.format);
  SafeOutput output(out);
  SNDFILE* file = sf_open(output.temporary().c_str(), SFM_WRITE, &outInfo);
  if (!file) {
    sf_close(in);
    throw HostError(out.string() + ": cannot create the file: " + sf_strerror(nullptr));
  }
  bool integer = (outInfo.format & SF_FORMAT_SUBMASK) == WavSubtype(info.format) &&
                 (info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_FLOAT &&
                 (info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_DOUBLE;
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  std::vector<int> whole(size_t(16384) * info.channels);
  std::vector<double> real(whole.size());
  bool ok = true;
  for (;;) {
    // Integers carry PCM over bit for bit; other sources go through real numbers.
    sf_count_t frames =
        integer ? sf_readf_int(in, whole.data(), 16384) : sf_readf_double(in, real.data(), 16384);
    if (frames <= 0)
      break;
    sf_count_t written = integer ? sf_writef_int(file, whole.data(), frames)
                                 : sf_writef_double(file, real.data(), frames);
    if (written != frames) {
      ok = false;
      break;
    }
  }
  ok = sf_error(in) == 0 && ok;
  sf_close(in);
  ok = sf_close(file) == 0 && ok;
  if (!ok)
    throw HostError(name + ": cannot convert it into " + out.string());
  output.Commit();
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text += (text.empty() ? "" : ", ") + name;
  return text;
}

void WriteImport(const ImportSource& source, const KitPlan& plan,
                 const std::vector<DrumInstrument>& instruments, const fs::path& folder) {
  fs::create_directory(folder / "samples");
  for (const SampleJob& job : plan.samples) {
    const DrumInstrument& instrument = instruments[job.instrument];
    const DrumLayer& layer = instrument.layers[job.layer];
    std::vector<char> bytes = source.ReadSample(layer.filename, instrument.drumkit);
    ConvertSample(bytes, source.xmlName() + ": sample " + layer.filename,
                  folder / plan.kit.keys[job.key].sample);
  }
  SaveKit(plan.kit, folder / "kit.json");
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
    std::printf("left out    %zu instruments beyond the engine's %d keys: %s\n",
                plan.leftOut.size(), ZA32_KEYS, Joined(plan.leftOut).c_str());
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
