// Host file services: the song file dialogs and the transfer of a song between a file
// and the host's song buffer; directory, WAV file and drive listings for the host's
// sample browser. The nine exported functions are declared in za32.h.
#pragma once

#include "../engine/state.h"

// Song files are opaque runs of bytes named "*.ZAN".
extern const char SongFileFilter[];    // "Zandoria Files", "*.ZAN", end of list
extern const char SongFileExtension[]; // "ZAN"

// The sample directory on the product CD-ROM, below the drive's root.
extern const char CdSampleDirectory[]; // "samples\140bpm\drum"

// The longest list name GetFileList writes is one character shorter than this.
#define FILE_LIST_NAME_LIMIT 280

extern "C" {
// ReadFileContents for a host that tells its song buffer's capacity in bytes. Takes a
// whole SongFileRecord. Results: 1 when the whole file was read into the song buffer;
// 0 when the file cannot be opened or read; -1 when the file is larger than
// `capacity` (or there is no song buffer): then nothing is read, the buffer is as it
// was and `Size` holds the file's size (0xFFFFFFFF for 4 GiB or more).
LONG WINAPI ReadFileContentsEx(SongFileRecord* record, DWORD capacity);

// GetFileList for a host that tells its buffer's capacity in bytes. Results: 1 when
// the whole list was written; 0 when the current directory yields no entry, and then
// nothing is written; a negative number when the list did not fit: its magnitude is
// the size in bytes the whole list needs, and the buffer holds the entries that fit
// whole, in list order, ended by the empty string (nothing at all when `capacity` is
// 0). A null buffer counts as capacity 0, so a host may ask for the size first.
LONG WINAPI GetFileListEx(LPSTR buffer, DWORD capacity);
}

// The size of a song file that the host was told of (GetSongFileName) or wrote from its
// song buffer (WriteFileContents): the buffer then holds at least that many bytes, so a
// later ReadFileContents of the same path never reads more into it. Known is 0 until then.
struct SongSizeRecord {
  char Path[280];
  DWORD Size;
  BOOL Known;
};
extern SongSizeRecord KnownSongSize;

// Opens a song file for `access` with no sharing. The path must end within the 280
// bytes of SongFileRecord.Path; INVALID_HANDLE_VALUE when it does not or the file cannot
// be opened.
HANDLE OpenSongFile(LPCSTR path, DWORD access, DWORD disposition);

// Notes that the host's song buffer holds at least `size` bytes for the song at `path`.
void RememberSongSize(LPCSTR path, DWORD size);

// The root of the first CD-ROM drive in the system's order, in capitals with its
// backslash ("D:\"), into `root` (4 bytes); FALSE, and `root` untouched, when there
// is none.
BOOL FindFirstCdRoot(LPSTR root);

// Upper-cases the ASCII letters of `text` in place; other bytes stay as they are.
void UpperCaseAscii(LPSTR text);

// Sorts the packed run of zero-ended strings [begin, end) in place into lstrcmpA order,
// keeping equal strings in their order: the same bytes as an exchange sort that swaps
// neighbours only when the first compares greater, in O(n log n) comparisons.
void SortPackedStrings(LPSTR begin, LPSTR end);
