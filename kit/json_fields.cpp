#include "kit/json_fields.h"

#include "kit/kit_error.h"

#include <cmath>
#include <sstream>

nlohmann::json ParseJsonText(const std::string& text, const std::string& source, const char* what) {
  std::string kind = std::string(what) + " file";
  // The parser itself keeps its own stack, but whatever walks the document afterwards
  // recurses: refuse deep nesting while parsing.
  auto limitDepth = [&](int depth, nlohmann::json::parse_event_t event, nlohmann::json&) {
    // `depth` counts the lists and objects around the one that starts.
    bool opens = event == nlohmann::json::parse_event_t::object_start ||
                 event == nlohmann::json::parse_event_t::array_start;
    if (opens && depth >= kMaxJsonDepth)
      throw KitError(source + ": the " + kind + " nests lists and objects deeper than " +
                     std::to_string(kMaxJsonDepth) + " levels");
    return true;
  };
  try {
    return nlohmann::json::parse(text, limitDepth);
  } catch (const nlohmann::json::parse_error& e) {
    // nlohmann's message starts with "[json.exception.parse_error.101] parse error at
    // line 3, column 5: ..."; keep only what helps the user.
    std::string message = e.what();
    size_t at = message.find("parse error");
    if (at != std::string::npos)
      message = message.substr(at);
    throw KitError(source + ": not a valid JSON " + what + " file: " + message);
  }
}

std::string JsonFileText(const nlohmann::ordered_json& document) {
  return document.dump(2) + "\n";
}

JsonPlace JsonPlace::field(const std::string& name) const {
  return {source, path.empty() ? name : path + "." + name};
}

JsonPlace JsonPlace::item(size_t index) const {
  return {source, path + "[" + std::to_string(index) + "]"};
}

void JsonPlace::fail(const std::string& problem) const {
  std::string where = source;
  if (!path.empty())
    where += ": " + path;
  throw KitError(where + ": " + problem);
}

namespace {

// A value as a message quotes it: lists and objects by their size only, so that no
// message walks a nested value.
std::string Shown(const nlohmann::json& value) {
  if (value.is_array())
    return "a list of " + std::to_string(value.size());
  if (value.is_object())
    return "an object of " + std::to_string(value.size()) + " fields";
  std::string text = value.dump();
  if (text.size() > 40)
    text = text.substr(0, 37) + "...";
  return text;
}

} // namespace

void ExpectObject(const nlohmann::json& value, const JsonPlace& place,
                  std::initializer_list<const char*> allowedFields) {
  if (!value.is_object())
    place.fail("must be an object {...} (got " + Shown(value) + ")");
  for (const auto& [name, ignored] : value.items()) {
    bool known = false;
    for (const char* allowed : allowedFields)
      known = known || name == allowed;
    if (!known) {
      std::string list;
      for (const char* allowed : allowedFields)
        list += std::string(list.empty() ? "" : ", ") + allowed;
      place.field(name).fail("unknown field (known fields: " + list + ")");
    }
  }
}

long long ReadInteger(const nlohmann::json& value, const JsonPlace& place, long long lowest,
                      long long highest) {
  bool whole =
      value.is_number_integer() || (value.is_number_float() && std::isfinite(value.get<double>()) &&
                                    std::floor(value.get<double>()) == value.get<double>() &&
                                    std::fabs(value.get<double>()) < 1e15);
  long long number = 0;
  if (whole)
    number = value.is_number_float() ? static_cast<long long>(value.get<double>())
             : value.is_number_unsigned()
                 ? static_cast<long long>(std::min<uint64_t>(value.get<uint64_t>(), INT64_MAX))
                 : value.get<long long>();
  if (!whole || number < lowest || number > highest)
    place.fail("must be a whole number from " + std::to_string(lowest) + " to " +
               std::to_string(highest) + " (got " + Shown(value) + ")");
  return number;
}

double ReadNumber(const nlohmann::json& value, const JsonPlace& place, double lowest,
                  double highest) {
  if (!value.is_number() || !std::isfinite(value.get<double>()) || value.get<double>() < lowest ||
      value.get<double>() > highest) {
    std::ostringstream range;
    range << "must be a number from " << lowest << " to " << highest;
    place.fail(range.str() + " (got " + Shown(value) + ")");
  }
  return value.get<double>();
}

bool ReadFlag(const nlohmann::json& value, const JsonPlace& place) {
  if (value.is_boolean())
    return value.get<bool>();
  if (value.is_number_integer() && (value.get<long long>() == 0 || value.get<long long>() == 1))
    return value.get<long long>() == 1;
  place.fail("must be true or false (got " + Shown(value) + ")");
}

std::string ReadString(const nlohmann::json& value, const JsonPlace& place) {
  if (!value.is_string())
    place.fail("must be a string \"...\" (got " + Shown(value) + ")");
  return value.get<std::string>();
}
