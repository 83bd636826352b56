// The COM layer's way to the software sound device.
#pragma once

#include "dsound.h"

namespace dsemu {

// Creates a device object that still needs Initialize, as CoCreateInstance of
// CLSID_DirectSound gives it. Honours the CreateDevice fault.
HRESULT CreateDeviceObject(REFIID iid, void** object);

} // namespace dsemu
