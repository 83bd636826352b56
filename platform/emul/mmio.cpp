// Buffered multimedia file I/O over host files, read only. A file has one read buffer
// that maps the file bytes [bufferOffset, bufferOffset + valid); `next` is the read
// position inside it. A file opened without a buffer keeps only its position, in
// bufferOffset.
//
// The buffer that the layer allocates itself (MMIO_ALLOCBUF) is a window of the buffer's
// size onto a private mapping of the whole file, where the file can be mapped: a refill
// moves the window instead of copying, so that a program reading straight out of the
// buffer copies each byte once, as a plain read() would. A file of up to 256 KB is read
// whole into memory instead, which costs less than mapping and unmapping it and serves
// as the mapping does. Files that cannot be mapped, and buffers that the caller
// supplies, are filled with pread(). The mapping is of the file as it was opened: a file
// that another process cuts short while it is open here is read as it was (and one cut
// below what was already read faults, as mapped files do; a small file read whole never
// does).
//
// What the callers can rely on, as on Windows:
//  - mmioGetInfo hands out the buffer (pchBuffer, pchNext, pchEndRead); the caller reads
//    straight out of it, calls mmioAdvance when pchNext reaches pchEndRead, and gives
//    the structure back with mmioSetInfo. mmioAdvance refills from the end of the valid
//    bytes and updates the structure, pchBuffer included; at the end of the file it
//    succeeds with pchNext equal to pchEndRead.
//  - mmioDescend leaves the file at the chunk's data, after the form type of a "RIFF" or
//    "LIST" chunk; searches step over whole chunks, pad byte included, and stop at the
//    parent's end or the file's end with MMIOERR_CHUNKNOTFOUND, the position restored.
//  - Seeking past the end of the file is allowed; reading there gives 0 bytes.
#include "mmio.h"
#include "control.h"
#include "paths.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace {

struct MmioFile {
  int fd;
  DWORD openFlags;
  char* buffer;        // null when unbuffered; moves with the window of a mapped file
  LONG capacity;       // bytes of the buffer
  char* ownBuffer;     // allocated here for a file that could not be mapped
  char* mapping;       // the whole file, when the buffer is a window onto it
  int64_t mappingSize; // the file's size when it was mapped
  bool mappingCopied;  // `mapping` is a copy in memory of a small file, not a mapping
  int64_t bufferOffset;
  LONG valid;
  LONG next;
};

constexpr int64_t kCopiedFileBytes = 256 * 1024;

std::mutex filesLock;
std::unordered_set<MmioFile*> openFiles;

MmioFile* Lookup(HMMIO handle) {
  auto* file = reinterpret_cast<MmioFile*>(handle);
  std::lock_guard guard(filesLock);
  return openFiles.count(file) ? file : nullptr;
}

bool Fails(emul::SystemCall call) {
  return emul::SystemCallFails(call);
}

int64_t Position(const MmioFile& file) {
  return file.bufferOffset + file.next;
}

// Reads up to `bytes` at `offset`, stopping only at the end of the file; -1 on error.
int64_t ReadAt(int fd, char* into, int64_t bytes, int64_t offset) {
  int64_t done = 0;
  while (done < bytes) {
    ssize_t got = pread(fd, into + done, static_cast<size_t>(bytes - done), offset + done);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return -1;
    }
    if (got == 0)
      break;
    done += got;
  }
  return done;
}

// Puts the position at `offset`, keeping the buffer when the offset lies within it.
void MoveTo(MmioFile& file, int64_t offset) {
  if (offset >= file.bufferOffset && offset <= file.bufferOffset + file.valid) {
    file.next = static_cast<LONG>(offset - file.bufferOffset);
    return;
  }
  file.bufferOffset = offset;
  file.valid = 0;
  file.next = 0;
}

// Fills the buffer with the bytes that follow its valid ones. False on a read error,
// with the buffer unchanged.
bool Refill(MmioFile& file) {
  const int64_t from = file.bufferOffset + file.valid;
  int64_t got;
  if (file.mapping) {
    const int64_t start = std::min(from, file.mappingSize);
    file.buffer = file.mapping + start;
    got = std::min<int64_t>(file.capacity, file.mappingSize - start);
  } else {
    got = ReadAt(file.fd, file.buffer, file.capacity, from);
    if (got < 0)
      return false;
  }
  file.bufferOffset = from;
  file.valid = static_cast<LONG>(got);
  file.next = 0;
  return true;
}

// Reads straight into the target, past the buffer, from `at`.
int64_t ReadDirect(MmioFile& file, char* into, int64_t bytes, int64_t at) {
  if (!file.mapping)
    return ReadAt(file.fd, into, bytes, at);
  const int64_t got = std::max<int64_t>(0, std::min(bytes, file.mappingSize - at));
  if (got > 0)
    std::memcpy(into, file.mapping + at, static_cast<size_t>(got));
  return got;
}

// mmioRead without the fault injection, for the layer's own reads.
LONG ReadBytes(MmioFile& file, char* into, LONG bytes) {
  LONG done = 0;
  while (done < bytes) {
    LONG available = file.valid - file.next;
    if (available > 0) {
      LONG run = std::min(available, bytes - done);
      std::memcpy(into + done, file.buffer + file.next, static_cast<size_t>(run));
      file.next += run;
      done += run;
      continue;
    }
    int64_t at = Position(file);
    if (!file.buffer || bytes - done >= file.capacity) {
      // Large reads, and every read of an unbuffered file, go straight to the target.
      int64_t got = ReadDirect(file, into + done, bytes - done, at);
      if (got < 0)
        return -1;
      file.bufferOffset = at + got;
      file.valid = 0;
      file.next = 0;
      return done + static_cast<LONG>(got);
    }
    if (!Refill(file))
      return -1;
    if (file.valid == 0)
      break; // end of file
  }
  return done;
}

bool Seek(MmioFile& file, int64_t offset) {
  if (offset < 0 || offset > LONG_MAX)
    return false;
  MoveTo(file, offset);
  return true;
}

bool ReadFourcc(MmioFile& file, FOURCC* value) {
  unsigned char bytes[4];
  if (ReadBytes(file, reinterpret_cast<char*>(bytes), 4) != 4)
    return false;
  *value = MAKEFOURCC(bytes[0], bytes[1], bytes[2], bytes[3]);
  return true;
}

UINT OpenErrorFromErrno(int error) {
  switch (error) {
  case ENOENT:
    return MMIOERR_FILENOTFOUND;
  case ENOTDIR:
  case ENAMETOOLONG:
    return MMIOERR_PATHNOTFOUND;
  case EACCES:
  case EPERM:
  case EISDIR:
    return MMIOERR_ACCESSDENIED;
  case EMFILE:
  case ENFILE:
    return MMIOERR_TOOMANYOPENFILES;
  default:
    return MMIOERR_CANNOTOPEN;
  }
}

HMMIO OpenFailed(LPMMIOINFO info, UINT error) {
  if (info)
    info->wErrorRet = error;
  return nullptr;
}

} // namespace

extern "C" HMMIO WINAPI mmioOpenA(LPSTR fileName, LPMMIOINFO info, DWORD flags) {
  if (Fails(emul::SystemCall::MmioOpen))
    return OpenFailed(info, MMIOERR_CANNOTOPEN);
  // Only reading existing files is offered.
  const DWORD unsupported =
      MMIO_RWMODE | MMIO_CREATE | MMIO_PARSE | MMIO_DELETE | MMIO_EXIST | MMIO_GETTEMP;
  if ((flags & unsupported) ||
      (info && (info->pIOProc || (info->fccIOProc != 0 && info->fccIOProc != FOURCC_DOS))))
    return OpenFailed(info, MMSYSERR_NOTSUPPORTED);
  if (!fileName)
    return OpenFailed(info, MMIOERR_CANNOTOPEN);

  std::string path = emul::ToHostPath(fileName);
  int fd = path.empty() ? -1 : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return OpenFailed(info, path.empty() ? MMIOERR_PATHNOTFOUND : OpenErrorFromErrno(errno));
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return OpenFailed(info, MMIOERR_ACCESSDENIED);
  }

  auto* file = new MmioFile{fd, flags, nullptr, 0, nullptr, nullptr, 0, false, 0, 0, 0};
  if (info && info->pchBuffer && info->cchBuffer > 0) {
    file->buffer = info->pchBuffer;
    file->capacity = info->cchBuffer;
  } else if (flags & MMIO_ALLOCBUF) {
    file->capacity = info && info->cchBuffer > 0 ? info->cchBuffer : MMIO_DEFAULTBUFFER;
    if (status.st_size > 0 && status.st_size <= kCopiedFileBytes) {
      auto* copy = static_cast<char*>(std::malloc(static_cast<size_t>(status.st_size)));
      if (copy && pread(fd, copy, static_cast<size_t>(status.st_size), 0) == status.st_size) {
        file->mapping = copy;
        file->mappingSize = status.st_size;
        file->mappingCopied = true;
        file->buffer = file->mapping;
      } else {
        std::free(copy);
      }
    } else if (status.st_size > 0 && status.st_size <= LONG_MAX) {
      // Private and writable, so that a caller may scribble in the buffer as on Windows.
      void* mapping = mmap(nullptr, static_cast<size_t>(status.st_size), PROT_READ | PROT_WRITE,
                           MAP_PRIVATE, fd, 0);
      if (mapping != MAP_FAILED) {
        file->mapping = static_cast<char*>(mapping);
        file->mappingSize = status.st_size;
        file->buffer = file->mapping;
      }
    }
    if (!file->mapping) {
      file->ownBuffer = static_cast<char*>(std::malloc(static_cast<size_t>(file->capacity)));
      file->buffer = file->ownBuffer;
      if (!file->buffer) {
        close(fd);
        delete file;
        return OpenFailed(info, MMIOERR_OUTOFMEMORY);
      }
    }
  }
  {
    std::lock_guard guard(filesLock);
    openFiles.insert(file);
  }
  if (info)
    info->wErrorRet = 0;
  return reinterpret_cast<HMMIO>(file);
}

extern "C" MMRESULT WINAPI mmioClose(HMMIO handle, UINT flags) {
  auto* file = reinterpret_cast<MmioFile*>(handle);
  {
    std::lock_guard guard(filesLock);
    if (!openFiles.erase(file))
      return MMSYSERR_INVALHANDLE;
  }
  close(file->fd);
  if (file->mappingCopied)
    std::free(file->mapping);
  else if (file->mapping)
    munmap(file->mapping, static_cast<size_t>(file->mappingSize));
  std::free(file->ownBuffer);
  delete file;
  return MMSYSERR_NOERROR;
}

extern "C" LONG WINAPI mmioRead(HMMIO handle, HPSTR buffer, LONG bytes) {
  MmioFile* file = Lookup(handle);
  if (!file || bytes < 0 || (bytes > 0 && !buffer) || Fails(emul::SystemCall::MmioRead))
    return -1;
  return ReadBytes(*file, buffer, bytes);
}

extern "C" LONG WINAPI mmioSeek(HMMIO handle, LONG offset, int origin) {
  MmioFile* file = Lookup(handle);
  if (!file || Fails(emul::SystemCall::MmioSeek))
    return -1;
  int64_t base;
  switch (origin) {
  case SEEK_SET:
    base = 0;
    break;
  case SEEK_CUR:
    base = Position(*file);
    break;
  case SEEK_END: {
    struct stat status;
    if (fstat(file->fd, &status) != 0)
      return -1;
    base = status.st_size;
    break;
  }
  default:
    return -1;
  }
  int64_t target = base + offset;
  if (!Seek(*file, target))
    return -1;
  return static_cast<LONG>(target);
}

extern "C" MMRESULT WINAPI mmioGetInfo(HMMIO handle, LPMMIOINFO info, UINT flags) {
  MmioFile* file = Lookup(handle);
  if (!file || Fails(emul::SystemCall::MmioGetInfo))
    return MMSYSERR_INVALHANDLE;
  if (!info)
    return MMSYSERR_INVALPARAM;
  std::memset(info, 0, sizeof *info);
  info->dwFlags = file->openFlags;
  info->fccIOProc = FOURCC_DOS;
  info->cchBuffer = file->capacity;
  info->pchBuffer = file->buffer;
  if (file->buffer) {
    info->pchNext = file->buffer + file->next;
    info->pchEndRead = file->buffer + file->valid;
    info->pchEndWrite = file->buffer + file->capacity;
  }
  info->lBufOffset = static_cast<LONG>(file->bufferOffset);
  info->lDiskOffset = static_cast<LONG>(file->bufferOffset + file->valid);
  info->adwInfo[0] = static_cast<DWORD>(file->fd);
  info->hmmio = handle;
  return MMSYSERR_NOERROR;
}

extern "C" MMRESULT WINAPI mmioSetInfo(HMMIO handle, LPCMMIOINFO info, UINT flags) {
  MmioFile* file = Lookup(handle);
  if (!file || Fails(emul::SystemCall::MmioSetInfo))
    return MMSYSERR_INVALHANDLE;
  if (!info)
    return MMSYSERR_INVALPARAM;
  if (!file->buffer)
    return MMSYSERR_NOERROR;
  // Only the read position comes back; a pointer outside the valid bytes is refused.
  if (info->pchBuffer != file->buffer || info->pchNext < file->buffer ||
      info->pchNext > file->buffer + file->valid)
    return MMSYSERR_INVALPARAM;
  file->next = static_cast<LONG>(info->pchNext - file->buffer);
  return MMSYSERR_NOERROR;
}

extern "C" MMRESULT WINAPI mmioAdvance(HMMIO handle, LPMMIOINFO info, UINT flags) {
  MmioFile* file = Lookup(handle);
  if (!file)
    return MMSYSERR_INVALHANDLE;
  if (!file->buffer)
    return MMIOERR_UNBUFFERED;
  if (flags & MMIO_WRITE)
    return MMIOERR_CANNOTWRITE;
  if (Fails(emul::SystemCall::MmioAdvance) || !Refill(*file))
    return MMIOERR_CANNOTREAD;
  if (info) {
    info->pchBuffer = file->buffer;
    info->pchNext = file->buffer;
    info->pchEndRead = file->buffer + file->valid;
    info->pchEndWrite = file->buffer + file->capacity;
    info->lBufOffset = static_cast<LONG>(file->bufferOffset);
    info->lDiskOffset = static_cast<LONG>(file->bufferOffset + file->valid);
  }
  return MMSYSERR_NOERROR;
}

extern "C" MMRESULT WINAPI mmioDescend(HMMIO handle, LPMMCKINFO chunk, const MMCKINFO* parent,
                                       UINT flags) {
  MmioFile* file = Lookup(handle);
  if (!file)
    return MMSYSERR_INVALHANDLE;
  if (!chunk)
    return MMSYSERR_INVALPARAM;
  if (Fails(emul::SystemCall::MmioDescend))
    return MMIOERR_CANNOTREAD;

  const int64_t start = Position(*file);
  const int64_t limit =
      parent ? int64_t{parent->dwDataOffset} + int64_t{parent->cksize} : INT64_MAX;
  const UINT search = flags & (MMIO_FINDCHUNK | MMIO_FINDRIFF | MMIO_FINDLIST);
  auto notFound = [&](MMRESULT code) {
    Seek(*file, start);
    return code;
  };

  for (;;) {
    const int64_t at = Position(*file);
    if (at + 8 > limit)
      return notFound(MMIOERR_CHUNKNOTFOUND);
    unsigned char header[8];
    LONG got = ReadBytes(*file, reinterpret_cast<char*>(header), 8);
    if (got < 0)
      return notFound(MMIOERR_CANNOTREAD);
    if (got < 8)
      return notFound(MMIOERR_CHUNKNOTFOUND);

    MMCKINFO found{};
    found.ckid = MAKEFOURCC(header[0], header[1], header[2], header[3]);
    found.cksize = MAKEFOURCC(header[4], header[5], header[6], header[7]);
    found.dwDataOffset = static_cast<DWORD>(at + 8);
    if (found.ckid == FOURCC_RIFF || found.ckid == FOURCC_LIST) {
      if (!ReadFourcc(*file, &found.fccType))
        return notFound(MMIOERR_CHUNKNOTFOUND);
    }

    bool wanted = true;
    if (search == MMIO_FINDCHUNK)
      wanted = found.ckid == chunk->ckid;
    else if (search == MMIO_FINDRIFF)
      wanted = found.ckid == FOURCC_RIFF && found.fccType == chunk->fccType;
    else if (search == MMIO_FINDLIST)
      wanted = found.ckid == FOURCC_LIST && found.fccType == chunk->fccType;
    if (wanted) {
      *chunk = found;
      return MMSYSERR_NOERROR;
    }

    // Step over the chunk and its pad byte.
    int64_t after = int64_t{found.dwDataOffset} + found.cksize + (found.cksize & 1);
    if (!Seek(*file, after))
      return notFound(MMIOERR_CHUNKNOTFOUND);
  }
}

extern "C" MMRESULT WINAPI mmioAscend(HMMIO handle, LPMMCKINFO chunk, UINT flags) {
  MmioFile* file = Lookup(handle);
  if (!file)
    return MMSYSERR_INVALHANDLE;
  if (!chunk)
    return MMSYSERR_INVALPARAM;
  if (Fails(emul::SystemCall::MmioAscend))
    return MMIOERR_CANNOTSEEK;
  int64_t after = int64_t{chunk->dwDataOffset} + chunk->cksize + (chunk->cksize & 1);
  if (!Seek(*file, after))
    return MMIOERR_CANNOTSEEK;
  return MMSYSERR_NOERROR;
}

size_t emul::OpenMmioFiles() {
  std::lock_guard guard(filesLock);
  return openFiles.size();
}
