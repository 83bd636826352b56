// Seeds for the engine's message-stream fuzz target: operation streams long enough to
// build up a key map, sounding keys and an audition before anything fails. The target
// reads any bytes as operations, so the seeds are reproducible pseudo-random bytes of a
// few lengths.
#include <cstdio>
#include <random>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s directory\n", argv[0]);
    return 2;
  }
  std::mt19937 random(20261208);
  for (int seed = 0; seed < 48; ++seed) {
    const size_t length = 256u << (seed % 5); // 256 bytes to 4 KiB
    std::string bytes(length, '\0');
    for (char& byte : bytes)
      byte = static_cast<char>(random() & 0xFF);
    const std::string path = std::string(argv[1]) + "/seed" + std::to_string(seed);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
      std::perror(path.c_str());
      return 1;
    }
    std::fclose(file);
  }
  return 0;
}
