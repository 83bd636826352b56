#include "control.h"

#include <array>
#include <mutex>

namespace emul {
namespace {

struct Fault {
  unsigned countdown = 0; // fails when it reaches 1; 0 is off
  bool always = false;
};

std::mutex faultLock;
std::array<Fault, static_cast<size_t>(SystemCall::Count_)> faults;

} // namespace

void FailSystemCallNth(SystemCall call, unsigned n) {
  std::lock_guard guard(faultLock);
  faults[static_cast<size_t>(call)] = Fault{n, false};
}

void FailSystemCallAlways(SystemCall call) {
  std::lock_guard guard(faultLock);
  faults[static_cast<size_t>(call)] = Fault{0, true};
}

void ClearSystemFaults() {
  std::lock_guard guard(faultLock);
  faults.fill(Fault{});
}

bool SystemCallFails(SystemCall call) {
  std::lock_guard guard(faultLock);
  Fault& fault = faults[static_cast<size_t>(call)];
  if (fault.always)
    return true;
  if (fault.countdown == 0)
    return false;
  return --fault.countdown == 0;
}

} // namespace emul
