// Translation of the Windows-style paths that the engine and its hosts use into paths
// of the host's file system, at the boundary of every emulated file call.
#pragma once

#include <string>

namespace emul {

// "C:\dir\file.wav" -> "/dir/file.wav" (drive C: is the host's root), backslashes become
// slashes, and plain host paths pass unchanged; relative names stay relative, so they
// resolve against the current directory. A drive letter without a host directory gives
// an empty string, which no file call can open.
std::string ToHostPath(const char* windowsPath);

} // namespace emul
