// Checked reading of the host's JSON files: every fault names the file and the field,
// e.g. "kit.json: keys[3].volume: must be a whole number from 0 to 127 (got 300)".
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// Kit and pattern files are small: a bigger or deeper file is a mistake or an attack.
constexpr uint64_t kMaxJsonBytes = 16 * 1024 * 1024;
constexpr int kMaxJsonDepth = 64;

// Reads and parses a JSON file; HostError when it cannot be read, is not JSON, or is
// past the limits above.
nlohmann::json ReadJsonFile(const std::filesystem::path& file, const char* what);
// The text WriteJsonFile writes.
std::string JsonFileText(const nlohmann::ordered_json& document);
// Writes through SafeOutput: refused over any of `inputs`; "-" is standard output where
// `allowStandardOutput`.
void WriteJsonFile(const nlohmann::ordered_json& document, const std::filesystem::path& file,
                   const std::vector<std::filesystem::path>& inputs = {},
                   bool allowStandardOutput = false);

// A place in a document, for messages: the source file and the path of the field.
struct JsonPlace {
  std::string source;
  std::string path;

  JsonPlace field(const std::string& name) const;
  JsonPlace item(size_t index) const;
  [[noreturn]] void fail(const std::string& problem) const;
};

void ExpectObject(const nlohmann::json& value, const JsonPlace& place,
                  std::initializer_list<const char*> allowedFields);
long long ReadInteger(const nlohmann::json& value, const JsonPlace& place, long long lowest,
                      long long highest);
double ReadNumber(const nlohmann::json& value, const JsonPlace& place, double lowest,
                  double highest);
// true/false, or 0/1 as the key records store flags.
bool ReadFlag(const nlohmann::json& value, const JsonPlace& place);
std::string ReadString(const nlohmann::json& value, const JsonPlace& place);
