#include "drive_table.h"
#include "paths.h"

#include <array>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace emul {
namespace {

struct MappedDrive {
  std::string root;
  UINT type;
};

std::mutex tableLock;
std::array<std::optional<MappedDrive>, 26> mapped;
std::string mountTable = "/proc/mounts";
bool defaultsSet = false;

void SetDefaultsLocked() {
  mapped.fill(std::nullopt);
  mapped['C' - 'A'] = MappedDrive{"/", DRIVE_FIXED};
  mountTable = "/proc/mounts";
  defaultsSet = true;
}

void EnsureDefaultsLocked() {
  if (!defaultsSet)
    SetDefaultsLocked();
}

int LetterIndex(char letter) {
  if (letter >= 'a' && letter <= 'z')
    return letter - 'a';
  if (letter >= 'A' && letter <= 'Z')
    return letter - 'A';
  return -1;
}

// Mount tables escape space, tab, newline and backslash as three octal digits.
std::string UnescapeMountField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    auto octal = [&](size_t at) {
      return at < field.size() && field[at] >= '0' && field[at] <= '7';
    };
    if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                               (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

// The mount points of the ISO 9660 and UDF file systems, in the table's order.
std::vector<std::string> DiscMountPoints(const std::string& table) {
  std::vector<std::string> points;
  if (table.empty())
    return points;
  std::ifstream in(table);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string device, point, type;
    if (!(fields >> device >> point >> type))
      continue;
    if (type == "iso9660" || type == "udf")
      points.push_back(UnescapeMountField(point));
  }
  return points;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

// Length of `root` when it holds `path` (both normal), else 0 ("/" holds everything).
size_t HoldingLength(const std::string& root, const std::string& path) {
  if (root == "/")
    return 1;
  if (path.compare(0, root.size(), root) != 0)
    return 0;
  if (path.size() != root.size() && path[root.size()] != '/')
    return 0;
  return root.size();
}

} // namespace

bool MapDrive(char letter, const std::string& root, UINT type) {
  int index = LetterIndex(letter);
  if (index < 0 || root.empty() || root[0] != '/' || type < DRIVE_REMOVABLE || type > DRIVE_RAMDISK)
    return false;
  std::lock_guard guard(tableLock);
  EnsureDefaultsLocked();
  mapped[static_cast<size_t>(index)] = MappedDrive{WithoutTrailingSlashes(root), type};
  return true;
}

bool UnmapDrive(char letter) {
  int index = LetterIndex(letter);
  if (index < 0)
    return false;
  std::lock_guard guard(tableLock);
  EnsureDefaultsLocked();
  bool was = mapped[static_cast<size_t>(index)].has_value();
  mapped[static_cast<size_t>(index)].reset();
  return was;
}

void SetMountTable(const std::string& path) {
  std::lock_guard guard(tableLock);
  EnsureDefaultsLocked();
  mountTable = path;
}

void ResetDriveTable() {
  std::lock_guard guard(tableLock);
  SetDefaultsLocked();
}

std::vector<Drive> ListDrives() {
  std::array<std::optional<MappedDrive>, 26> table;
  std::string mounts;
  {
    std::lock_guard guard(tableLock);
    EnsureDefaultsLocked();
    table = mapped;
    mounts = mountTable;
  }
  // Discs take the free letters from D: on; a disc already mapped by hand keeps its letter.
  size_t next = 'D' - 'A';
  for (const auto& point : DiscMountPoints(mounts)) {
    std::string root = WithoutTrailingSlashes(point);
    bool known = false;
    for (const auto& drive : table)
      known = known || (drive && drive->root == root);
    if (known)
      continue;
    while (next < table.size() && table[next])
      ++next;
    if (next >= table.size())
      break;
    table[next] = MappedDrive{root, DRIVE_CDROM};
  }
  std::vector<Drive> drives;
  for (size_t i = 0; i < table.size(); ++i)
    if (table[i])
      drives.push_back(Drive{static_cast<char>('A' + i), table[i]->root, table[i]->type});
  return drives;
}

bool FindDrive(char letter, Drive& drive) {
  int index = LetterIndex(letter);
  if (index < 0)
    return false;
  {
    std::lock_guard guard(tableLock);
    EnsureDefaultsLocked();
    const auto& entry = mapped[static_cast<size_t>(index)];
    if (entry) {
      drive = Drive{static_cast<char>('A' + index), entry->root, entry->type};
      return true;
    }
  }
  for (const auto& each : ListDrives()) {
    if (each.letter == 'A' + index) {
      drive = each;
      return true;
    }
  }
  return false;
}

std::string ToWindowsPath(const std::string& hostPath) {
  std::string absolute = hostPath;
  if (absolute.empty() || absolute[0] != '/') {
    char* cwd = getcwd(nullptr, 0);
    if (!cwd)
      return hostPath;
    absolute = std::string(cwd) + "/" + absolute;
    std::free(cwd);
  }
  absolute = NormalHostPath(absolute);

  const Drive* best = nullptr;
  size_t bestLength = 0;
  auto drives = ListDrives();
  for (const auto& drive : drives) {
    // A drive's root may be reached through a link, so its resolved form counts too.
    std::string forms[2] = {NormalHostPath(drive.root), drive.root};
    if (char* real = realpath(drive.root.c_str(), nullptr)) {
      forms[1] = real;
      std::free(real);
    }
    for (const auto& form : forms) {
      size_t length = HoldingLength(form, absolute);
      if (length > bestLength) {
        best = &drive;
        bestLength = length;
      }
    }
  }
  if (!best)
    return hostPath;
  std::string rest = bestLength == 1 ? absolute.substr(1) : absolute.substr(bestLength);
  if (!rest.empty() && rest[0] == '/')
    rest.erase(0, 1);
  std::string windows = std::string(1, best->letter) + ":\\";
  for (char c : rest)
    windows += c == '/' ? '\\' : c;
  return windows;
}

} // namespace emul

extern "C" DWORD WINAPI GetLogicalDriveStringsA(DWORD bufferLength, LPSTR buffer) {
  auto drives = emul::ListDrives();
  DWORD length = static_cast<DWORD>(drives.size() * 4);
  if (!buffer || bufferLength < length + 1)
    return length + 1;
  char* out = buffer;
  for (const auto& drive : drives) {
    *out++ = drive.letter;
    *out++ = ':';
    *out++ = '\\';
    *out++ = 0;
  }
  *out = 0;
  return length;
}

extern "C" UINT WINAPI GetDriveTypeA(LPCSTR rootPath) {
  std::string root;
  if (rootPath) {
    root = rootPath;
  } else {
    root = emul::CurrentWindowsDirectory();
    root = root.size() >= 2 && root[1] == ':' ? root.substr(0, 3) : std::string();
  }
  // Only a drive's root names a drive: "C:\" or "C:".
  bool isRoot = (root.size() == 2 || (root.size() == 3 && (root[2] == '\\' || root[2] == '/'))) &&
                root[1] == ':';
  emul::Drive drive;
  if (!isRoot || !emul::FindDrive(root[0], drive))
    return DRIVE_NO_ROOT_DIR;
  return drive.type;
}
