// Translation of the Windows-style paths that the engine and its hosts use into paths
// of the host's file system, at the boundary of every emulated file call. Drive letters
// stand for the host directories of the drive table (drive_table.h).
//
//   "C:\dir\file.wav"  the drive's host directory + "/dir/file.wav"
//   "dir\file.wav"     relative, and stays relative: backslashes become slashes
//   "C:file.wav"       relative when C: holds the current directory, else from C:'s root
//   "\dir\file.wav"    from the root of the drive that holds the current directory
//   "/tmp/file.wav"    a host path, taken as it stands
//
// Forward slashes are separators too, except as the first character, which makes the
// path a host one. In absolute paths "." and ".." are resolved by name, as Windows
// does, and never climb above a drive's root. Letter case is kept: host file names
// stay case-sensitive.
#pragma once

#include "wintypes.h"

#include <string>

namespace emul {

// The host path for `windowsPath`. A drive letter without a host directory, a network
// path, an empty name or null gives an empty string, which no file call can open.
std::string ToHostPath(const char* windowsPath);

// What a path resolves to, for the emulation's own file and directory functions.
struct ResolvedPath {
  std::string host;      // the host path
  std::string windows;   // full Windows form ("C:\dir"); empty for POSIX and host-relative paths
  std::string driveRoot; // the drive's host directory; empty when no drive is involved
};

// Resolves `path` to an absolute one (relative names from the current directory); on
// failure returns false with a Windows error code in `error`.
bool ResolvePath(const char* path, ResolvedPath& resolved, DWORD& error);

// The Windows error for a path that does not exist: the drive is not ready (its
// directory is missing), the directory above it is missing, or only the file is.
DWORD MissingPathError(const ResolvedPath& resolved);

// The Windows error for a failed host call on `resolved` (errno value `errnoValue`).
DWORD WindowsErrorFor(int errnoValue, const ResolvedPath& resolved);

// Lexical normal form of an absolute host path: no ".", "..", empty components or
// trailing slash ("/" stays "/").
std::string NormalHostPath(const std::string& path);

// The current directory in Windows form ("C:\" at a drive's root, "C:\dir" below it),
// or the host path when no drive holds it; empty when the host cannot tell it.
std::string CurrentWindowsDirectory();

} // namespace emul
