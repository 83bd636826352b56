// Fault injection, one mechanism for the stand-in system calls and the sound device:
// per call of an enumeration (ending in Count_), a fault armed for the nth call from now
// or for every call, the result that call fails with, and how many calls were made.
#pragma once

#include <array>
#include <cstddef>
#include <mutex>
#include <optional>

namespace emul {

template <typename Call, typename Result> class FaultTable {
public:
  void FailNth(Call call, unsigned n, Result result) { // n = 1 is the next call
    std::lock_guard guard(lock_);
    faults_[Index(call)] = Fault{n, false, result};
  }

  void FailAlways(Call call, Result result) {
    std::lock_guard guard(lock_);
    faults_[Index(call)] = Fault{0, true, result};
  }

  void Clear() {
    std::lock_guard guard(lock_);
    faults_.fill(Fault{});
  }

  unsigned Count(Call call) {
    std::lock_guard guard(lock_);
    return counts_[Index(call)];
  }

  void ResetCounts() {
    std::lock_guard guard(lock_);
    counts_.fill(0);
  }

  // Counts the call; the result it must fail with when a fault is armed for it.
  std::optional<Result> Injected(Call call) {
    std::lock_guard guard(lock_);
    ++counts_[Index(call)];
    Fault& fault = faults_[Index(call)];
    if (fault.always)
      return fault.result;
    if (fault.countdown == 0 || --fault.countdown != 0)
      return std::nullopt;
    return fault.result;
  }

private:
  struct Fault {
    unsigned countdown = 0; // fails when it reaches 1; 0 is off
    bool always = false;
    Result result{};
  };
  static constexpr size_t kCalls = static_cast<size_t>(Call::Count_);

  static size_t Index(Call call) { return static_cast<size_t>(call); }

  // Its own lock: faults are asked for while other locks of the platform are held.
  std::mutex lock_;
  std::array<Fault, kCalls> faults_{};
  std::array<unsigned, kCalls> counts_{};
};

} // namespace emul
