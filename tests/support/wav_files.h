// Builders of WAV file bytes for tests: well-formed PCM files of a given format and
// length, and the chunk-level pieces to put together broken ones (wrong sizes, missing
// or misplaced chunks, other form types).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace wavfile {

struct Format {
  uint16_t tag = 1; // WAVE_FORMAT_PCM
  uint16_t channels = 1;
  uint32_t rate = 22050;
  uint16_t bits = 16;
  // Bytes after cbSize; written (with cbSize) only for tags other than PCM.
  std::string extra;

  uint16_t BlockAlign() const { return static_cast<uint16_t>(channels * ((bits + 7) / 8)); }
  uint32_t BytesPerSecond() const { return rate * BlockAlign(); }
};

std::string Le16(uint16_t value);
std::string Le32(uint32_t value);

// The 16 bytes of a "fmt " chunk before cbSize.
std::string FormatFields(const Format& format);
// A "fmt " chunk's data: the 16 fields for PCM; the fields, cbSize and the extra bytes
// for any other tag.
std::string FmtData(const Format& format);

// A chunk: id, the data's size, the data and a pad byte when the size is odd.
std::string Chunk(std::string_view id, std::string_view data);
// A chunk whose size field says `declared`, whatever follows; no pad byte is added.
std::string ChunkDeclaring(std::string_view id, uint32_t declared, std::string_view data);
// "RIFF", the size of the form type and the chunks, the form type, the chunks.
std::string Riff(std::string_view formType, std::string_view chunks);

// `frames` frames of deterministic, non-repeating sample bytes in the format.
std::string Frames(const Format& format, size_t frames, uint32_t seed = 1);

// A RIFF "WAVE" file: "fmt " then "data".
std::string Wav(const Format& format, std::string_view sampleBytes);
std::string Wav(const Format& format, size_t frames);

// Writes the bytes to `path`, replacing it; returns the path.
std::string WriteFile(const std::string& path, std::string_view bytes);

} // namespace wavfile
