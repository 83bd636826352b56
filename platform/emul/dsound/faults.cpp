#include "faults.h"

#include <array>
#include <mutex>

namespace dsemu {
namespace {

struct Fault {
  unsigned countdown = 0; // fails when it reaches 1; 0 is off
  bool always = false;
  HRESULT result = DS_OK;
};

constexpr size_t kCalls = static_cast<size_t>(Call::Count_);

// Its own lock: faults are asked for while the device state lock is held.
std::mutex faultLock;
std::array<Fault, kCalls> faults;
std::array<unsigned, kCalls> counts{};

Fault& FaultOf(Call call) {
  return faults[static_cast<size_t>(call)];
}

} // namespace

void FailNext(Call call, HRESULT result) {
  FailNth(call, 1, result);
}

void FailNth(Call call, unsigned n, HRESULT result) {
  std::lock_guard guard(faultLock);
  FaultOf(call) = Fault{n, false, result};
}

void FailAlways(Call call, HRESULT result) {
  std::lock_guard guard(faultLock);
  FaultOf(call) = Fault{0, true, result};
}

void ClearFaults() {
  std::lock_guard guard(faultLock);
  faults.fill(Fault{});
}

unsigned CallCount(Call call) {
  std::lock_guard guard(faultLock);
  return counts[static_cast<size_t>(call)];
}

void ResetCallCounts() {
  std::lock_guard guard(faultLock);
  counts.fill(0);
}

std::optional<HRESULT> InjectedFault(Call call) {
  std::lock_guard guard(faultLock);
  ++counts[static_cast<size_t>(call)];
  Fault& fault = FaultOf(call);
  if (fault.always)
    return fault.result;
  if (fault.countdown == 0)
    return std::nullopt;
  if (--fault.countdown != 0)
    return std::nullopt;
  return fault.result;
}

} // namespace dsemu
