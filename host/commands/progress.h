// A progress bar on standard error, drawn only when it is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class ProgressBar {
public:
  // Draws nothing unless `wanted` and standard error is a terminal.
  ProgressBar(std::string label, uint64_t total, bool wanted);
  ~ProgressBar();
  void Update(uint64_t done);
  void Finish();

private:
  std::string label_;
  uint64_t total_;
  bool shown_;
  int lastPermille_ = -1;
  std::chrono::steady_clock::time_point lastDraw_{};
};
