// Fault injection inside the device: every faultable call asks here first.
#pragma once

#include "device_control.h"

#include <optional>

namespace dsemu {

// Counts the call; the result it must fail with when a fault is armed for it.
std::optional<HRESULT> InjectedFault(Call call);

// The fault table takes no lock from now on (SelectUnguardedState).
void UnguardFaults();

} // namespace dsemu
