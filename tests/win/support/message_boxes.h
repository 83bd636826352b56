// Message boxes must not stop a headless run: a thread-local computer-based-training
// hook sees every dialog of class "#32770" being created on the test's thread, posts it
// IDOK at once, and records what it said, so that failure messages are checked too.
// The same hook notes the engine windows created on the thread (also those whose
// creation fails).
#pragma once

#include "engine/state.h"
#include "host_window.h"

#include <ostream>
#include <string>
#include <vector>

enum class BoxIcon { None, Error, Warning, Information, Question };

struct MessageBoxSeen {
  HWND owner;
  std::string caption;
  std::string text;
  BoxIcon icon;
};

std::ostream& operator<<(std::ostream& out, const MessageBoxSeen& box);
std::ostream& operator<<(std::ostream& out, const std::vector<MessageBoxSeen>& boxes);

class MessageBoxWatcher {
public:
  MessageBoxWatcher();
  ~MessageBoxWatcher();
  MessageBoxWatcher(const MessageBoxWatcher&) = delete;
  MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

  const std::vector<MessageBoxSeen>& boxes() const { return boxes_; }
  void clear() { boxes_.clear(); }
  // Every window of class "ZA32" created on this thread since the watcher started.
  const std::vector<HWND>& engineWindowsCreated() const { return engineWindows_; }
  // Where the window system does not send WM_DESTROY to a window whose WM_CREATE
  // returned -1, deliver it to the engine windows created from now on, at the moment
  // Windows would: right after WM_CREATE, while the window still exists.
  void CompleteFailedCreations() { completeFailedCreations_ = !DestroyFollowsFailedCreate(); }

private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
  void Record(HWND dialog);

  HHOOK hook_ = nullptr;
  std::vector<HWND> pendingDialogs_;
  std::vector<MessageBoxSeen> boxes_;
  std::vector<HWND> engineWindows_;
  bool completeFailedCreations_ = false;
};
