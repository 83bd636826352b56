// Directory searches. A search reads the directory's entries when it starts. As on
// Windows, every directory but a drive's root reports "." and ".." (first), a drive's
// root reports neither, and the name pattern's "*" and "?" match without regard to
// letter case ("*.*" matches every name).
//
// An entry is reported by its name and attributes: a directory (a link to one counts),
// otherwise an archive file; hidden when its name starts with a dot. Sizes and times
// are left 0: nothing on this platform reads them, and they would cost a look at every
// file, which makes a listing of a large sample directory several times slower.
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

struct Entry {
  std::string name;
  unsigned char type; // DT_DIR, DT_REG, ... as the directory reports it
};

struct Search {
  int directory; // descriptor the entries are looked at through
  std::vector<Entry> entries;
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

bool IsDirectoryEntry(int directory, const Entry& entry) {
  if (entry.type == DT_DIR)
    return true;
  if (entry.type == DT_REG)
    return false;
  // A link, or a file system that does not tell the type with the name.
  struct stat st;
  return fstatat(directory, entry.name.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode);
}

void Describe(int directory, const Entry& entry, WIN32_FIND_DATAA& data) {
  std::memset(&data, 0, sizeof data);
  std::memcpy(data.cFileName, entry.name.c_str(), entry.name.size() + 1);
  DWORD attributes =
      IsDirectoryEntry(directory, entry) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (entry.name[0] == '.' && entry.name != "." && entry.name != "..")
    attributes |= FILE_ATTRIBUTE_HIDDEN;
  data.dwFileAttributes = attributes;
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
      search.entries.push_back(Entry{name, entry->d_type});
  }
  closedir(dir);
  if (dotDot)
    search.entries.insert(search.entries.begin(), Entry{"..", DT_DIR});
  if (dot)
    search.entries.insert(search.entries.begin(), Entry{".", DT_DIR});
  if (search.entries.empty()) {
    close(directory);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }

  Describe(directory, search.entries[0], *found);
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
  if (search.next >= search.entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  Describe(search.directory, search.entries[search.next++], *found);
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
