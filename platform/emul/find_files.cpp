// Directory searches. A search reads the directory's names when it starts and reports
// each entry's details as it is reached. As on Windows, every directory but a drive's
// root reports "." and ".." (first), a drive's root reports neither, and the name
// pattern's "*" and "?" match without regard to letter case ("*.*" matches every name).
#include "control.h"
#include "drive_table.h"
#include "fileapi.h"
#include "kernel32.h"
#include "kernel_handles.h"
#include "paths.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

struct Search {
  int directory; // descriptor the entries are looked at through
  std::vector<std::string> names;
  size_t next;
};

std::mutex searchesLock;
std::unordered_map<HANDLE, Search> searches;

bool MatchesAt(const char* pattern, const char* name) {
  for (; *pattern; ++pattern, ++name) {
    if (*pattern == '*') {
      while (pattern[1] == '*')
        ++pattern;
      if (!pattern[1])
        return true;
      for (const char* from = name; *from; ++from)
        if (MatchesAt(pattern + 1, from))
          return true;
      return MatchesAt(pattern + 1, name + std::strlen(name));
    }
    if (!*name)
      return false;
    if (*pattern != '?' && std::tolower(static_cast<unsigned char>(*pattern)) !=
                               std::tolower(static_cast<unsigned char>(*name)))
      return false;
  }
  return *name == 0;
}

bool Matches(const std::string& pattern, const char* name) {
  if (pattern == "*" || pattern == "*.*")
    return true;
  return MatchesAt(pattern.c_str(), name);
}

bool IsDriveRoot(const std::string& windows) {
  return windows.size() == 3 && windows[1] == ':' && windows[2] == '\\';
}

// 100-nanosecond steps since 1601, as Windows counts file times.
FILETIME ToFileTime(const struct timespec& when) {
  constexpr int64_t secondsFrom1601To1970 = 11644473600LL;
  uint64_t ticks = static_cast<uint64_t>((when.tv_sec + secondsFrom1601To1970) * 10000000LL +
                                         when.tv_nsec / 100);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

void Describe(int directory, const std::string& name, WIN32_FIND_DATAA& data) {
  std::memset(&data, 0, sizeof data);
  std::memcpy(data.cFileName, name.c_str(), name.size() + 1);
  struct stat st;
  if (fstatat(directory, name.c_str(), &st, 0) != 0 &&
      fstatat(directory, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    data.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    return;
  }
  DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR))
    attributes |= FILE_ATTRIBUTE_READONLY;
  if (name[0] == '.' && name != "." && name != "..")
    attributes |= FILE_ATTRIBUTE_HIDDEN;
  data.dwFileAttributes = attributes;
  data.ftCreationTime = ToFileTime(st.st_ctim);
  data.ftLastAccessTime = ToFileTime(st.st_atim);
  data.ftLastWriteTime = ToFileTime(st.st_mtim);
  if (!S_ISDIR(st.st_mode)) {
    uint64_t size = static_cast<uint64_t>(st.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size);
  }
}

} // namespace

namespace emul {

size_t LiveFindHandles() {
  std::lock_guard guard(searchesLock);
  return searches.size();
}

} // namespace emul

extern "C" HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) {
  if (!pattern || !*pattern || !found) {
    SetLastError(pattern && *pattern ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::string text = pattern;
  size_t split = text.find_last_of("\\/");
  if (split == std::string::npos && text.size() >= 2 && text[1] == ':')
    split = 1;
  std::string directoryPart = split == std::string::npos ? "." : text.substr(0, split + 1);
  std::string namePattern = split == std::string::npos ? text : text.substr(split + 1);
  if (namePattern.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }

  emul::ResolvedPath resolved;
  DWORD error = 0;
  if (!emul::ResolvePath(directoryPart.c_str(), resolved, error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  int directory = open(resolved.host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) {
    DWORD code = emul::WindowsErrorFor(errno, resolved);
    SetLastError(code == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : code);
    return INVALID_HANDLE_VALUE;
  }
  std::string windows = resolved.windows;
  if (windows.empty()) {
    char* real = realpath(resolved.host.c_str(), nullptr);
    windows = emul::ToWindowsPath(real ? real : resolved.host);
    std::free(real);
  }
  bool driveRoot = IsDriveRoot(windows);

  int listing = dup(directory);
  DIR* dir = listing >= 0 ? fdopendir(listing) : nullptr;
  if (!dir) {
    if (listing >= 0)
      close(listing);
    close(directory);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  Search search{directory, {}, 0};
  bool dot = false, dotDot = false;
  while (struct dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    bool isDot = std::strcmp(name, ".") == 0, isDotDot = std::strcmp(name, "..") == 0;
    if (isDot || isDotDot) {
      // Kept aside so that they come first, as Windows lists them.
      if (!driveRoot && Matches(namePattern, name))
        (isDot ? dot : dotDot) = true;
      continue;
    }
    if (std::strlen(name) < MAX_PATH && Matches(namePattern, name))
      search.names.emplace_back(name);
  }
  closedir(dir);
  if (dotDot)
    search.names.insert(search.names.begin(), "..");
  if (dot)
    search.names.insert(search.names.begin(), ".");
  if (search.names.empty()) {
    close(directory);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }

  Describe(directory, search.names[0], *found);
  search.next = 1;
  HANDLE handle = emul::NewKernelHandle();
  std::lock_guard guard(searchesLock);
  searches[handle] = std::move(search);
  return handle;
}

extern "C" BOOL WINAPI FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA found) {
  std::lock_guard guard(searchesLock);
  auto it = searches.find(handle);
  if (it == searches.end() || !found) {
    SetLastError(it == searches.end() ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Search& search = it->second;
  if (search.next >= search.names.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  Describe(search.directory, search.names[search.next++], *found);
  return TRUE;
}

extern "C" BOOL WINAPI FindClose(HANDLE handle) {
  int directory = -1;
  {
    std::lock_guard guard(searchesLock);
    auto it = searches.find(handle);
    if (it == searches.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    directory = it->second.directory;
    searches.erase(it);
  }
  close(directory);
  return TRUE;
}
