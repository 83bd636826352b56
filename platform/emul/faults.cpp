#include "control.h"
#include "fault_table.h"

namespace emul {
namespace {

// A failing system call fails in its own way (see control.h): there is no result to
// choose, only whether it fails.
FaultTable<SystemCall, bool>& Faults() {
  static FaultTable<SystemCall, bool> faults;
  return faults;
}

} // namespace

void FailNth(SystemCall call, unsigned n) {
  Faults().FailNth(call, n, true);
}

void FailAlways(SystemCall call) {
  Faults().FailAlways(call, true);
}

void ClearFaults() {
  Faults().Clear();
}

bool SystemCallFails(SystemCall call) {
  return Faults().Injected(call).has_value();
}

} // namespace emul
