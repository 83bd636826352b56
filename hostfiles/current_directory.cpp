// The process's current directory, shared with the host: WAV names without a directory
// are loaded from it.
#include "hostfiles.h"

namespace {

const DWORD DirectoryBufferLength = 280;
const BYTE CdSampleMarker = 0xFF;

} // namespace

// With the marker in the buffer's first byte and a CD-ROM drive present, enters the CD
// sample directory; otherwise reports the current directory.
extern "C" LONG WINAPI GetDirectory(LPSTR buffer) {
  if (!buffer)
    return 0;
  char root[4];
  if (static_cast<BYTE>(buffer[0]) == CdSampleMarker && FindFirstCdRoot(root)) {
    lstrcpyA(buffer, root);
    lstrcatA(buffer, CdSampleDirectory);
    return SetCurrentDirectoryA(buffer);
  }
  DWORD length = GetCurrentDirectoryA(DirectoryBufferLength, buffer);
  // A directory too long for the buffer was not written: report a failure over an empty
  // string rather than a length over whatever the buffer held.
  if (length == 0 || length >= DirectoryBufferLength) {
    buffer[0] = 0;
    return 0;
  }
  return static_cast<LONG>(length);
}

extern "C" LONG WINAPI SetDirectory(LPCSTR path) {
  if (!path)
    return 0;
  return SetCurrentDirectoryA(path);
}
