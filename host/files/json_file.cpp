#include "host/files/json_file.h"

#include "host/files/input_file.h"
#include "host/files/safe_output.h"

nlohmann::json ReadJsonFile(const std::filesystem::path& file, const char* what) {
  std::string text = ReadInputFile(file, std::string(what) + " file", kMaxJsonBytes);
  return ParseJsonText(text, file.string(), what);
}

void WriteJsonFile(const nlohmann::ordered_json& document, const std::filesystem::path& file,
                   const std::vector<std::filesystem::path>& inputs, bool allowStandardOutput) {
  SafeOutput out(file, inputs, allowStandardOutput);
  out.Write(JsonFileText(document));
  out.Commit();
}
