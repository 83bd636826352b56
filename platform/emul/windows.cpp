// Windows: creation with WM_NCCREATE and WM_CREATE, parents and children, visibility,
// focus, painting and destruction, as the engine and its hosts can observe them on
// Windows. Handles are never reused, so a destroyed window's handle stays invalid.
//
// A window belongs to the thread that created it. Window procedures are always called
// without any lock held, so they may create, destroy and message windows freely.
#include "control.h"
#include "kernel32.h"
#include "window_internal.h"

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

struct Window {
  WNDPROC proc;
  ATOM atom;
  DWORD thread;
  HINSTANCE instance;
  HWND parent;
  std::vector<HWND> children;
  bool visible;
  bool destroying;
};

std::mutex windowLock;
std::unordered_map<HWND, Window> windows;
uintptr_t nextHandle = 0x10010;

// Focus is kept per thread, as each Windows thread has its own input state.
thread_local HWND focus = nullptr;

Window* Find(HWND window) {
  auto it = windows.find(window);
  return it == windows.end() ? nullptr : &it->second;
}

bool IsSelfOrDescendantLocked(HWND window, HWND ancestor) {
  for (Window* w; window; window = w->parent) {
    if (window == ancestor)
      return true;
    if (!(w = Find(window)))
      return false;
  }
  return false;
}

LRESULT CallProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc;
  {
    std::lock_guard guard(windowLock);
    Window* w = Find(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    proc = w->proc;
  }
  return proc(window, message, wParam, lParam);
}

std::vector<HWND> ChildrenOf(HWND window) {
  std::lock_guard guard(windowLock);
  Window* w = Find(window);
  return w ? w->children : std::vector<HWND>{};
}

// WM_DESTROY goes to the window first, then to its children, which still exist
// while their parent handles it.
void SendDestroy(HWND window) {
  {
    std::lock_guard guard(windowLock);
    Window* w = Find(window);
    if (!w)
      return;
    w->destroying = true;
    w->visible = false;
    if (focus && IsSelfOrDescendantLocked(focus, window))
      focus = nullptr;
  }
  CallProc(window, WM_DESTROY, 0, 0);
  for (HWND child : ChildrenOf(window)) {
    bool pending;
    {
      std::lock_guard guard(windowLock);
      Window* c = Find(child);
      pending = c && !c->destroying;
    }
    if (pending)
      SendDestroy(child);
  }
}

// The children are freed first; each window gets WM_NCDESTROY as its last message.
void FreeWindow(HWND window) {
  for (HWND child : ChildrenOf(window)) {
    bool alive, pending;
    {
      std::lock_guard guard(windowLock);
      Window* c = Find(child);
      alive = c != nullptr;
      pending = c && !c->destroying;
    }
    if (pending)
      SendDestroy(child);
    if (alive)
      FreeWindow(child);
  }
  CallProc(window, WM_NCDESTROY, 0, 0);
  ATOM atom;
  DWORD thread;
  {
    std::lock_guard guard(windowLock);
    Window* w = Find(window);
    if (!w)
      return;
    atom = w->atom;
    thread = w->thread;
    for (HWND child : w->children)
      if (Window* c = Find(child))
        c->parent = nullptr;
    if (Window* parent = Find(w->parent))
      std::erase(parent->children, window);
    if (focus == window)
      focus = nullptr;
    windows.erase(window);
  }
  emul::detail::DetachWindowFromClass(atom);
  emul::detail::DiscardPostedMessages(thread, window);
}

} // namespace

extern "C" HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName,
                                       DWORD style, int x, int y, int width, int height,
                                       HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  if (emul::SystemCallFails(emul::SystemCall::CreateWindow)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if ((style & WS_CHILD) && !parent) {
    SetLastError(ERROR_TLW_WITH_WSCHILD);
    return nullptr;
  }
  WNDPROC proc;
  ATOM atom;
  if (!emul::detail::AttachWindowToClass(className, instance, &proc, &atom)) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  HWND window;
  {
    std::lock_guard guard(windowLock);
    Window* parentWindow = nullptr;
    if (parent && !(parentWindow = Find(parent))) {
      emul::detail::DetachWindowFromClass(atom);
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    window = reinterpret_cast<HWND>(nextHandle);
    nextHandle += 2;
    windows.emplace(window,
                    Window{proc, atom, GetCurrentThreadId(), instance, parent, {}, false, false});
    if (parentWindow)
      parentWindow->children.push_back(window);
  }

  CREATESTRUCTA create{
      param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
      windowName, className, exStyle};
  if (!CallProc(window, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) {
    // A window refused at WM_NCCREATE never saw WM_CREATE: it only gets WM_NCDESTROY.
    {
      std::lock_guard guard(windowLock);
      if (Window* w = Find(window))
        w->destroying = true;
    }
    FreeWindow(window);
    return nullptr;
  }
  if (!IsWindow(window))
    return nullptr;
  if (CallProc(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(window);
    return nullptr;
  }
  std::lock_guard guard(windowLock);
  Window* w = Find(window);
  if (!w || w->destroying)
    return nullptr;
  if (style & WS_VISIBLE)
    w->visible = true;
  return window;
}

extern "C" BOOL WINAPI DestroyWindow(HWND window) {
  {
    std::lock_guard guard(windowLock);
    Window* w = Find(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (w->thread != GetCurrentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (w->destroying)
      return TRUE;
  }
  SendDestroy(window);
  FreeWindow(window);
  return TRUE;
}

extern "C" BOOL WINAPI IsWindow(HWND window) {
  std::lock_guard guard(windowLock);
  return Find(window) != nullptr;
}

extern "C" BOOL WINAPI IsWindowVisible(HWND window) {
  std::lock_guard guard(windowLock);
  for (Window* w; window; window = w->parent)
    if (!(w = Find(window)) || !w->visible)
      return FALSE;
  return TRUE;
}

// Returns whether the window was visible before.
extern "C" BOOL WINAPI ShowWindow(HWND window, int command) {
  std::lock_guard guard(windowLock);
  Window* w = Find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  BOOL was = w->visible;
  w->visible = command != SW_HIDE;
  return was;
}

// Returns the previous parent: null both for a top-level window and on failure, which
// GetLastError tells apart.
extern "C" HWND WINAPI SetParent(HWND child, HWND newParent) {
  std::lock_guard guard(windowLock);
  Window* w = Find(child);
  Window* parent = newParent ? Find(newParent) : nullptr;
  if (!w || (newParent && !parent)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (newParent && IsSelfOrDescendantLocked(newParent, child)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HWND previous = w->parent;
  if (Window* old = Find(previous))
    std::erase(old->children, child);
  w->parent = newParent;
  if (parent)
    parent->children.push_back(child);
  SetLastError(ERROR_SUCCESS);
  return previous;
}

extern "C" HWND WINAPI GetParent(HWND window) {
  std::lock_guard guard(windowLock);
  Window* w = Find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return w->parent;
}

// Moves the calling thread's focus, telling the window that loses it and the one that
// gains it; null removes the focus. Returns the window that had it.
extern "C" HWND WINAPI SetFocus(HWND window) {
  HWND previous;
  {
    std::lock_guard guard(windowLock);
    if (window) {
      Window* w = Find(window);
      if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
      }
      if (w->thread != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
      }
    }
    previous = focus && Find(focus) ? focus : nullptr;
    if (previous == window)
      return previous;
    focus = window;
  }
  if (previous)
    CallProc(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
  if (window)
    CallProc(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

extern "C" HWND WINAPI GetFocus(void) {
  std::lock_guard guard(windowLock);
  return focus && Find(focus) ? focus : nullptr;
}

extern "C" LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_NCCREATE:
    return TRUE;
  case WM_CLOSE:
    DestroyWindow(window);
    return 0;
  case WM_PAINT: {
    PAINTSTRUCT paint;
    if (BeginPaint(window, &paint))
      EndPaint(window, &paint);
    return 0;
  }
  default:
    return 0;
  }
}

// Calls the window's procedure at once on the calling thread; a send to another
// thread's window is not marshalled to that thread.
extern "C" LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return CallProc(window, message, wParam, lParam);
}

// Nothing is drawn: the device context is a token and the region to paint is empty.
extern "C" HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint) {
  if (!paint || !IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  *paint = PAINTSTRUCT{};
  paint->hdc = reinterpret_cast<HDC>(reinterpret_cast<uintptr_t>(window) | 1);
  return paint->hdc;
}

extern "C" BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
  return paint != nullptr && IsWindow(window);
}

size_t emul::LiveWindows() {
  std::lock_guard guard(windowLock);
  return windows.size();
}

namespace emul::detail {

bool WindowThread(HWND window, DWORD* thread) {
  std::lock_guard guard(windowLock);
  Window* w = Find(window);
  if (w)
    *thread = w->thread;
  return w != nullptr;
}

bool IsSelfOrDescendant(HWND window, HWND ancestor) {
  std::lock_guard guard(windowLock);
  return IsSelfOrDescendantLocked(window, ancestor);
}

} // namespace emul::detail
