// Files for the scenarios: a private temporary directory, generated WAV files and
// plain byte files, all with Windows paths.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TempDirectory {
public:
  TempDirectory(); // a new, empty directory under the system's temporary directory
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::string& path() const { return path_; }
  // path() + "\\" + name
  std::string operator/(const std::string& name) const;

private:
  std::string path_;
};

struct WavSpec {
  uint32_t rate = 22050;
  uint16_t channels = 1;
  uint16_t bits = 16;
  uint32_t frames = 22050; // one second at the default rate
  double hertz = 440.0;    // a sine tone, at half scale
};

// Writes a RIFF "WAVE" file with a PCM "fmt " chunk and a "data" chunk.
void WriteWav(const std::string& path, const WavSpec& spec = {});
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);
void MakeDirectory(const std::string& path);
