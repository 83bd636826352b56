// The built-in demo: a small synthesised kit (kick, snare, hats, clap, toms and one
// tonal sample played on several keys through their Note) and a groove for it that
// also bends, pans, mutes, holds and loops.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct DemoFiles {
  std::filesystem::path kit;
  std::filesystem::path pattern;
  std::vector<std::filesystem::path> samples;
};

// Writes the samples, kit.json and pattern.json into `directory` (made if missing).
DemoFiles WriteDemoKit(const std::filesystem::path& directory);
