// The system's audio output, through SDL2 (ALSA, PulseAudio, PipeWire, ...).
#include "output_backend.h"

#include <SDL.h>

#include <algorithm>
#include <vector>

namespace dsemu {
namespace {

SDL_AudioDeviceID device = 0;
FillFunction filler = nullptr;
void* fillContext = nullptr;
unsigned granted = 0;
std::vector<float> left, right; // one period, planar

// SDL takes interleaved frames; the fill call makes planar ones, a period at a time.
void Callback(void*, Uint8* stream, int bytes) {
  float* out = reinterpret_cast<float*>(stream);
  float* const channels[2] = {left.data(), right.data()};
  for (size_t done = 0, frames = static_cast<size_t>(bytes) / 8; done < frames;) {
    const size_t count = std::min(frames - done, left.size());
    filler(fillContext, channels, count);
    for (size_t i = 0; i < count; ++i) {
      out[2 * (done + i)] = left[i];
      out[2 * (done + i) + 1] = right[i];
    }
    done += count;
  }
}

bool Open(FillFunction fill, void* context, unsigned* rate, unsigned* period, std::string* reason) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    *reason = SDL_GetError();
    return false;
  }
  SDL_AudioSpec wanted{};
  wanted.freq = static_cast<int>(*rate);
  wanted.format = AUDIO_F32SYS;
  wanted.channels = 2;
  wanted.samples = static_cast<Uint16>(*period);
  wanted.callback = Callback;
  filler = fill;
  fillContext = context;
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
  left.assign(granted, 0.0f);
  right.assign(granted, 0.0f);
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

const OutputBackend kSdlOutput{"sdl",   true, Open,    Start,   Stop,   Close,
                               nullptr, Held, nullptr, nullptr, nullptr};

} // namespace dsemu
