// The sample browser's listing of the current directory: the folder run (directories
// in brackets, WAV files without their extension), sorted; then the drive run, in the
// system's order; then the empty string.
#include "hostfiles.h"

#include <cstring>
#include <vector>

namespace {

void Append(std::vector<char>& list, LPCSTR text) {
  list.insert(list.end(), text, text + lstrlenA(text) + 1);
}

// The entry's name in the list, or FALSE when it is not listed. A file is listed when
// its extension part, everything from the first dot, reads ".WAV" in capitals; its list
// name is the part before that dot.
BOOL ListName(const WIN32_FIND_DATAA& found, char (&name)[MAX_PATH + 3]) {
  char fileName[MAX_PATH];
  lstrcpynA(fileName, found.cFileName, sizeof fileName);
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    lstrcpyA(name, "[");
    lstrcatA(name, fileName);
    lstrcatA(name, "]");
    return TRUE;
  }
  LPSTR extension = std::strchr(fileName, '.');
  if (!extension)
    return FALSE;
  UpperCaseAscii(extension);
  if (lstrcmpA(extension, ".WAV") != 0)
    return FALSE;
  *extension = 0;
  lstrcpyA(name, fileName);
  // A file named ".wav" alone would give an empty string, which ends the list early.
  return name[0] != 0;
}

// Builds the whole list; FALSE when the current directory yields no entry at all.
BOOL BuildFileList(std::vector<char>& list) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA("*", &found);
  if (search == INVALID_HANDLE_VALUE)
    return FALSE;
  do {
    char name[MAX_PATH + 3];
    if (ListName(found, name) && lstrlenA(name) < FILE_LIST_NAME_LIMIT)
      Append(list, name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  SortPackedStrings(list.data(), list.data() + list.size());

  char drives[1024];
  DWORD length = GetLogicalDriveStringsA(sizeof drives, drives);
  if (length > 0 && length < sizeof drives) {
    for (LPSTR root = drives; *root; root += lstrlenA(root) + 1) {
      char entry[sizeof drives + 2];
      lstrcpyA(entry, "[");
      lstrcatA(entry, root);
      UpperCaseAscii(entry);
      int end = lstrlenA(entry);
      if (entry[end - 1] == '\\')
        entry[--end] = 0;
      lstrcatA(entry, "]");
      Append(list, entry);
    }
  }
  list.push_back(0);
  return TRUE;
}

} // namespace

extern "C" LONG WINAPI GetFileList(LPSTR buffer) {
  std::vector<char> list;
  if (!buffer || !BuildFileList(list))
    return 0;
  std::memcpy(buffer, list.data(), list.size());
  return 1;
}

extern "C" LONG WINAPI GetFileListEx(LPSTR buffer, DWORD capacity) {
  std::vector<char> list;
  if (!BuildFileList(list))
    return 0;
  if (!buffer)
    capacity = 0;
  if (list.size() <= capacity) {
    std::memcpy(buffer, list.data(), list.size());
    return 1;
  }
  // Whole entries while they and the closing empty string fit.
  size_t written = 0;
  while (list[written]) {
    size_t bytes = std::strlen(list.data() + written) + 1;
    if (written + bytes + 1 > capacity)
      break;
    std::memcpy(buffer + written, list.data() + written, bytes);
    written += bytes;
  }
  if (capacity > 0)
    buffer[written] = 0;
  const size_t largest = 0x7FFFFFFF;
  return -static_cast<LONG>(list.size() < largest ? list.size() : largest);
}
