// The one platform include of the engine: the system's headers on Windows, the
// emulated platform's headers with the same names and values elsewhere.
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
#include <commdlg.h>
#include <commctrl.h>
#include <objbase.h>
#include <dsound.h>
#else
#include "emul/wintypes.h"
#include "emul/kernel32.h"
#include "emul/user32.h"
#include "emul/mmsystem.h"
#include "emul/mmio.h"
#include "emul/msacm.h"
#include "emul/commdlg.h"
#include "emul/commctrl.h"
#include "emul/fileapi.h"
#include "emul/objbase.h"
#include "emul/dsound/dsound.h"
#endif
