// ReadWaveFile of a 50 MB WAV file from the page cache, beside a plain read() of the
// same file into a fresh buffer of its size: the reader should reach at least 0.8 of
// the plain read's throughput.
#include "platform/emul/control.h"
#include "samples/samples.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t DataBytes = 50u * 1024 * 1024;

void Put16(std::string& out, uint16_t value) {
  out += static_cast<char>(value & 0xff);
  out += static_cast<char>(value >> 8);
}

void Put32(std::string& out, uint32_t value) {
  Put16(out, static_cast<uint16_t>(value & 0xffff));
  Put16(out, static_cast<uint16_t>(value >> 16));
}

// A 16-bit stereo file with a canonical 44-byte header, written once per run and read
// once so that it sits in the page cache.
class WaveFile {
public:
  WaveFile() {
    path_ = (std::filesystem::temp_directory_path() /
             ("za32-bench-" + std::to_string(getpid()) + ".wav"))
                .string();
    std::string header = "RIFF";
    Put32(header, 36 + DataBytes);
    header += "WAVEfmt ";
    Put32(header, 16);
    Put16(header, 1);
    Put16(header, 2);
    Put32(header, 44100);
    Put32(header, 44100 * 4);
    Put16(header, 4);
    Put16(header, 16);
    header += "data";
    Put32(header, DataBytes);

    std::vector<char> samples(DataBytes);
    uint32_t state = 1;
    for (char& byte : samples) {
      state = state * 1664525u + 1013904223u;
      byte = static_cast<char>(state >> 24);
    }
    std::ofstream out(path_, std::ios::binary);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    out.write(samples.data(), static_cast<std::streamsize>(samples.size()));
    out.close();
    size_ = std::filesystem::file_size(path_);
    PlainRead(); // into the page cache
  }
  ~WaveFile() { std::filesystem::remove(path_); }

  const std::string& path() const { return path_; }
  size_t size() const { return size_; }

  // The whole file into a new buffer of its size, as one program would read it.
  void PlainRead() const {
    int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
      std::abort();
    char* buffer = static_cast<char*>(std::malloc(size_));
    size_t done = 0;
    while (done < size_) {
      ssize_t got = read(fd, buffer + done, size_ - done);
      if (got <= 0)
        std::abort();
      done += static_cast<size_t>(got);
    }
    benchmark::DoNotOptimize(buffer);
    benchmark::ClobberMemory();
    std::free(buffer);
    close(fd);
  }

private:
  std::string path_;
  size_t size_ = 0;
};

const WaveFile& File() {
  static const WaveFile file;
  return file;
}

void BM_PlainRead(benchmark::State& state) {
  const WaveFile& file = File();
  for (auto _ : state)
    file.PlainRead();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(file.size()));
}

void BM_ReadWaveFile(benchmark::State& state) {
  const WaveFile& file = File();
  for (auto _ : state) {
    DWORD size = 0;
    WAVEFORMATEX* format = nullptr;
    BYTE* data = nullptr;
    if (ReadWaveFile(file.path().c_str(), &size, &format, &data) != 0 || size != DataBytes) {
      state.SkipWithError("the file did not read");
      break;
    }
    benchmark::DoNotOptimize(data);
    benchmark::ClobberMemory();
    GlobalFree(GlobalHandle(format));
    GlobalFree(GlobalHandle(data));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(file.size()));
}

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_ReadWaveFile)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
