// The common controls need no set-up here: nothing is drawn.
#include "commctrl.h"

extern "C" void WINAPI InitCommonControls(void) {}
