// The host's JSON files on disk: read through the one input reader, written through
// SafeOutput.
#pragma once

#include "kit/json_fields.h"

#include <filesystem>
#include <vector>

// Reads and parses a JSON file; HostError when it cannot be read, KitError when it is not
// JSON or is past the limits of kit/json_fields.h.
nlohmann::json ReadJsonFile(const std::filesystem::path& file, const char* what);
// Refused over any of `inputs`; "-" is standard output where `allowStandardOutput`.
void WriteJsonFile(const nlohmann::ordered_json& document, const std::filesystem::path& file,
                   const std::vector<std::filesystem::path>& inputs = {},
                   bool allowStandardOutput = false);
