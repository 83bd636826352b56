#include "wav_files.h"

#include <fstream>
#include <stdexcept>

namespace wavfile {

std::string Le16(uint16_t value) {
  return {static_cast<char>(value & 0xff), static_cast<char>(value >> 8)};
}

std::string Le32(uint32_t value) {
  return Le16(static_cast<uint16_t>(value & 0xffff)) + Le16(static_cast<uint16_t>(value >> 16));
}

std::string FormatFields(const Format& format) {
  return Le16(format.tag) + Le16(format.channels) + Le32(format.rate) +
         Le32(format.BytesPerSecond()) + Le16(format.BlockAlign()) + Le16(format.bits);
}

std::string FmtData(const Format& format) {
  std::string data = FormatFields(format);
  if (format.tag != 1)
    data += Le16(static_cast<uint16_t>(format.extra.size())) + format.extra;
  return data;
}

std::string ChunkDeclaring(std::string_view id, uint32_t declared, std::string_view data) {
  if (id.size() != 4)
    throw std::invalid_argument("a chunk id has 4 characters");
  return std::string(id) + Le32(declared) + std::string(data);
}

std::string Chunk(std::string_view id, std::string_view data) {
  std::string chunk = ChunkDeclaring(id, static_cast<uint32_t>(data.size()), data);
  if (data.size() % 2)
    chunk += '\0';
  return chunk;
}

std::string Riff(std::string_view formType, std::string_view chunks) {
  return ChunkDeclaring("RIFF", static_cast<uint32_t>(formType.size() + chunks.size()),
                        std::string(formType) + std::string(chunks));
}

std::string Frames(const Format& format, size_t frames, uint32_t seed) {
  std::string bytes(frames * format.BlockAlign(), '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (char& byte : bytes) {
    state = state * 1664525u + 1013904223u; // a plain LCG: fast and reproducible
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::string Wav(const Format& format, std::string_view sampleBytes) {
  return Riff("WAVE", Chunk("fmt ", FmtData(format)) + Chunk("data", sampleBytes));
}

std::string Wav(const Format& format, size_t frames) {
  return Wav(format, Frames(format, frames));
}

std::string WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out)
    throw std::runtime_error("cannot write " + path);
  return path;
}

} // namespace wavfile
