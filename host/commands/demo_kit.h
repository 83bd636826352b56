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
  bool written = false; // false: every file was there already, as the demo writes it
};

// Writes the samples, kit.json and pattern.json into `directory` (made if missing).
// The folder is the user's to edit: a file there that differs from what the demo writes
// is kept, and the demo refuses naming every such file, unless `force`.
DemoFiles WriteDemoKit(const std::filesystem::path& directory, bool force = false);
