#include "paths.h"

#include <algorithm>

namespace {

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The host directory that stands for a drive's root; empty when the drive is unknown.
std::string DriveRoot(char letter) {
  if (letter == 'C' || letter == 'c')
    return "/";
  return {};
}

} // namespace

std::string emul::ToHostPath(const char* windowsPath) {
  if (!windowsPath)
    return {};
  std::string path = windowsPath;
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.size() < 2 || path[1] != ':' || !IsDriveLetter(path[0]))
    return path;

  std::string root = DriveRoot(path[0]);
  if (root.empty())
    return {};
  std::string rest = path.substr(2);
  // "C:name" names a file in the current directory of C:, which is the one current
  // directory there is.
  if (rest.empty())
    return ".";
  if (rest[0] != '/')
    return rest;
  rest.erase(0, rest.find_first_not_of('/'));
  if (root.back() != '/')
    root += '/';
  return root + rest;
}
