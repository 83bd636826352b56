// What the emulation's window, class and message-queue files tell one another; not
// for the engine or hosts.
#pragma once

#include "user32.h"

namespace emul::detail {

// Finds the class a new window of `className` (a name or an atom) and `instance` uses
// and counts the window against it; false when there is no such class.
bool AttachWindowToClass(LPCSTR className, HINSTANCE instance, WNDPROC* proc, ATOM* atom);
void DetachWindowFromClass(ATOM atom);

// The thread that owns `window`; false when the handle is not a window.
bool WindowThread(HWND window, DWORD* thread);
// True when `window` is `ancestor` or one of its descendants.
bool IsSelfOrDescendant(HWND window, HWND ancestor);

// Drops the messages posted to `window` that still wait in `thread`'s queue.
void DiscardPostedMessages(DWORD thread, HWND window);

} // namespace emul::detail
