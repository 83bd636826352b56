// Files: host file descriptors behind Windows handles. Sharing is enforced within the
// process as Windows does: an open whose access the other opens of the same file do
// not share, or whose share mode denies their access, fails with a sharing violation,
// and it fails before CREATE_ALWAYS or TRUNCATE_EXISTING have emptied anything.
#include "control.h"
#include "fileapi.h"
#include "kernel32.h"
#include "kernel_handles.h"
#include "paths.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace {

struct OpenFile {
  int fd;
  dev_t device;
  ino_t inode;
  DWORD access; // GENERIC_READ | GENERIC_WRITE
  DWORD share;  // FILE_SHARE_READ | FILE_SHARE_WRITE
};

std::mutex filesLock;
std::unordered_map<HANDLE, OpenFile> openFiles;

bool Conflicts(const OpenFile& a, const OpenFile& b) {
  auto denies = [](const OpenFile& holder, const OpenFile& other) {
    return ((other.access & GENERIC_READ) && !(holder.share & FILE_SHARE_READ)) ||
           ((other.access & GENERIC_WRITE) && !(holder.share & FILE_SHARE_WRITE));
  };
  return denies(a, b) || denies(b, a);
}

bool FindOpenFile(HANDLE handle, OpenFile& file) {
  std::lock_guard guard(filesLock);
  auto it = openFiles.find(handle);
  if (it == openFiles.end())
    return false;
  file = it->second;
  return true;
}

uint64_t CurrentOffset(int fd) {
  off_t at = lseek(fd, 0, SEEK_CUR);
  return at < 0 ? 0 : static_cast<uint64_t>(at);
}

DWORD ErrorForIo(int errnoValue) {
  switch (errnoValue) {
  case ENOSPC:
  case EDQUOT:
    return ERROR_DISK_FULL;
  case EBADF:
    return ERROR_ACCESS_DENIED;
  case EIO:
    return ERROR_GEN_FAILURE;
  case EFBIG:
    return ERROR_DISK_FULL;
  default:
    return ERROR_GEN_FAILURE;
  }
}

} // namespace

namespace emul {

size_t LiveFileHandles() {
  std::lock_guard guard(filesLock);
  return openFiles.size();
}

} // namespace emul

extern "C" HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode,
                                     LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                     HANDLE templateFile) {
  emul::ResolvedPath resolved;
  DWORD error = 0;
  if (!emul::ResolvePath(fileName, resolved, error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
      (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }

  struct stat before;
  bool existed = stat(resolved.host.c_str(), &before) == 0;
  if (existed && S_ISDIR(before.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (existed && disposition == CREATE_NEW) {
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
  }

  int mode = O_RDONLY;
  if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
    mode = O_RDWR;
  else if (access & GENERIC_WRITE)
    mode = O_WRONLY;
  int openFlags = mode | O_CLOEXEC;
  if (disposition == CREATE_NEW)
    openFlags |= O_CREAT | O_EXCL;
  else if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
    openFlags |= O_CREAT;
  int fd = open(resolved.host.c_str(), openFlags, 0666);
  if (fd < 0) {
    SetLastError(emul::WindowsErrorFor(errno, resolved));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    int saved = errno;
    close(fd);
    SetLastError(emul::WindowsErrorFor(saved, resolved));
    return INVALID_HANDLE_VALUE;
  }

  OpenFile file{fd, st.st_dev, st.st_ino, access & (GENERIC_READ | GENERIC_WRITE),
                shareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE)};
  HANDLE handle = emul::NewKernelHandle();
  {
    std::lock_guard guard(filesLock);
    for (const auto& [other, open] : openFiles) {
      if (open.device == file.device && open.inode == file.inode && Conflicts(open, file)) {
        close(fd);
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
      }
    }
    bool empties = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if (empties && S_ISREG(st.st_mode) && st.st_size > 0 && ftruncate(fd, 0) != 0) {
      int saved = errno;
      close(fd);
      SetLastError(emul::WindowsErrorFor(saved, resolved));
      return INVALID_HANDLE_VALUE;
    }
    openFiles[handle] = file;
  }
  bool reportsExisting = existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
  SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

extern "C" DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
  OpenFile file;
  struct stat st;
  if (!FindOpenFile(handle, file)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  if (fstat(file.fd, &st) != 0) {
    SetLastError(ErrorForIo(errno));
    return INVALID_FILE_SIZE;
  }
  uint64_t size = static_cast<uint64_t>(st.st_size);
  if (sizeHigh)
    *sizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

extern "C" DWORD WINAPI SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh,
                                       DWORD method) {
  OpenFile file;
  if (!FindOpenFile(handle, file)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t move = distanceHigh
                     ? static_cast<int64_t>(
                           (static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                           static_cast<uint32_t>(distance))
                     : static_cast<int64_t>(distance);
  int64_t base = 0;
  if (method == FILE_CURRENT) {
    base = static_cast<int64_t>(CurrentOffset(file.fd));
  } else if (method == FILE_END) {
    struct stat st;
    if (fstat(file.fd, &st) != 0) {
      SetLastError(ErrorForIo(errno));
      return INVALID_SET_FILE_POINTER;
    }
    base = st.st_size;
  } else if (method != FILE_BEGIN) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (move < 0 && -move > base) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t target = base + move;
  if (lseek(file.fd, static_cast<off_t>(target), SEEK_SET) < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh)
    *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(target);
}

extern "C" BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read,
                                LPOVERLAPPED overlapped) {
  if (read)
    *read = 0;
  OpenFile file;
  if (!FindOpenFile(handle, file)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(file.access & GENERIC_READ)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!buffer && toRead > 0) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  uint64_t at =
      overlapped ? (static_cast<uint64_t>(overlapped->OffsetHigh) << 32) | overlapped->Offset : 0;
  DWORD done = 0;
  while (done < toRead) {
    char* into = static_cast<char*>(buffer) + done;
    ssize_t n = overlapped ? pread(file.fd, into, toRead - done, static_cast<off_t>(at + done))
                           : ::read(file.fd, into, toRead - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      if (read)
        *read = done;
      SetLastError(ErrorForIo(errno));
      return FALSE;
    }
    if (n == 0)
      break;
    done += static_cast<DWORD>(n);
  }
  if (read)
    *read = done;
  return TRUE;
}

extern "C" BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                                 LPOVERLAPPED overlapped) {
  if (written)
    *written = 0;
  OpenFile file;
  if (!FindOpenFile(handle, file)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(file.access & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!buffer && toWrite > 0) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  uint64_t at =
      overlapped ? (static_cast<uint64_t>(overlapped->OffsetHigh) << 32) | overlapped->Offset : 0;
  DWORD done = 0;
  while (done < toWrite) {
    const char* from = static_cast<const char*>(buffer) + done;
    ssize_t n = overlapped ? pwrite(file.fd, from, toWrite - done, static_cast<off_t>(at + done))
                           : ::write(file.fd, from, toWrite - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      if (written)
        *written = done;
      SetLastError(n < 0 ? ErrorForIo(errno) : ERROR_DISK_FULL);
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (written)
    *written = done;
  return TRUE;
}

extern "C" BOOL WINAPI CloseHandle(HANDLE object) {
  // The pseudo-handle of the current process needs no closing.
  if (object == GetCurrentProcess())
    return TRUE;
  int fd = -1;
  {
    std::lock_guard guard(filesLock);
    auto it = openFiles.find(object);
    if (it == openFiles.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    fd = it->second.fd;
    openFiles.erase(it);
  }
  close(fd);
  return TRUE;
}
