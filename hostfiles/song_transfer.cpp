// Moving a song between a file and the host's song buffer. The engine never looks
// inside a song.
#include "hostfiles.h"

SongSizeRecord KnownSongSize;

namespace {

const DWORD SongPathLimit = sizeof(SongFileRecord::Path);

// The path ends within the record's Path field; a bare path that the host passes
// instead of a record ends earlier, and reading stops at its end.
BOOL EndsWithinPathField(LPCSTR path) {
  for (DWORD i = 0; i < SongPathLimit; ++i)
    if (!path[i])
      return TRUE;
  return FALSE;
}

BOOL IsKnownSong(LPCSTR path) {
  return KnownSongSize.Known && lstrcmpA(KnownSongSize.Path, path) == 0;
}

// Reads the whole of the open file, `size` bytes, into the song buffer. An empty file
// leaves the buffer as it was.
BOOL ReadWholeSong(HANDLE file, DWORD size) {
  if (size == 0)
    return TRUE;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  DWORD read = 0;
  return ReadFile(file, SongBuffer, size, &read, nullptr) && read == size;
}

// The size of the open file, in its low and high 32 bits; FALSE when it cannot be told.
BOOL SongFileSize(HANDLE file, DWORD& size, DWORD& high) {
  high = 0;
  size = GetFileSize(file, &high);
  return !(size == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS);
}

} // namespace

HANDLE OpenSongFile(LPCSTR path, DWORD access, DWORD disposition) {
  if (!path || !EndsWithinPathField(path)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileA(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void RememberSongSize(LPCSTR path, DWORD size) {
  lstrcpynA(KnownSongSize.Path, path, sizeof KnownSongSize.Path);
  KnownSongSize.Size = size;
  KnownSongSize.Known = TRUE;
}

// Reads the whole file into the song buffer. When the host was told this file's size
// (or wrote it from its buffer) and the file has grown since, the buffer is not known
// to hold it: nothing is read and the result is 0. So is it when there is no song
// buffer, or when the read fails or comes up short.
extern "C" LONG WINAPI ReadFileContents(SongFileRecord* record) {
  if (!record)
    return 0;
  HANDLE file = OpenSongFile(record->Path, GENERIC_READ, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE)
    return 0;
  DWORD size = 0, high = 0;
  BOOL fits = SongFileSize(file, size, high) && high == 0 && (size == 0 || SongBuffer) &&
              !(IsKnownSong(record->Path) && size > KnownSongSize.Size);
  BOOL read = fits && ReadWholeSong(file, size);
  CloseHandle(file);
  return read ? 1 : 0;
}

extern "C" LONG WINAPI ReadFileContentsEx(SongFileRecord* record, DWORD capacity) {
  if (!record)
    return 0;
  HANDLE file = OpenSongFile(record->Path, GENERIC_READ, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE)
    return 0;
  if (!SongBuffer)
    capacity = 0;
  DWORD size = 0, high = 0;
  LONG result;
  if (!SongFileSize(file, size, high)) {
    result = 0;
  } else if (high != 0) {
    record->Size = 0xFFFFFFFF;
    result = -1;
  } else if (size > capacity) {
    record->Size = size;
    result = -1;
  } else {
    result = ReadWholeSong(file, size) ? 1 : 0;
  }
  CloseHandle(file);
  return result;
}

// Replaces the file with `Size` bytes of the song buffer. A song that cannot be written
// whole reports 0. Without a song buffer there is nothing to write from, and the file
// is left alone.
extern "C" LONG WINAPI WriteFileContents(SongFileRecord* record) {
  if (!record || (record->Size > 0 && !SongBuffer))
    return 0;
  HANDLE file = OpenSongFile(record->Path, GENERIC_WRITE, CREATE_ALWAYS);
  if (file == INVALID_HANDLE_VALUE)
    return 0;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  DWORD written = 0;
  BOOL whole = record->Size == 0 || (WriteFile(file, SongBuffer, record->Size, &written, nullptr) &&
                                     written == record->Size);
  CloseHandle(file);
  if (!whole)
    return 0;
  RememberSongSize(record->Path, record->Size);
  return 1;
}
