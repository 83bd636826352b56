// A Hydrogen drumkit imported as `za32 import` imports it, for programs that keep the
// result themselves (the LV2 plugin, in its cache): read and mapped at construction,
// written on request into a folder the caller owns.
#pragma once

#include "host/import/hydrogen_files.h"
#include "host/import/import_mapping.h"
#include "host/import/import_source.h"

#include <filesystem>
#include <string>
#include <vector>

class DrumkitImport {
public:
  // Reads the drumkit (its folder, drumkit.xml or a .h2drumkit) and maps it to keys.
  // HostError naming the file and the reason when it is not a kit that can be imported.
  explicit DrumkitImport(const std::filesystem::path& source);

  // A digest (32 hex digits) of everything the import depends on: the XML, the bytes of
  // every sample it takes, and the import's own version.
  std::string ContentKey() const;

  // Writes kit.json and samples/ into `folder`, which exists and is empty.
  void WriteInto(const std::filesystem::path& folder) const;

private:
  ImportSource source_;
  DrumKitFile kit_;
  KitPlan plan_;
};

// The samples of `plan` converted to WAV into `folder`/samples, and its kit.json.
void WriteImport(const ImportSource& source, const KitPlan& plan,
                 const std::vector<DrumInstrument>& instruments,
                 const std::filesystem::path& folder);
