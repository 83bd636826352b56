// The plugin's entry points: two descriptors over one Plugin class, and the extension
// interfaces (worker, state, midnam). Nothing thrown crosses into the host.
#include "plugins/lv2/plugin.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

using za32::lv2::Plugin;

Plugin* Of(LV2_Handle instance) {
  return static_cast<Plugin*>(instance);
}

LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double rate, const char* bundlePath,
                       const LV2_Feature* const* features) {
  try {
    unsigned buses = std::string(descriptor->URI) == za32::lv2::kMultiUri ? za32::kMaxBuses : 1;
    std::string why;
    std::unique_ptr<Plugin> plugin = Plugin::Create(rate, bundlePath, buses, features, &why);
    if (!plugin)
      std::fprintf(stderr, "ZA32: cannot start: %s\n", why.c_str());
    return plugin.release();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "ZA32: cannot start: %s\n", error.what());
  } catch (...) {
  }
  return nullptr;
}

void ConnectPort(LV2_Handle instance, uint32_t port, void* data) {
  Of(instance)->Connect(port, data);
}

void Activate(LV2_Handle instance) {
  Of(instance)->Activate();
}

void Run(LV2_Handle instance, uint32_t frames) {
  Of(instance)->Run(frames);
}

void Deactivate(LV2_Handle) {}

void Cleanup(LV2_Handle instance) {
  try {
    delete Of(instance);
  } catch (...) {
  }
}

LV2_Worker_Status Work(LV2_Handle instance, LV2_Worker_Respond_Function respond,
                       LV2_Worker_Respond_Handle handle, uint32_t size, const void* data) {
  try {
    return Of(instance)->Work(respond, handle, size, data);
  } catch (...) {
    return LV2_WORKER_ERR_UNKNOWN;
  }
}

LV2_Worker_Status WorkResponse(LV2_Handle instance, uint32_t size, const void* data) {
  return Of(instance)->WorkResponse(size, data);
}

LV2_State_Status Save(LV2_Handle instance, LV2_State_Store_Function store, LV2_State_Handle handle,
                      uint32_t flags, const LV2_Feature* const* features) {
  try {
    return Of(instance)->Save(store, handle, flags, features);
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

LV2_State_Status Restore(LV2_Handle instance, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle handle, uint32_t flags,
                         const LV2_Feature* const* features) {
  try {
    return Of(instance)->Restore(retrieve, handle, flags, features);
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

// Ardour's midnam interface.
struct MidnamInterface {
  char* (*midnam)(LV2_Handle);
  char* (*model)(LV2_Handle);
  void (*free)(char*);
};

char* Midnam(LV2_Handle instance) {
  try {
    return Of(instance)->Midnam();
  } catch (...) {
    return nullptr;
  }
}

char* Model(LV2_Handle instance) {
  try {
    return Of(instance)->Model();
  } catch (...) {
    return nullptr;
  }
}

void FreeText(char* text) {
  std::free(text);
}

const void* ExtensionData(const char* uri) {
  static const LV2_Worker_Interface worker{Work, WorkResponse, nullptr};
  static const LV2_State_Interface state{Save, Restore};
  static const MidnamInterface midnam{Midnam, Model, FreeText};
  std::string name = uri ? uri : "";
  if (name == LV2_WORKER__interface)
    return &worker;
  if (name == LV2_STATE__interface)
    return &state;
  if (name == "http://ardour.org/lv2/midnam#interface")
    return &midnam;
  return nullptr;
}

const LV2_Descriptor kDescriptors[] = {
    {za32::lv2::kStereoUri, Instantiate, ConnectPort, Activate, Run, Deactivate, Cleanup,
     ExtensionData},
    {za32::lv2::kMultiUri, Instantiate, ConnectPort, Activate, Run, Deactivate, Cleanup,
     ExtensionData},
};

} // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index < 2 ? &kDescriptors[index] : nullptr;
}
