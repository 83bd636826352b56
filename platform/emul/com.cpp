// COM as the engine uses it: a per-thread initialisation count, and creation of the
// one class the emulation serves, the software sound device.
#include "control.h"
#include "dsound/factory.h"
#include "objbase.h"

namespace {

thread_local unsigned initialisations = 0;

} // namespace

// S_OK the first time on a thread, S_FALSE when COM is already initialised there;
// every successful call needs its CoUninitialize.
extern "C" HRESULT WINAPI CoInitialize(LPVOID reserved) {
  if (emul::SystemCallFails(emul::SystemCall::CoInitialize))
    return E_OUTOFMEMORY;
  return initialisations++ == 0 ? S_OK : S_FALSE;
}

extern "C" void WINAPI CoUninitialize(void) {
  if (initialisations)
    --initialisations;
}

extern "C" HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context,
                                           REFIID iid, LPVOID* object) {
  if (!object)
    return E_POINTER;
  *object = nullptr;
  if (!initialisations)
    return CO_E_NOTINITIALIZED;
  if (clsid != CLSID_DirectSound || !(context & CLSCTX_INPROC_SERVER))
    return REGDB_E_CLASSNOTREG;
  if (outer)
    return CLASS_E_NOAGGREGATION;
  return dsemu::CreateDeviceObject(iid, object);
}
