// Audio compression manager: only the metric the engine asks for.
#pragma once

#include "wintypes.h"

DECLARE_HANDLE(HACMOBJ);
typedef UINT MMRESULT;

#define ACM_METRIC_MAX_SIZE_FORMAT 50

extern "C" {
MMRESULT WINAPI acmMetrics(HACMOBJ object, UINT metric, LPVOID value);
}
