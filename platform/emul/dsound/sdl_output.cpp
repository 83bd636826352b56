// The system's audio output, through SDL2 (ALSA, PulseAudio, PipeWire, ...).
#include "output_backend.h"

#include "device_control.h"

#include "formats.h"

#include <SDL.h>

namespace dsemu {
namespace {

SDL_AudioDeviceID device = 0;
FillFunction filler = nullptr;
unsigned granted = 0;

void Callback(void*, Uint8* stream, int bytes) {
  filler(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(bytes) / 4);
}

bool Open(FillFunction fill, unsigned* period, std::string* reason) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    *reason = SDL_GetError();
    return false;
  }
  SDL_AudioSpec wanted{};
  wanted.freq = OutputRate();
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 2;
  wanted.samples = static_cast<Uint16>(*period);
  wanted.callback = Callback;
  filler = fill;
  // Only the period may change: SDL converts to whatever format the device really takes.
  SDL_AudioSpec obtained{};
  device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
  if (device == 0) {
    *reason = SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  granted = obtained.samples;
  *period = granted;
  return true;
}

bool Start(std::string*) {
  SDL_PauseAudioDevice(device, 0);
  return true;
}

void Stop() {
  SDL_LockAudioDevice(device); // waits for a callback in progress
  SDL_PauseAudioDevice(device, 1);
  SDL_UnlockAudioDevice(device);
}

void Close() {
  SDL_CloseAudioDevice(device);
  device = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// SDL keeps about two periods queued below the callback.
unsigned Held() {
  return 2 * granted;
}

} // namespace

const OutputBackend kSdlOutput{"sdl", true, Open, Start, Stop, Close, nullptr, Held, nullptr};

} // namespace dsemu
