// Checked reading of kit and pattern JSON: every fault is a KitError naming the file and the
// field, e.g. "kit.json: keys[3].volume: must be a whole number from 0 to 127 (got 300)".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include <nlohmann/json.hpp>

// Kit and pattern files are small: a bigger or deeper file is a mistake or an attack.
constexpr uint64_t kMaxJsonBytes = 16 * 1024 * 1024;
constexpr int kMaxJsonDepth = 64;

// Parses the text of a `what` file ("kit", "pattern") read from `source`; KitError when it
// is not JSON or nests deeper than kMaxJsonDepth.
nlohmann::json ParseJsonText(const std::string& text, const std::string& source, const char* what);
// The text a JSON file of ours is written as.
std::string JsonFileText(const nlohmann::ordered_json& document);

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
