// Buffered multimedia file I/O (RIFF chunks).
#pragma once

#include "mmsystem.h"
