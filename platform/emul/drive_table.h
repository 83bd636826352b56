// The drive table: which host directory each Windows drive letter stands for, and
// what kind of drive it is. Hosts and tests change it here; the file, directory and
// dialog functions read it.
//
// By default C: is the host's root directory "/", and every mounted ISO 9660 or UDF
// file system listed in /proc/mounts is a CD-ROM drive, taking the first free letters
// from D: on in the order of the mount table. Drives are listed in letter order.
#pragma once

#include "fileapi.h"

#include <string>
#include <vector>

namespace emul {

struct Drive {
  char letter;      // 'A' to 'Z'
  std::string root; // host directory, absolute
  UINT type;        // DRIVE_FIXED, DRIVE_CDROM, ...
};

// Maps `letter` (either case) to the host directory `root`, replacing what the letter
// stood for. The directory need not exist: a CD-ROM drive without a disc is such a
// drive. Returns false for a letter outside A to Z, a root that is not an absolute
// path, or a type that is not a drive type (DRIVE_REMOVABLE to DRIVE_RAMDISK).
bool MapDrive(char letter, const std::string& root, UINT type = DRIVE_FIXED);
// Removes the letter from the table; false when it was not mapped.
bool UnmapDrive(char letter);
// The file whose ISO 9660 and UDF mounts become CD-ROM drives ("/proc/mounts" by
// default); an empty name turns the automatic CD-ROM drives off.
void SetMountTable(const std::string& path);
// Back to the default: C: is "/", automatic CD-ROM drives from /proc/mounts.
void ResetDriveTable();

// Every drive, explicit and automatic, in letter order.
std::vector<Drive> ListDrives();

// The Windows form of a host path ("/tmp/x" -> "C:\tmp\x"), taken from the drive whose
// root holds it most closely. A path under no drive comes back as it is.
std::string ToWindowsPath(const std::string& hostPath);

// The drive a letter (either case) stands for; false when none. For the emulation itself.
bool FindDrive(char letter, Drive& drive);

} // namespace emul
