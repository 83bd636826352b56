// The open and save dialogs.
#pragma once

#include "wintypes.h"
