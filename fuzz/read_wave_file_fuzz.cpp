// ReadWaveFile on arbitrary bytes. Beyond the sanitizers' own findings, every read must
// either hand back consistent blocks or fail with its outputs cleared, and leave no
// global block and no file open.
#include "platform/emul/control.h"
#include "samples/samples.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The input goes into one in-memory file, rewritten each run, so that the fuzzer never
// touches the disk.
const std::string& InputPath() {
  static const std::string path = [] {
    int fd = memfd_create("wave-input", 0);
    if (fd < 0) {
      std::perror("memfd_create");
      std::abort();
    }
    return "/proc/self/fd/" + std::to_string(fd);
  }();
  return path;
}

int InputFd() {
  return std::stoi(InputPath().substr(sizeof "/proc/self/fd/" - 1));
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const int fd = InputFd();
  if (ftruncate(fd, 0) != 0 ||
      (size > 0 && pwrite(fd, bytes, size, 0) != static_cast<ssize_t>(size)))
    std::abort();

  const size_t blocksBefore = emul::LiveGlobalBlocks();
  DWORD dataSize = 0;
  WAVEFORMATEX* format = nullptr;
  BYTE* data = nullptr;
  DWORD result = ReadWaveFile(InputPath().c_str(), &dataSize, &format, &data);

  Check(emul::OpenMmioFiles() == 0, "the file is closed");
  if (result == 0) {
    Check(format && data, "both blocks on success");
    Check(GlobalSize(GlobalHandle(format)) == sizeof(WAVEFORMATEX) + format->cbSize,
          "the format block is 18 + cbSize bytes");
    Check(GlobalSize(GlobalHandle(data)) == dataSize, "the data block is DataSize bytes");
    Check(dataSize <= size, "no more data than the file holds");
    Check(emul::LiveGlobalBlocks() == blocksBefore + 2, "exactly two blocks");
    GlobalFree(GlobalHandle(format));
    GlobalFree(GlobalHandle(data));
  } else {
    Check(result != WaveErrOpen, "the file opens");
    Check(!format && !data && dataSize == 0, "outputs cleared on failure");
  }
  Check(emul::LiveGlobalBlocks() == blocksBefore, "no block left");
  return 0;
}
