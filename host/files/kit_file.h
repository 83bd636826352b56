// Kit files on disk: read and checked, written safely, and their samples checked before
// an engine opens them.
#pragma once

#include "kit/kit_model.h"

#include <filesystem>
#include <vector>

// Reads and checks a kit file; HostError or KitError naming the file and the field.
Kit LoadKit(const std::filesystem::path& file);
// Writes through SafeOutput (see WriteJsonFile).
void SaveKit(const Kit& kit, const std::filesystem::path& file,
             const std::vector<std::filesystem::path>& inputs = {},
             bool allowStandardOutput = false);

// Throws HostError, naming the key and the reason, for the first sample that cannot be
// read (missing, unreadable, not a regular file, empty, too large for the engine).
void CheckKitSamplesExist(const Kit& kit);
// The sample files the kit names, resolved: inputs no output may replace.
std::vector<std::filesystem::path> KitFiles(const Kit& kit);
