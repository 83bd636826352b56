// The outputs of the device that a build leaves out: the self-contained module of the
// engine instances links no audio system and no sound file library. Its clock is the
// manual one; these say why the others cannot be had.
#include "output_backend.h"
#include "wav_sink.h"

#include "device_control.h"

namespace dsemu {
namespace {

bool OpenAbsent(FillFunction, void*, unsigned*, unsigned*, std::string* reason) {
  *reason = "this build of the sound device has no such output";
  return false;
}
bool StartAbsent(std::string*) {
  return false;
}
void StopAbsent() {}
unsigned HeldAbsent() {
  return 0;
}

} // namespace

const OutputBackend kSdlOutput{"sdl",   true,       OpenAbsent, StartAbsent, StopAbsent, StopAbsent,
                               nullptr, HeldAbsent, nullptr,    nullptr,     nullptr};
const OutputBackend kJackOutput{"jack",     true,       OpenAbsent, StartAbsent,
                                StopAbsent, StopAbsent, nullptr,    HeldAbsent,
                                nullptr,    nullptr,    nullptr};

bool WavCaptureOpen() {
  return false;
}
void WriteToWavCapture(const int16_t*, size_t) {}
bool StartWavCapture(const char*) {
  return false;
}
bool StopWavCapture() {
  return false;
}

} // namespace dsemu
