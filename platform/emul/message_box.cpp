// Message boxes go to a replaceable handler: a host shows them its own way, a test
// records them. Without a handler the box is printed to standard error and answered
// with IDOK, as if the user had pressed OK at once.
#include "control.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex handlerLock;
emul::MessageBoxHandler handler;

} // namespace

void emul::SetMessageBoxHandler(MessageBoxHandler newHandler) {
  std::lock_guard guard(handlerLock);
  handler = std::move(newHandler);
}

extern "C" int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  emul::MessageBoxHandler current;
  {
    // A copy, so that the handler may replace itself while its box is open.
    std::lock_guard guard(handlerLock);
    current = handler;
  }
  if (current)
    return current(owner, text, caption, type);
  std::fprintf(stderr, "[%s] %s\n", caption ? caption : "Error", text ? text : "");
  return IDOK;
}
