// The audio compression manager, as far as the engine asks it: the size of the
// largest wave format block the system knows.
#include "control.h"
#include "mmsystem.h"
#include "msacm.h"

namespace {

// The adaptive PCM format block (18 bytes and 32 of coefficients) is the largest of
// the system's standard codecs.
constexpr DWORD LargestFormatBlock = 50;

} // namespace

extern "C" MMRESULT WINAPI acmMetrics(HACMOBJ object, UINT metric, LPVOID value) {
  if (!value)
    return MMSYSERR_INVALPARAM;
  if (metric != ACM_METRIC_MAX_SIZE_FORMAT)
    return MMSYSERR_NOTSUPPORTED;
  if (object)
    return MMSYSERR_INVALHANDLE;
  if (emul::SystemCallFails(emul::SystemCall::AcmMetrics))
    return MMSYSERR_ERROR;
  *static_cast<DWORD*>(value) = LargestFormatBlock;
  return MMSYSERR_NOERROR;
}
