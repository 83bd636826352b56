#include "host/import/drumkit_import.h"

#include "host/files/kit_file.h"
#include "host/files/safe_output.h"
#include "host/host_error.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdint>
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

// Two 64-bit FNV-1a sums from different starting points: 128 bits, plenty to tell kits
// apart by their bytes.
struct Digest {
  uint64_t a = 0xcbf29ce484222325ull;
  uint64_t b = 0x84222325cbf29ce4ull;
  void Add(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i)
      Mix(bytes[i]);
    // The length too, so that moving bytes from one part to the next changes the sum.
    for (int i = 0; i < 8; ++i)
      Mix(static_cast<uint8_t>(uint64_t(size) >> (8 * i)));
  }
  void Add(const std::string& text) { Add(text.data(), text.size()); }
  void Mix(uint8_t byte) {
    a = (a ^ byte) * 0x100000001b3ull;
    b = (b ^ byte) * 0x100000001b3ull;
  }
};

// Changes whenever the import would write something else for the same kit.
constexpr const char* kImportVersion = "za32 import 1";

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text += (text.empty() ? "" : ", ") + name;
  return text;
}

} // namespace

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

DrumkitImport::DrumkitImport(const fs::path& source) : source_(source) {
  if (source_.kind() == ImportKind::Song)
    throw HostError(source_.xmlName() + ": a Hydrogen song, not a drumkit");
  kit_ = ParseDrumKit(source_.xml(), source_.xmlName());
  // As `za32 import`: what is there is imported, the rest left out.
  std::vector<std::string> missing = LeaveOutMissingSamples(
      kit_.instruments, [&](const DrumInstrument& instrument, const DrumLayer& layer) {
        return !layer.filename.empty() && source_.HasSample(layer.filename, instrument.drumkit);
      });
  plan_ = PlanKit(kit_.instruments, 1);
  if (plan_.kit.keys.empty())
    throw HostError(source_.xmlName() + ": no instrument has a sample to import" +
                    (missing.empty() ? "" : "; missing: " + Joined(missing)));
}

std::string DrumkitImport::ContentKey() const {
  Digest digest;
  digest.Add(kImportVersion);
  digest.Add(source_.xml());
  for (const SampleJob& job : plan_.samples) {
    const DrumInstrument& instrument = kit_.instruments[job.instrument];
    const DrumLayer& layer = instrument.layers[job.layer];
    digest.Add(layer.filename);
    std::vector<char> bytes = source_.ReadSample(layer.filename, instrument.drumkit);
    digest.Add(bytes.data(), bytes.size());
  }
  char hex[33];
  std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(digest.a),
                static_cast<unsigned long long>(digest.b));
  return hex;
}

void DrumkitImport::WriteInto(const fs::path& folder) const {
  WriteImport(source_, plan_, kit_.instruments, folder);
}
