// Window classes: registered per name and instance, names compared without regard to
// case, as Windows does. A class cannot be unregistered while a window of it exists
// (and a window exists until its WM_NCDESTROY has been handled).
#include "control.h"
#include "kernel32.h"
#include "window_internal.h"

#include <cctype>
#include <list>
#include <mutex>
#include <string>

namespace {

struct WindowClass {
  std::string name;
  HINSTANCE instance;
  WNDPROC proc;
  ATOM atom;
  unsigned windows;
};

std::mutex classLock;
std::list<WindowClass> classes;
ATOM nextAtom = 0xC000;

// An atom passed in place of a name: MAKEINTATOM leaves the high bits zero.
bool IsAtom(LPCSTR name) {
  return reinterpret_cast<uintptr_t>(name) < 0x10000;
}

bool SameName(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return i == a.size() && !b[i];
}

bool Names(const WindowClass& c, LPCSTR name) {
  if (IsAtom(name))
    return c.atom == static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
  return SameName(c.name, name);
}

WindowClass* Find(LPCSTR name, HINSTANCE instance) {
  for (WindowClass& c : classes)
    if (c.instance == instance && Names(c, name))
      return &c;
  return nullptr;
}

ATOM FreeAtom() {
  for (;;) {
    ATOM atom = nextAtom;
    nextAtom = nextAtom == 0xFFFF ? 0xC000 : nextAtom + 1;
    bool used = false;
    for (const WindowClass& c : classes)
      used = used || c.atom == atom;
    if (!used)
      return atom;
  }
}

} // namespace

extern "C" ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
  if (emul::SystemCallFails(emul::SystemCall::RegisterClass)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  if (!wc || !wc->lpfnWndProc || IsAtom(wc->lpszClassName) || !*wc->lpszClassName ||
      wc->cbClsExtra < 0 || wc->cbWndExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard guard(classLock);
  if (Find(wc->lpszClassName, wc->hInstance)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  ATOM atom = FreeAtom();
  classes.push_back({wc->lpszClassName, wc->hInstance, wc->lpfnWndProc, atom, 0});
  return atom;
}

extern "C" BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE instance) {
  if (!className) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  std::lock_guard guard(classLock);
  for (auto it = classes.begin(); it != classes.end(); ++it) {
    if (it->instance != instance || !Names(*it, className))
      continue;
    if (it->windows) {
      SetLastError(ERROR_CLASS_HAS_WINDOWS);
      return FALSE;
    }
    classes.erase(it);
    return TRUE;
  }
  SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
  return FALSE;
}

// Only the system's own cursors (IDC_ARROW and its kin, loaded with a null instance)
// exist here; the handle is a token that nothing draws.
extern "C" HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
  auto id = reinterpret_cast<uintptr_t>(name);
  if (instance || !IsAtom(name) || id < 32512 || id > 32651) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HCURSOR>(0x30000 + id);
}

namespace emul::detail {

// A class of the window's own instance is preferred; otherwise any class of that name
// serves, as Windows finds a class registered by another module of the process.
bool AttachWindowToClass(LPCSTR className, HINSTANCE instance, WNDPROC* proc, ATOM* atom) {
  if (!className)
    return false;
  std::lock_guard guard(classLock);
  WindowClass* found = Find(className, instance);
  for (auto it = classes.begin(); !found && it != classes.end(); ++it)
    if (Names(*it, className))
      found = &*it;
  if (!found)
    return false;
  ++found->windows;
  *proc = found->proc;
  *atom = found->atom;
  return true;
}

void DetachWindowFromClass(ATOM atom) {
  std::lock_guard guard(classLock);
  for (WindowClass& c : classes)
    if (c.atom == atom && c.windows) {
      --c.windows;
      return;
    }
}

} // namespace emul::detail
