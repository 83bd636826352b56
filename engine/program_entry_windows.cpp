// Started as a program rather than loaded by a host, the module does nothing.
#include "state.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return 0;
}
