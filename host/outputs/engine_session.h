// The engine as this host runs it: the host's main window, AudioInit and AudioTerm,
// the engine's message boxes as lines on standard error, the key map, and the
// message loop that dispatches what the host posts to the engine window.
#pragma once

#include "kit/kit_model.h"

#include <cstdint>
#include <string>
#include <vector>

enum class AudioOutput { Manual, Null, Live, Jack };

// The output of a command that plays in real time: the command line's choice if it made
// one, else ZA32_AUDIO (sdl or live; jack; null, or manual, which cannot keep real time
// by itself: time kept without a sound card), else the sound card. HostError for another
// value.
AudioOutput PlayingOutput(bool nullOnCommandLine);
// The same with an --audio choice ("sdl", "jack", "null"; empty: none) as well.
AudioOutput ChosenAudioOutput(const std::string& audio, bool nullOnCommandLine);

class EngineSession {
public:
  // Chooses the device's output, creates the host window and calls AudioInit.
  // HostError when the engine cannot start (its message boxes say why).
  explicit EngineSession(AudioOutput output);
  ~EngineSession();
  EngineSession(const EngineSession&) = delete;
  EngineSession& operator=(const EngineSession&) = delete;

  HWND engineWindow() const { return engineWindow_; }

  // InitialiseKeyMap with the kit's keys; HostError naming the first key whose sample
  // the engine could not load. Returns the number of distinct files loaded.
  size_t InstallKit(const Kit& kit);

  void Post(UINT message, LPARAM lParam);
  // Posts a message due at an output frame of the device's clock.
  void PostAt(UINT message, LPARAM lParam, uint64_t dueFrame);
  // Dispatches every message waiting in this thread's queue.
  void Pump();

private:
  HWND hostWindow_ = nullptr;
  HWND engineWindow_ = nullptr;
  std::vector<std::string> boxes_;
  bool holdBoxes_ = false; // keep boxes in heldBoxes_ instead of showing them
  std::vector<std::string> heldBoxes_;
};

// Sample files the engine has loaded for the current key map.
size_t LoadedFileCount();
// Voices sounding now, as the sound device sees them: playing duplicates.
size_t SoundingVoices();
