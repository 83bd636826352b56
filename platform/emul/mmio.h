// Buffered multimedia file I/O (RIFF chunks), with the names, layouts and values of
// the Windows multimedia system. Files are read only; names may be Windows-style
// (drive letters, backslashes) or plain host paths, relative to the current directory.
#pragma once

#include "mmsystem.h"

#include <cstdio> // SEEK_SET, SEEK_CUR, SEEK_END

typedef UINT MMRESULT;
typedef char* HPSTR;
DECLARE_HANDLE(HMMIO);
DECLARE_HANDLE(HTASK);
typedef LRESULT(CALLBACK MMIOPROC)(LPSTR mmioinfo, UINT message, LPARAM lParam1, LPARAM lParam2);
typedef MMIOPROC* LPMMIOPROC;

#ifndef MAKEFOURCC
#define MAKEFOURCC(ch0, ch1, ch2, ch3)                                                             \
  ((DWORD)(BYTE)(ch0) | ((DWORD)(BYTE)(ch1) << 8) | ((DWORD)(BYTE)(ch2) << 16) |                   \
   ((DWORD)(BYTE)(ch3) << 24))
#endif
#define mmioFOURCC(ch0, ch1, ch2, ch3) MAKEFOURCC(ch0, ch1, ch2, ch3)

#define FOURCC_RIFF mmioFOURCC('R', 'I', 'F', 'F')
#define FOURCC_LIST mmioFOURCC('L', 'I', 'S', 'T')
#define FOURCC_DOS mmioFOURCC('D', 'O', 'S', ' ')
#define FOURCC_MEM mmioFOURCC('M', 'E', 'M', ' ')

#define MMIOERR_BASE 256
#define MMIOERR_FILENOTFOUND (MMIOERR_BASE + 1)
#define MMIOERR_OUTOFMEMORY (MMIOERR_BASE + 2)
#define MMIOERR_CANNOTOPEN (MMIOERR_BASE + 3)
#define MMIOERR_CANNOTCLOSE (MMIOERR_BASE + 4)
#define MMIOERR_CANNOTREAD (MMIOERR_BASE + 5)
#define MMIOERR_CANNOTWRITE (MMIOERR_BASE + 6)
#define MMIOERR_CANNOTSEEK (MMIOERR_BASE + 7)
#define MMIOERR_CANNOTEXPAND (MMIOERR_BASE + 8)
#define MMIOERR_CHUNKNOTFOUND (MMIOERR_BASE + 9)
#define MMIOERR_UNBUFFERED (MMIOERR_BASE + 10)
#define MMIOERR_PATHNOTFOUND (MMIOERR_BASE + 11)
#define MMIOERR_ACCESSDENIED (MMIOERR_BASE + 12)
#define MMIOERR_SHARINGVIOLATION (MMIOERR_BASE + 13)
#define MMIOERR_NETWORKERROR (MMIOERR_BASE + 14)
#define MMIOERR_TOOMANYOPENFILES (MMIOERR_BASE + 15)
#define MMIOERR_INVALIDFILE (MMIOERR_BASE + 16)

#define MMIO_RWMODE 0x00000003
#define MMIO_SHAREMODE 0x00000070
#define MMIO_CREATE 0x00001000
#define MMIO_PARSE 0x00000100
#define MMIO_DELETE 0x00000200
#define MMIO_EXIST 0x00004000
#define MMIO_ALLOCBUF 0x00010000
#define MMIO_GETTEMP 0x00020000
#define MMIO_DIRTY 0x10000000
#define MMIO_READ 0x00000000
#define MMIO_WRITE 0x00000001
#define MMIO_READWRITE 0x00000002
#define MMIO_COMPAT 0x00000000
#define MMIO_EXCLUSIVE 0x00000010
#define MMIO_DENYWRITE 0x00000020
#define MMIO_DENYREAD 0x00000030
#define MMIO_DENYNONE 0x00000040
#define MMIO_FHOPEN 0x0010
#define MMIO_EMPTYBUF 0x0010
#define MMIO_TOUPPER 0x0010
#define MMIO_FINDCHUNK 0x0010
#define MMIO_FINDRIFF 0x0020
#define MMIO_FINDLIST 0x0040
#define MMIO_CREATERIFF 0x0020
#define MMIO_CREATELIST 0x0040

#define MMIO_DEFAULTBUFFER 8192

struct MMIOINFO {
  DWORD dwFlags;
  FOURCC fccIOProc;
  LPMMIOPROC pIOProc;
  UINT wErrorRet;
  HTASK htask;
  LONG cchBuffer;
  HPSTR pchBuffer;   // the read buffer
  HPSTR pchNext;     // next unread byte of the buffer
  HPSTR pchEndRead;  // end of the buffer's valid bytes
  HPSTR pchEndWrite; // end of the buffer
  LONG lBufOffset;   // file offset of the buffer's first byte
  LONG lDiskOffset;  // file offset just after the buffer's valid bytes
  DWORD adwInfo[3];
  DWORD dwReserved1;
  DWORD dwReserved2;
  HMMIO hmmio;
};
typedef MMIOINFO* PMMIOINFO;
typedef MMIOINFO* LPMMIOINFO;
typedef const MMIOINFO* LPCMMIOINFO;

struct MMCKINFO {
  FOURCC ckid;
  DWORD cksize;       // bytes of data, not counting the pad byte of an odd size
  FOURCC fccType;     // form or list type of a "RIFF" or "LIST" chunk
  DWORD dwDataOffset; // file offset of the data (of the form type, for "RIFF" and "LIST")
  DWORD dwFlags;
};
typedef MMCKINFO* PMMCKINFO;
typedef MMCKINFO* LPMMCKINFO;
typedef const MMCKINFO* LPCMMCKINFO;

extern "C" {
HMMIO WINAPI mmioOpenA(LPSTR fileName, LPMMIOINFO info, DWORD flags);
MMRESULT WINAPI mmioClose(HMMIO file, UINT flags);
LONG WINAPI mmioRead(HMMIO file, HPSTR buffer, LONG bytes);
LONG WINAPI mmioSeek(HMMIO file, LONG offset, int origin);
MMRESULT WINAPI mmioGetInfo(HMMIO file, LPMMIOINFO info, UINT flags);
MMRESULT WINAPI mmioSetInfo(HMMIO file, LPCMMIOINFO info, UINT flags);
MMRESULT WINAPI mmioAdvance(HMMIO file, LPMMIOINFO info, UINT flags);
MMRESULT WINAPI mmioDescend(HMMIO file, LPMMCKINFO chunk, const MMCKINFO* parent, UINT flags);
MMRESULT WINAPI mmioAscend(HMMIO file, LPMMCKINFO chunk, UINT flags);
}
