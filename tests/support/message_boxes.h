// Records every message box while it lives, answering IDOK, instead of printing it.
#pragma once

#include "platform/emul/control.h"

#include <functional>
#include <string>
#include <vector>

struct MessageBoxCall {
  HWND owner;
  std::string text;
  std::string caption;
  UINT type;
};

class MessageBoxRecorder {
public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  const std::vector<MessageBoxCall>& calls() const { return calls_; }
  void clear() { calls_.clear(); }
  // Runs while a box is "open", after it was recorded: a test may pump messages here
  // as the modal loop would.
  void whileOpen(std::function<void(const MessageBoxCall&)> action) { whileOpen_ = action; }

private:
  std::vector<MessageBoxCall> calls_;
  std::function<void(const MessageBoxCall&)> whileOpen_;
};
