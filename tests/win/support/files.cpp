#include "files.h"

#include "engine/state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {
void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..")
        continue;
      std::string child = path + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(child);
      else
        DeleteFileA(child.c_str());
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(value & 0xff);
  out.push_back((value >> 8) & 0xff);
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xffff);
  Put16(out, value >> 16);
}

void PutTag(std::vector<uint8_t>& out, const char* tag) {
  out.insert(out.end(), tag, tag + 4);
}
} // namespace

TempDirectory::TempDirectory() {
  char base[MAX_PATH] = "";
  GetTempPathA(sizeof base, base);
  for (unsigned attempt = 0; attempt < 1000 && path_.empty(); ++attempt) {
    std::string candidate = std::string(base) + "za32-" + std::to_string(GetCurrentProcessId()) +
                            "-" + std::to_string(attempt);
    if (CreateDirectoryA(candidate.c_str(), nullptr))
      path_ = candidate;
  }
  if (path_.empty())
    ADD_FAILURE() << "cannot make a temporary directory under " << base;
}

TempDirectory::~TempDirectory() {
  if (!path_.empty())
    RemoveTree(path_);
}

std::string TempDirectory::operator/(const std::string& name) const {
  return path_ + "\\" + name;
}

void WriteWav(const std::string& path, const WavSpec& spec) {
  uint32_t blockAlign = spec.channels * spec.bits / 8;
  uint32_t dataSize = spec.frames * blockAlign;
  std::vector<uint8_t> out;
  PutTag(out, "RIFF");
  Put32(out, 4 + 8 + 16 + 8 + dataSize);
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  Put32(out, 16);
  Put16(out, WAVE_FORMAT_PCM);
  Put16(out, spec.channels);
  Put32(out, spec.rate);
  Put32(out, spec.rate * blockAlign);
  Put16(out, blockAlign);
  Put16(out, spec.bits);
  PutTag(out, "data");
  Put32(out, dataSize);
  for (uint32_t frame = 0; frame < spec.frames; ++frame) {
    double value = 0.5 * std::sin(2 * 3.14159265358979323846 * spec.hertz * frame / spec.rate);
    for (uint16_t channel = 0; channel < spec.channels; ++channel) {
      if (spec.bits == 8)
        out.push_back(static_cast<uint8_t>(128 + std::lround(value * 127)));
      else
        Put16(out, static_cast<uint16_t>(static_cast<int16_t>(std::lround(value * 32767))));
    }
  }
  WriteBytes(path, out);
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create " << path;
  DWORD written = 0;
  BOOL ok = bytes.empty() ||
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_TRUE(ok && written == bytes.size()) << "cannot write " << path;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot open " << path;
    return bytes;
  }
  bytes.resize(GetFileSize(file, nullptr));
  DWORD read = 0;
  if (!bytes.empty())
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

void MakeDirectory(const std::string& path) {
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << "cannot make " << path;
}
