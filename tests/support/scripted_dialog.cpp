#include "scripted_dialog.h"

ScriptedDialog::ScriptedDialog() {
  emul::SetFileDialogHandler([this](const emul::FileDialogRequest& request) {
    shown_.push_back(RecordedDialog{request, *request.dialog});
    if (answers_.empty())
      return emul::FileDialogAnswer::Cancel();
    emul::FileDialogAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
  });
}

ScriptedDialog::~ScriptedDialog() {
  emul::SetFileDialogHandler(nullptr);
}

ScriptedDialog& ScriptedDialog::choose(const std::string& name) {
  answers_.push_back(emul::FileDialogAnswer::Choose(name));
  return *this;
}

ScriptedDialog& ScriptedDialog::cancel() {
  answers_.push_back(emul::FileDialogAnswer::Cancel());
  return *this;
}
