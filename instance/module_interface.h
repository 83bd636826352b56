// The one entry of the self-contained engine module (libza32instance.so): the engine,
// the stand-in and the software device linked into one object with every symbol bound
// inside it, loaded as a private copy by each engine instance (engine_instance.h). Only
// za32_instance_module is exported; everything else goes through its table.
//
// Every function acts on the copy's own engine and is called by one thread at a time.
#pragma once

#include "engine/za32.h"

#include <cstddef>
#include <cstdint>

extern "C" {

#define ZA32_INSTANCE_MODULE_VERSION 2

// What the engine would show in a message box, handed to the owner as it happens.
typedef void (*Za32BoxFunction)(void* owner, const char* text, const char* caption, unsigned type);

// An engine message at a frame of the block being rendered.
struct Za32ModuleEvent {
  uint32_t frame;
  UINT message; // AM_NOTE .. AM_PAN, or za32::kAllNotesOff (0); others are ignored
  LPARAM lParam;
};

// The float buses a block is added into (see dsemu::FloatBuses).
struct Za32ModuleBuses {
  unsigned count;
  float* left[16];
  float* right[16];
};

struct Za32InstanceModule {
  unsigned version; // ZA32_INSTANCE_MODULE_VERSION
  // Starts the copy's engine at `rate` Hz: the manual clock, a host window, AudioInit.
  // Boxes go to `box` from now on. 1 when it runs, 0 when it cannot (what the engine
  // said went to `box`).
  int (*open)(uint32_t rate, Za32BoxFunction box, void* owner);
  // InitialiseKeyMap with the keys (ZA32_KEYS records) and the bus each plays into;
  // samples no key names any more are unloaded, and the device is readied for the
  // keys' frequencies. The engine's result.
  LONG (*install_keys)(const KeyRecord* keys, const uint8_t* buses);
  // The key map as the engine holds it (ZA32_KEYS records).
  void (*read_keys)(KeyRecord* keys);
  // Renders `frames` frames into `out`, handing each event to the engine's window
  // procedure at its frame (events in frame order; frames at or past the block's end act
  // at its end).
  void (*render)(uint32_t frames, const Za32ModuleEvent* events, size_t count,
                 const Za32ModuleBuses* out);
  // Voices whose buffers are playing now.
  unsigned (*sounding_voices)(void);
  // Every note off, the engine stopped, its samples, device and windows freed: nothing
  // of the copy is left but its code, ready to be unloaded.
  void (*close)(void);
  // Before open: the table (`count` null pointers at first, kept as long as the process)
  // where every copy finds the resampler's kernels another copy made, and leaves those
  // it makes; they depend only on the ratio of a buffer's frequency to the output rate.
  void (*share_kernels)(void* slots, size_t count);
};

__attribute__((visibility("default"))) const Za32InstanceModule* za32_instance_module(void);
}
