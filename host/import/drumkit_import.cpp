#include "host/import/drumkit_import.h"

#include "host/host_error.h"

#include <cstdint>
#include <cstdio>

namespace fs = std::filesystem;

namespace {

// Two 64-bit FNV-1a sums from different starting points: 128 bits, plenty to tell kits
// apart by their bytes.
struct Digest {
  uint64_t a = 0xcbf29ce484222325ull;
  uint64_t b = 0x84222325cbf29ce4ull;
  void Add(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
      a = (a ^ bytes[i]) * 0x100000001b3ull;
      b = (b ^ bytes[i]) * 0x100000001b3ull;
    }
    // The length too, so that moving bytes from one part to the next changes the sum.
    uint64_t length = size;
    for (int i = 0; i < 8; ++i) {
      a = (a ^ ((length >> (8 * i)) & 0xFF)) * 0x100000001b3ull;
      b = (b ^ ((length >> (8 * i)) & 0xFF)) * 0x100000001b3ull;
    }
  }
  void Add(const std::string& text) { Add(text.data(), text.size()); }
};

// Changes whenever the import would write something else for the same kit.
constexpr const char* kImportVersion = "za32 import 1";

} // namespace

DrumkitImport::DrumkitImport(const fs::path& source) : source_(source) {
  if (source_.kind() == ImportKind::Song)
    throw HostError(source_.xmlName() + ": a Hydrogen song, not a drumkit");
  kit_ = ParseDrumKit(source_.xml(), source_.xmlName());
  plan_ = PlanKit(kit_.instruments);
  if (plan_.kit.keys.empty())
    throw HostError(source_.xmlName() + ": no instrument has a sample to import");
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
