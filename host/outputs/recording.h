// What the sound device plays, recorded to a WAV file: written to a temporary file beside
// the target and renamed into place once complete, never over one of the command's inputs.
#pragma once

#include "host/files/safe_output.h"

#include <filesystem>
#include <vector>

class Recording {
public:
  // Starts recording; HostError when `target` cannot be written or is one of `inputs`.
  Recording(const std::filesystem::path& target, const std::vector<std::filesystem::path>& inputs);
  ~Recording(); // an unfinished recording leaves the target as it was
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  // After the device has closed (and played out what it mixed).
  void Finish();

private:
  SafeOutput out_;
  bool capturing_ = true;
};
