// At most one log line a second, whatever the input: lines in between are counted and
// the count is told with the next line that goes out.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace za32::lv2 {

class ReportLimiter {
public:
  // True when a line may go out now; `suppressed` is then how many were held back since
  // the last one.
  bool Allow(uint64_t* suppressed) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto now = std::chrono::steady_clock::now();
    if (sent_ && now - last_ < std::chrono::seconds(1)) {
      ++held_;
      return false;
    }
    sent_ = true;
    last_ = now;
    *suppressed = held_;
    held_ = 0;
    return true;
  }

private:
  std::mutex mutex_;
  bool sent_ = false;
  std::chrono::steady_clock::time_point last_;
  uint64_t held_ = 0;
};

} // namespace za32::lv2
