// Checking a user's input file before anything reads it. Every refusal names the file
// and the real reason (the system's text where it gave one); a FIFO, a device or a
// directory is refused from its status alone, never opened, so nothing can block on it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// Why a file of this st_mode is neither read nor written: "Is a directory", or "not a
// regular file (a FIFO)" and the like.
std::string NotRegularReason(unsigned mode);

// HostError "FILE: cannot read the WHAT: REASON".
[[noreturn]] void RefuseInput(const std::filesystem::path& file, const std::string& what,
                              const std::string& reason);

// Refuses a file that is missing, unreadable or not a regular file; returns its size.
uint64_t CheckInputFile(const std::filesystem::path& file, const std::string& what);

// CheckInputFile, and refuses what the engine's WAV reader cannot take for what it is:
// an empty file, or one past the 2 GiB its 32-bit offsets reach.
void CheckWaveInput(const std::filesystem::path& file, const std::string& what);

// The whole file, refused when it is larger than `maxBytes`.
std::string ReadInputFile(const std::filesystem::path& file, const std::string& what,
                          uint64_t maxBytes);
