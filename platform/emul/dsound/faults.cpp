#include "faults.h"

#include "../fault_table.h"

namespace dsemu {
namespace {

emul::FaultTable<Call, HRESULT>& Faults() {
  static emul::FaultTable<Call, HRESULT> faults;
  return faults;
}

} // namespace

void FailNext(Call call, HRESULT result) {
  FailNth(call, 1, result);
}

void FailNth(Call call, unsigned n, HRESULT result) {
  Faults().FailNth(call, n, result);
}

void FailAlways(Call call, HRESULT result) {
  Faults().FailAlways(call, result);
}

void ClearFaults() {
  Faults().Clear();
}

unsigned CallCount(Call call) {
  return Faults().Count(call);
}

void ResetCallCounts() {
  Faults().ResetCounts();
}

void UnguardFaults() {
  Faults().Unguard();
}

std::optional<HRESULT> InjectedFault(Call call) {
  return Faults().Injected(call);
}

} // namespace dsemu
