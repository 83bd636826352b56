// The current directory is the process's own (so relative host paths follow it). Its
// Windows form is remembered as it was set, since two drives may hold the same host
// directory; when the host changed directory behind our back, or the drive table no
// longer leads there, the form is worked out from the drive table again.
#include "drive_table.h"
#include "kernel32.h"
#include "paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex currentLock;
std::string rememberedWindows; // as set
std::string rememberedHost;    // what it resolved to, in normal form
std::string rememberedCwd;     // the host's own name for it after the change

std::string HostCurrentDirectory() {
  char* cwd = getcwd(nullptr, 0);
  if (!cwd)
    return std::string();
  std::string out = cwd;
  std::free(cwd);
  return out;
}

} // namespace

namespace emul {

std::string CurrentWindowsDirectory() {
  std::string cwd = HostCurrentDirectory();
  if (cwd.empty())
    return std::string();
  std::string windows, host;
  {
    std::lock_guard guard(currentLock);
    if (cwd == rememberedCwd) {
      windows = rememberedWindows;
      host = rememberedHost;
    }
  }
  if (!windows.empty()) {
    ResolvedPath resolved;
    DWORD error = 0;
    if (ResolvePath(windows.c_str(), resolved, error) && NormalHostPath(resolved.host) == host)
      return windows;
  }
  return ToWindowsPath(cwd);
}

} // namespace emul

extern "C" DWORD WINAPI GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
  std::string current = emul::CurrentWindowsDirectory();
  if (current.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  DWORD length = static_cast<DWORD>(current.size());
  if (!buffer || bufferLength < length + 1)
    return length + 1;
  std::memcpy(buffer, current.c_str(), current.size() + 1);
  return length;
}

extern "C" BOOL WINAPI SetCurrentDirectoryA(LPCSTR path) {
  emul::ResolvedPath resolved;
  DWORD error = 0;
  if (!emul::ResolvePath(path, resolved, error)) {
    SetLastError(error);
    return FALSE;
  }
  // Windows keeps room for a final backslash and the zero within MAX_PATH.
  if (resolved.windows.size() > MAX_PATH - 2) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  struct stat st;
  if (stat(resolved.host.c_str(), &st) != 0) {
    SetLastError(emul::WindowsErrorFor(errno, resolved));
    return FALSE;
  }
  if (!S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return FALSE;
  }
  if (chdir(resolved.host.c_str()) != 0) {
    SetLastError(emul::WindowsErrorFor(errno, resolved));
    return FALSE;
  }
  std::string cwd = HostCurrentDirectory();
  std::lock_guard guard(currentLock);
  rememberedWindows = resolved.windows;
  rememberedHost = resolved.windows.empty() ? std::string() : emul::NormalHostPath(resolved.host);
  rememberedCwd = cwd;
  return TRUE;
}
