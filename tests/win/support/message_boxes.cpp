#include "message_boxes.h"

#include <algorithm>

namespace {
thread_local MessageBoxWatcher* activeWatcher = nullptr;

std::string ClassOf(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

BoxIcon IconOf(HICON icon) {
  if (!icon)
    return BoxIcon::None;
  if (icon == LoadIconA(nullptr, IDI_ERROR))
    return BoxIcon::Error;
  if (icon == LoadIconA(nullptr, IDI_WARNING))
    return BoxIcon::Warning;
  if (icon == LoadIconA(nullptr, IDI_INFORMATION))
    return BoxIcon::Information;
  if (icon == LoadIconA(nullptr, IDI_QUESTION))
    return BoxIcon::Question;
  return BoxIcon::None;
}

// The engine window's procedure for a window system that leaves out the WM_DESTROY
// of a failed creation: the original procedure, followed by that WM_DESTROY.
thread_local WNDPROC engineProcedure = nullptr;

LRESULT CALLBACK CompleteFailedCreate(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = CallWindowProcA(engineProcedure, window, message, wParam, lParam);
  if (message == WM_CREATE && result == -1)
    CallWindowProcA(engineProcedure, window, WM_DESTROY, 0, 0);
  return result;
}

const char* NameOf(BoxIcon icon) {
  switch (icon) {
  case BoxIcon::Error:
    return "error";
  case BoxIcon::Warning:
    return "warning";
  case BoxIcon::Information:
    return "information";
  case BoxIcon::Question:
    return "question";
  case BoxIcon::None:
    break;
  }
  return "none";
}
} // namespace

std::ostream& operator<<(std::ostream& out, const MessageBoxSeen& box) {
  return out << "{owner " << box.owner << ", \"" << box.caption << "\", \"" << box.text
             << "\", icon " << NameOf(box.icon) << "}";
}

std::ostream& operator<<(std::ostream& out, const std::vector<MessageBoxSeen>& boxes) {
  out << boxes.size() << " message box(es)";
  for (const auto& box : boxes)
    out << "\n  " << box;
  return out;
}

MessageBoxWatcher::MessageBoxWatcher() {
  activeWatcher = this;
  hook_ = SetWindowsHookExA(WH_CBT, Hook, nullptr, GetCurrentThreadId());
}

MessageBoxWatcher::~MessageBoxWatcher() {
  if (hook_)
    UnhookWindowsHookEx(hook_);
  if (activeWatcher == this)
    activeWatcher = nullptr;
}

// The text is the box's one static control that is not its icon.
void MessageBoxWatcher::Record(HWND dialog) {
  auto pending = std::find(pendingDialogs_.begin(), pendingDialogs_.end(), dialog);
  if (pending == pendingDialogs_.end())
    return;
  pendingDialogs_.erase(pending);
  MessageBoxSeen box{GetWindow(dialog, GW_OWNER), TextOf(dialog), "", BoxIcon::None};
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    std::string childClass = ClassOf(child);
    if (lstrcmpiA(childClass.c_str(), "Static") != 0)
      continue;
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      box.icon = IconOf(reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0)));
    } else {
      std::string text = TextOf(child);
      if (!text.empty())
        box.text = text;
    }
  }
  boxes_.push_back(box);
}

LRESULT CALLBACK MessageBoxWatcher::Hook(int code, WPARAM wParam, LPARAM lParam) {
  MessageBoxWatcher* self = activeWatcher;
  HWND window = reinterpret_cast<HWND>(wParam);
  if (self && code == HCBT_CREATEWND) {
    std::string windowClass = ClassOf(window);
    if (windowClass == "#32770") {
      self->pendingDialogs_.push_back(window);
      PostMessageA(window, WM_COMMAND, IDOK, 0);
    } else if (windowClass == "ZA32") {
      self->engineWindows_.push_back(window);
      if (self->completeFailedCreations_)
        engineProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CompleteFailedCreate)));
    }
  } else if (self && code == HCBT_DESTROYWND) {
    // Just before it goes the box still has its owner and its controls, all filled in.
    self->Record(window);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
