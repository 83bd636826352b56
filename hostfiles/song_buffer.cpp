#include "hostfiles.h"

LPVOID SongBuffer;

// The host's song memory: the engine never allocates, frees or resizes it.
extern "C" LONG WINAPI PassPointer(LPVOID songBuffer) {
  SongBuffer = songBuffer;
  return 1;
}
