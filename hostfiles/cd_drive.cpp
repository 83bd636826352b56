// Finding the product CD-ROM: the first CD-ROM drive in the system's order of drives.
#include "hostfiles.h"

const char CdSampleDirectory[] = "samples\\140bpm\\drum";

BOOL FindFirstCdRoot(LPSTR root) {
  char drives[280];
  DWORD length = GetLogicalDriveStringsA(sizeof drives, drives);
  if (length == 0 || length >= sizeof drives)
    return FALSE;
  for (LPSTR each = drives; *each; each += lstrlenA(each) + 1) {
    // Every drive root is a letter, a colon and a backslash; anything longer cannot be
    // handed back in the host's four bytes.
    if (lstrlenA(each) <= 3 && GetDriveTypeA(each) == DRIVE_CDROM) {
      UpperCaseAscii(each);
      lstrcpyA(root, each);
      return TRUE;
    }
  }
  return FALSE;
}

extern "C" LONG WINAPI FindCD(LPSTR buffer) {
  if (!buffer)
    return 0;
  if (FindFirstCdRoot(buffer))
    return 1;
  buffer[0] = 0;
  return 0;
}
