// Global memory as the sample store holds it: allocated and locked in one step, unlocked
// and freed in one step.
#include "samples.h"

void* AllocateGlobalBlock(SIZE_T bytes, UINT flags) {
  HGLOBAL block = GlobalAlloc(flags, bytes);
  void* memory = block ? GlobalLock(block) : nullptr;
  if (!memory && block)
    GlobalFree(block);
  return memory;
}

void FreeGlobalBlock(void* memory) {
  HGLOBAL block = GlobalHandle(memory);
  GlobalUnlock(block);
  GlobalFree(block);
}
