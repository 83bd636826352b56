#include "live_output.h"

#include "cursor.h"
#include "formats.h"

#include <SDL.h>

namespace dsemu {
namespace {

SDL_AudioDeviceID device = 0;
void (*filler)(int16_t*, size_t) = nullptr;

void Callback(void*, Uint8* stream, int bytes) {
  filler(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(bytes) / 4);
}

} // namespace

bool OpenLiveOutput(void (*fill)(int16_t* frames, size_t count), std::string* reason) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    *reason = SDL_GetError();
    return false;
  }
  SDL_AudioSpec wanted{};
  wanted.freq = kOutputRate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 2;
  wanted.samples = kPeriodFrames;
  wanted.callback = Callback;
  filler = fill;
  // No changes allowed: SDL converts to whatever the device really takes.
  device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
  if (device == 0) {
    *reason = SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  SDL_PauseAudioDevice(device, 0);
  return true;
}

void CloseLiveOutput() {
  if (device == 0)
    return;
  SDL_CloseAudioDevice(device);
  device = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

} // namespace dsemu
