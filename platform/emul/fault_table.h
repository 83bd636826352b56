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
    Guard guard(*this);
    faults_[Index(call)] = Fault{n, false, result};
  }

  void FailAlways(Call call, Result result) {
    Guard guard(*this);
    faults_[Index(call)] = Fault{0, true, result};
  }

  void Clear() {
    Guard guard(*this);
    faults_.fill(Fault{});
  }

  unsigned Count(Call call) {
    Guard guard(*this);
    return counts_[Index(call)];
  }

  void ResetCounts() {
    Guard guard(*this);
    counts_.fill(0);
  }

  // Counts the call; the result it must fail with when a fault is armed for it.
  std::optional<Result> Injected(Call call) {
    Guard guard(*this);
    ++counts_[Index(call)];
    Fault& fault = faults_[Index(call)];
    if (fault.always)
      return fault.result;
    if (fault.countdown == 0 || --fault.countdown != 0)
      return std::nullopt;
    return fault.result;
  }

  // For a private copy used by one thread at a time: no lock is taken from now on. Only
  // while no other thread uses the table.
  void Unguard() { guarded_ = false; }

private:
  struct Guard {
    explicit Guard(FaultTable& table) : table(table) {
      if (table.guarded_)
        table.lock_.lock();
    }
    ~Guard() {
      if (table.guarded_)
        table.lock_.unlock();
    }
    FaultTable& table;
  };

  struct Fault {
    unsigned countdown = 0; // fails when it reaches 1; 0 is off
    bool always = false;
    Result result{};
  };
  static constexpr size_t kCalls = static_cast<size_t>(Call::Count_);

  static size_t Index(Call call) { return static_cast<size_t>(call); }

  // Its own lock: faults are asked for while other locks of the platform are held.
  std::mutex lock_;
  bool guarded_ = true;
  std::array<Fault, kCalls> faults_{};
  std::array<unsigned, kCalls> counts_{};
};

} // namespace emul
