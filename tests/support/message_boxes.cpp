#include "message_boxes.h"

MessageBoxRecorder::MessageBoxRecorder() {
  emul::SetMessageBoxHandler([this](HWND owner, const char* text, const char* caption,
                                    UINT type) {
    calls_.push_back({owner, text ? text : "", caption ? caption : "", type});
    if (whileOpen_) {
      MessageBoxCall call = calls_.back();
      whileOpen_(call);
    }
    return IDOK;
  });
}

MessageBoxRecorder::~MessageBoxRecorder() { emul::SetMessageBoxHandler(nullptr); }
