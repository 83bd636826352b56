#include "hostfiles.h"

// Only ASCII letters change: drive roots and file extensions are compared in capitals
// whatever the system's code page does with other bytes.
void UpperCaseAscii(LPSTR text) {
  for (; *text; ++text)
    if (*text >= 'a' && *text <= 'z')
      *text = static_cast<char>(*text - 'a' + 'A');
}
