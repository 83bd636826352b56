// GetFileList on a directory of 10,000 entries, beside a plain read of the same
// directory whose names are sorted in the same order (lstrcmpA) and, for scale, in byte
// order. The listing should cost no more than twice the plain read and sort.
#include "engine/za32.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const int Entries = 10000;

// 10,000 entries, every one listed, so that both sides sort the same number of names:
// WAV files with extensions in mixed case, and one directory in twenty.
class ListedDirectory {
public:
  ListedDirectory() {
    std::string pattern = (fs::temp_directory_path() / "za32-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      std::abort();
    path_ = pattern;
    std::mt19937 random(7);
    const char* extensions[] = {".wav", ".WAV", ".Wav"};
    for (int i = 0; i < Entries; ++i) {
      std::string name;
      for (int length = 4 + static_cast<int>(random() % 12); length > 0; --length)
        name += "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_- "[random() % 65];
      name += '-';
      name += std::to_string(i);
      if (i % 20 == 0) {
        fs::create_directory(path_ / name);
      } else {
        std::FILE* file = std::fopen((path_ / (name + extensions[random() % 3])).c_str(), "w");
        if (file)
          std::fclose(file);
      }
    }
  }
  ~ListedDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

private:
  fs::path path_;
};

ListedDirectory& Directory() {
  static ListedDirectory directory;
  return directory;
}

std::vector<std::string> ReadNames(const fs::path& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  while (dirent* entry = readdir(dir))
    names.emplace_back(entry->d_name);
  closedir(dir);
  return names;
}

void GetFileListOf10000(benchmark::State& state) {
  fs::current_path(Directory().path());
  std::vector<char> buffer(1 << 20);
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetFileList(buffer.data()));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(GetFileListOf10000)->Unit(benchmark::kMillisecond);

void PlainReadAndSortSameOrder(benchmark::State& state) {
  for (auto _ : state) {
    auto names = ReadNames(Directory().path());
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      return lstrcmpA(a.c_str(), b.c_str()) < 0;
    });
    benchmark::DoNotOptimize(names.data());
  }
}
BENCHMARK(PlainReadAndSortSameOrder)->Unit(benchmark::kMillisecond);

void PlainReadAndSortByteOrder(benchmark::State& state) {
  for (auto _ : state) {
    auto names = ReadNames(Directory().path());
    std::sort(names.begin(), names.end());
    benchmark::DoNotOptimize(names.data());
  }
}
BENCHMARK(PlainReadAndSortByteOrder)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
