// A file dialog handler that gives scripted answers in turn, recording every request
// (with a copy of the caller's structure as it was passed), and cancels once the
// script has run out.
#pragma once

#include "platform/emul/dialogs.h"

#include <deque>
#include <vector>

struct RecordedDialog {
  emul::FileDialogRequest request;
  OPENFILENAMEA dialog; // the fields as the caller filled them in
};

class ScriptedDialog {
public:
  ScriptedDialog();
  ~ScriptedDialog();
  ScriptedDialog(const ScriptedDialog&) = delete;
  ScriptedDialog& operator=(const ScriptedDialog&) = delete;

  ScriptedDialog& choose(const std::string& name);
  ScriptedDialog& cancel();
  const std::vector<RecordedDialog>& shown() const { return shown_; }

private:
  std::deque<emul::FileDialogAnswer> answers_;
  std::vector<RecordedDialog> shown_;
};
