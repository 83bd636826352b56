// Files, directories and drives, with Windows-style paths.
#pragma once

#include "wintypes.h"
