// The system's audio output, through SDL2 (ALSA, PulseAudio, PipeWire, ...).
#include "output_backend.h"

#include <SDL.h>

#include <dlfcn.h>

#include <algorithm>
#include <string>
#include <type_traits>
#include <vector>

namespace dsemu {
namespace {

// SDL2, and the forty-odd libraries it needs (X11, Wayland, PulseAudio, D-Bus, ...), are
// loaded when this output is first opened rather than with every program that links the
// device: a render or an import does not spend its start-up on them. Never unloaded (SDL
// may keep threads of its own).
struct Sdl {
  decltype(&SDL_InitSubSystem) InitSubSystem;
  decltype(&SDL_QuitSubSystem) QuitSubSystem;
  decltype(&SDL_GetError) GetError;
  decltype(&SDL_OpenAudioDevice) OpenAudioDevice;
  decltype(&SDL_CloseAudioDevice) CloseAudioDevice;
  decltype(&SDL_PauseAudioDevice) PauseAudioDevice;
  decltype(&SDL_LockAudioDevice) LockAudioDevice;
  decltype(&SDL_UnlockAudioDevice) UnlockAudioDevice;
};

constexpr const char* kSdlLibrary = "libSDL2-2.0.so.0";

Sdl sdl{};

// False, with the reason, when the library or one of its functions is not there.
bool LoadSdl(std::string* reason) {
  static const std::string failure = [] {
    void* library = dlopen(kSdlLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      const char* error = dlerror();
      return std::string(error ? error : kSdlLibrary);
    }
    bool found = true;
    auto find = [&](auto& function, const char* name) {
      function =
          reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
      found = found && function;
    };
    find(sdl.InitSubSystem, "SDL_InitSubSystem");
    find(sdl.QuitSubSystem, "SDL_QuitSubSystem");
    find(sdl.GetError, "SDL_GetError");
    find(sdl.OpenAudioDevice, "SDL_OpenAudioDevice");
    find(sdl.CloseAudioDevice, "SDL_CloseAudioDevice");
    find(sdl.PauseAudioDevice, "SDL_PauseAudioDevice");
    find(sdl.LockAudioDevice, "SDL_LockAudioDevice");
    find(sdl.UnlockAudioDevice, "SDL_UnlockAudioDevice");
    return found ? std::string() : std::string(kSdlLibrary) + " lacks a function this output needs";
  }();
  if (!failure.empty())
    *reason = failure;
  return failure.empty();
}

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
  if (!LoadSdl(reason))
    return false;
  if (sdl.InitSubSystem(SDL_INIT_AUDIO) != 0) {
    *reason = sdl.GetError();
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
  device = sdl.OpenAudioDevice(nullptr, 0, &wanted, &obtained, SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
  if (device == 0) {
    *reason = sdl.GetError();
    sdl.QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  granted = obtained.samples;
  *period = granted;
  left.assign(granted, 0.0f);
  right.assign(granted, 0.0f);
  return true;
}

bool Start(std::string*) {
  sdl.PauseAudioDevice(device, 0);
  return true;
}

void Stop() {
  sdl.LockAudioDevice(device); // waits for a callback in progress
  sdl.PauseAudioDevice(device, 1);
  sdl.UnlockAudioDevice(device);
}

void Close() {
  sdl.CloseAudioDevice(device);
  device = 0;
  sdl.QuitSubSystem(SDL_INIT_AUDIO);
}

// SDL keeps about two periods queued below the callback.
unsigned Held() {
  return 2 * granted;
}

} // namespace

const OutputBackend kSdlOutput{"sdl",   true, Open,    Start,   Stop,   Close,
                               nullptr, Held, nullptr, nullptr, nullptr};

} // namespace dsemu
