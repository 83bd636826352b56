#include "run_za32.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
}

StartedZa32 StartZa32(const std::vector<std::string>& args, const std::filesystem::path& directory,
                      const std::string& standardOutput) {
  StartedZa32 started{-1, directory};
  std::filesystem::path outFile = directory / ".za32-stdout";
  std::filesystem::path errFile = directory / ".za32-stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(
      &actions, 1, standardOutput.empty() ? outFile.c_str() : standardOutput.c_str(),
      O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::string program = ZA32_BINARY;
  // The program is started from `directory`, so that relative names resolve there.
  std::vector<std::string> words = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", directory.string(),
                                    program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words)
    argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0)
    ADD_FAILURE() << "cannot start " << program;
  else
    started.pid = pid;
  return started;
}

RunResult WaitZa32(const StartedZa32& started) {
  RunResult result;
  if (started.pid < 0)
    return result;
  int status = 0;
  waitpid(started.pid, &status, 0);
  if (WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status))
    result.signal = WTERMSIG(status);
  std::filesystem::path outFile = started.directory / ".za32-stdout";
  std::filesystem::path errFile = started.directory / ".za32-stderr";
  result.out = ReadText(outFile);
  result.err = ReadText(errFile);
  std::filesystem::remove(outFile);
  std::filesystem::remove(errFile);
  return result;
}

RunResult RunZa32(const std::vector<std::string>& args, const std::filesystem::path& directory,
                  const std::string& standardOutput) {
  return WaitZa32(StartZa32(args, directory, standardOutput));
}

namespace {

uint32_t U32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
         uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t U16(const std::string& b, size_t at) {
  return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

} // namespace

Wav ReadWav(const std::filesystem::path& file) {
  Wav wav;
  std::string bytes = ReadText(file);
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
    ADD_FAILURE() << file << " is not a RIFF WAVE file";
    return wav;
  }
  EXPECT_EQ(U32(bytes, 4), bytes.size() - 8) << "RIFF size of " << file;
  bool haveFormat = false, haveData = false;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    std::string id = bytes.substr(at, 4);
    uint32_t size = U32(bytes, at + 4);
    if (at + 8 + size > bytes.size()) {
      ADD_FAILURE() << file << ": chunk " << id << " runs past the end";
      return Wav{};
    }
    if (id == "fmt ") {
      EXPECT_EQ(U16(bytes, at + 8), 1) << "PCM";
      wav.channels = U16(bytes, at + 10);
      wav.rate = U32(bytes, at + 12);
      wav.bits = U16(bytes, at + 22);
      haveFormat = true;
    } else if (id == "data") {
      wav.samples.resize(size / 2);
      std::memcpy(wav.samples.data(), bytes.data() + at + 8, wav.samples.size() * 2);
      haveData = true;
    }
    at += 8 + size + (size & 1);
  }
  EXPECT_TRUE(haveFormat && haveData) << file;
  EXPECT_EQ(wav.bits, 16) << file;
  return wav;
}

namespace {

RenderedSamples ReadWavSamples(const std::filesystem::path& file, const std::string& bytes) {
  RenderedSamples read;
  uint16_t tag = 0, bits = 0;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    std::string id = bytes.substr(at, 4);
    uint32_t size = U32(bytes, at + 4);
    if (at + 8 + size > bytes.size()) {
      ADD_FAILURE() << file << ": chunk " << id << " runs past the end";
      return {};
    }
    const char* data = bytes.data() + at + 8;
    if (id == "fmt ") {
      tag = U16(bytes, at + 8);
      bits = U16(bytes, at + 22);
      if (tag == 0xFFFE && size >= 40) // EXTENSIBLE: the sub-format's first two bytes
        tag = U16(bytes, at + 32);
    } else if (id == "data" && tag == 1 && bits == 16) {
      read.encoding = "pcm16";
      for (size_t i = 0; i + 2 <= size; i += 2)
        read.samples.push_back(int16_t(U16(bytes, at + 8 + i)));
    } else if (id == "data" && tag == 1 && bits == 24) {
      read.encoding = "pcm24";
      for (size_t i = 0; i + 3 <= size; i += 3) // sign-extended from the top byte
        read.samples.push_back(int32_t(U32(bytes, at + 7 + i) & 0xFFFFFF00u) / 256);
    } else if (id == "data" && tag == 3 && bits == 32) {
      read.encoding = "float32";
      for (size_t i = 0; i + 4 <= size; i += 4) {
        float value;
        std::memcpy(&value, data + i, 4);
        read.samples.push_back(value);
      }
    } else if (id == "data") {
      ADD_FAILURE() << file << ": format tag " << tag << " of " << bits << " bits";
    }
    at += 8 + size + (size & 1);
  }
  return read;
}

// sox's answer to `arguments`, standard output only.
std::string Sox(const std::string& arguments) {
  std::string out;
  if (FILE* pipe = popen(("sox " + arguments + " 2>/dev/null").c_str(), "r")) {
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      out.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << "sox " << arguments;
  }
  return out;
}

} // namespace

RenderedSamples ReadRender(const std::filesystem::path& file) {
  std::string bytes = ReadText(file);
  if (bytes.compare(0, 4, "fLaC") == 0) {
    std::string quoted = "'" + file.string() + "'";
    RenderedSamples read;
    if (Sox("--i -b " + quoted) != "16\n") {
      ADD_FAILURE() << file << " is not 16-bit FLAC";
      return read;
    }
    read.encoding = "flac16";
    std::string raw = Sox(quoted + " -t raw -e signed-integer -b 16 -L -");
    for (size_t i = 0; i + 2 <= raw.size(); i += 2)
      read.samples.push_back(int16_t(U16(raw, i)));
    return read;
  }
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
    ADD_FAILURE() << file << " is neither WAV nor FLAC";
    return {};
  }
  return ReadWavSamples(file, bytes);
}

void WriteWav(const std::filesystem::path& file, uint32_t rate, uint16_t channels,
              const std::vector<int16_t>& samples) {
  std::string b;
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i)
      b.push_back(char(v >> (8 * i)));
  };
  auto u16 = [&](uint16_t v) {
    b.push_back(char(v));
    b.push_back(char(v >> 8));
  };
  uint32_t data = uint32_t(samples.size() * 2);
  b += "RIFF";
  u32(36 + data);
  b += "WAVEfmt ";
  u32(16);
  u16(1);
  u16(channels);
  u32(rate);
  u32(rate * channels * 2);
  u16(uint16_t(channels * 2));
  u16(16);
  b += "data";
  u32(data);
  b.append(reinterpret_cast<const char*>(samples.data()), data);
  WriteText(file, b);
}
