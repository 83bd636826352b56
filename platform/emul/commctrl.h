// Common controls: initialised by the engine before it creates its window.
#pragma once

#include "wintypes.h"

extern "C" {
void WINAPI InitCommonControls(void);
}
