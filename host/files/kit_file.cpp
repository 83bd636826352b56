#include "host/files/kit_file.h"

#include "host/files/input_file.h"
#include "host/files/json_file.h"
#include "host/host_error.h"

Kit LoadKit(const std::filesystem::path& file) {
  nlohmann::json document = ReadJsonFile(file, "kit");
  std::filesystem::path directory = file.parent_path();
  if (directory.empty())
    directory = ".";
  return ParseKit(document, directory, file.string());
}

void SaveKit(const Kit& kit, const std::filesystem::path& file,
             const std::vector<std::filesystem::path>& inputs, bool allowStandardOutput) {
  WriteJsonFile(KitToJson(kit), file, inputs, allowStandardOutput);
}

void CheckKitSamplesExist(const Kit& kit) {
  for (size_t i = 0; i < kit.keys.size(); ++i) {
    const KitKey& key = kit.keys[i];
    if (key.sample.empty())
      continue;
    try {
      CheckWaveInput(ResolvedSamplePath(kit, key), "sample");
    } catch (const HostError& e) {
      throw HostError(kit.source + ": keys[" + std::to_string(i) + "]: " + e.what());
    }
  }
}

std::vector<std::filesystem::path> KitFiles(const Kit& kit) {
  std::vector<std::filesystem::path> files;
  for (const KitKey& key : kit.keys)
    if (!key.sample.empty())
      files.push_back(ResolvedSamplePath(kit, key));
  return files;
}
