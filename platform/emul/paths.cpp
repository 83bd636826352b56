#include "paths.h"
#include "drive_table.h"

#include <cctype>
#include <cerrno>
#include <sys/stat.h>
#include <vector>

namespace emul {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// Applies the components of `path` to `parts`, resolving "." and ".." by name.
void ApplyComponents(const std::string& path, std::vector<std::string>& parts) {
  size_t i = 0;
  while (i < path.size()) {
    size_t end = i;
    while (end < path.size() && !IsSeparator(path[end]))
      ++end;
    std::string part = path.substr(i, end - i);
    if (part == "..") {
      if (!parts.empty())
        parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = end + 1;
  }
}

std::string WithSlashes(std::string path) {
  for (char& c : path)
    if (c == '\\')
      c = '/';
  return path;
}

bool IsDriveForm(const std::string& path) {
  return path.size() >= 3 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string NormalHostPath(const std::string& path) {
  std::vector<std::string> parts;
  ApplyComponents(WithSlashes(path), parts);
  std::string out;
  for (const auto& part : parts)
    out += "/" + part;
  return out.empty() ? "/" : out;
}

bool ResolvePath(const char* path, ResolvedPath& resolved, DWORD& error) {
  resolved = ResolvedPath{};
  if (!path || !*path) {
    error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  std::string text = path;
  if (text[0] == '/') {
    resolved.host = text;
    return true;
  }

  char letter = 0;
  std::string rest;
  std::vector<std::string> parts;
  if (text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0]))) {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    rest = text.substr(2);
    if (rest.empty() || !IsSeparator(rest[0])) {
      // Drive-relative: from the current directory when it is on that drive.
      std::string current = CurrentWindowsDirectory();
      if (IsDriveForm(current) && std::toupper(static_cast<unsigned char>(current[0])) == letter)
        ApplyComponents(current.substr(3), parts);
    }
  } else {
    if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1])) {
      error = ERROR_PATH_NOT_FOUND; // network paths are not served
      return false;
    }
    std::string current = CurrentWindowsDirectory();
    if (!IsDriveForm(current)) {
      // The current directory is under no drive: leave the path to the host.
      resolved.host = WithSlashes(text);
      return true;
    }
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(current[0])));
    rest = text;
    if (!IsSeparator(text[0]))
      ApplyComponents(current.substr(3), parts);
  }

  Drive drive;
  if (!FindDrive(letter, drive)) {
    error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  ApplyComponents(rest, parts);
  resolved.windows = std::string(1, letter) + ":\\";
  resolved.host = drive.root == "/" ? std::string() : drive.root;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i)
      resolved.windows += '\\';
    resolved.windows += parts[i];
    resolved.host += '/';
    resolved.host += parts[i];
  }
  if (resolved.host.empty())
    resolved.host.assign(1, '/');
  resolved.driveRoot = drive.root;
  return true;
}

std::string ToHostPath(const char* windowsPath) {
  if (!windowsPath || !*windowsPath)
    return std::string();
  std::string text = windowsPath;
  bool drive =
      text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0]));
  // Relative names stay relative, so that the host resolves them against the process's
  // current directory, which is the Windows one.
  if (!drive && !IsSeparator(text[0]))
    return WithSlashes(text);
  if (drive && (text.size() == 2 || !IsSeparator(text[2]))) {
    std::string current = CurrentWindowsDirectory();
    if (IsDriveForm(current) && std::toupper(static_cast<unsigned char>(current[0])) ==
                                    std::toupper(static_cast<unsigned char>(text[0])))
      return text.size() == 2 ? std::string(".") : WithSlashes(text.substr(2));
  }
  ResolvedPath resolved;
  DWORD error = 0;
  if (!ResolvePath(windowsPath, resolved, error))
    return std::string();
  return resolved.host;
}

DWORD MissingPathError(const ResolvedPath& resolved) {
  if (!resolved.driveRoot.empty() && !IsDirectory(resolved.driveRoot))
    return ERROR_NOT_READY;
  std::string parent = resolved.host;
  while (parent.size() > 1 && parent.back() == '/')
    parent.pop_back();
  size_t slash = parent.rfind('/');
  if (slash == std::string::npos)
    parent.assign(1, '.');
  else
    parent.resize(slash == 0 ? 1 : slash);
  return IsDirectory(parent) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD WindowsErrorFor(int errnoValue, const ResolvedPath& resolved) {
  switch (errnoValue) {
  case ENOENT:
  case ENOTDIR:
    return MissingPathError(resolved);
  case EACCES:
  case EPERM:
  case EROFS:
  case EISDIR:
    return ERROR_ACCESS_DENIED;
  case EEXIST:
    return ERROR_FILE_EXISTS;
  case ENAMETOOLONG:
    return ERROR_FILENAME_EXCED_RANGE;
  case EMFILE:
  case ENFILE:
    return ERROR_TOO_MANY_OPEN_FILES;
  case ENOSPC:
  case EDQUOT:
    return ERROR_DISK_FULL;
  case EINVAL:
    return ERROR_INVALID_PARAMETER;
  default:
    return ERROR_GEN_FAILURE;
  }
}

} // namespace emul
