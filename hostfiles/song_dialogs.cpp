// Choosing song files through the system's open and save dialogs.
#include "hostfiles.h"

#include <cstring>

const char SongFileFilter[] = "Zandoria Files\0*.ZAN\0"; // the literal's own zero ends the list
const char SongFileExtension[] = "ZAN";

namespace {

// The structure's size before Windows 2000 added its last fields; every Windows takes it.
const DWORD OpenFileNameSize = 76;
const DWORD ChosenNameLength = 256;

// Shows the open or save dialog until the user cancels or chooses a name with the song
// extension; a name with another extension brings the dialog back, filled in afresh.
BOOL AskForSongFile(const SongFileRecord* record, BOOL save, LPSTR chosen) {
  // The host's record may hold anything; the dialog gets terminated copies.
  char directory[sizeof record->Directory];
  lstrcpynA(directory, record->Directory, sizeof directory);
  for (;;) {
    OPENFILENAMEA dialog;
    std::memset(&dialog, 0, sizeof dialog);
    chosen[0] = 0;
    if (save)
      lstrcpynA(chosen, record->Path, ChosenNameLength);
    dialog.lStructSize = OpenFileNameSize;
    dialog.hwndOwner = EngineWindow;
    dialog.hInstance = Instance;
    dialog.lpstrFilter = SongFileFilter;
    dialog.lpstrCustomFilter = nullptr;
    dialog.nMaxCustFilter = 0;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = ChosenNameLength;
    dialog.lpstrFileTitle = nullptr;
    dialog.nMaxFileTitle = 0;
    dialog.lpstrInitialDir = directory;
    dialog.lpstrTitle = save ? "Save File" : "Open File";
    dialog.Flags = save ? OFN_EXPLORER | OFN_HIDEREADONLY
                        : OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    dialog.nFileOffset = 0;
    dialog.nFileExtension = 0;
    dialog.lpstrDefExt = SongFileExtension;
    BOOL ok = save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
    if (!ok)
      return FALSE;
    if (!(dialog.Flags & OFN_EXTENSIONDIFFERENT))
      return TRUE;
  }
}

// Path becomes the chosen name, Directory everything before its last backslash.
void TakeChosenName(SongFileRecord* record, LPCSTR chosen) {
  lstrcpyA(record->Path, chosen);
  lstrcpyA(record->Directory, record->Path);
  LPSTR lastBackslash = nullptr;
  for (LPSTR at = record->Directory; *at; ++at)
    if (*at == '\\')
      lastBackslash = at;
  if (lastBackslash)
    *lastBackslash = 0;
  else
    record->Directory[0] = 0; // a bare name has no directory part
}

} // namespace

extern "C" LONG WINAPI GetSongFileName(SongFileRecord* record) {
  if (!record)
    return 0;
  if (record->AskUser) {
    char chosen[ChosenNameLength];
    if (!AskForSongFile(record, FALSE, chosen))
      return 0;
    TakeChosenName(record, chosen);
  }
  HANDLE file = OpenSongFile(record->Path, GENERIC_READ, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE)
    return 0;
  DWORD high = 0;
  DWORD size = GetFileSize(file, &high);
  BOOL known = !(size == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS);
  CloseHandle(file);
  // A file of 4 GiB or more has no size a song buffer could be made for.
  if (!known || high != 0)
    return 0;
  record->Size = size;
  RememberSongSize(record->Path, size);
  return 1;
}

extern "C" LONG WINAPI GetSaveSongFileName(SongFileRecord* record) {
  if (!record)
    return 0;
  if (record->AskUser) {
    char chosen[ChosenNameLength];
    if (!AskForSongFile(record, TRUE, chosen))
      return 0;
    TakeChosenName(record, chosen);
  }
  HANDLE file = OpenSongFile(record->Path, GENERIC_READ, OPEN_EXISTING);
  record->Exists = file != INVALID_HANDLE_VALUE ? 1 : 0;
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  return 1;
}
