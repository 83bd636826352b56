#include "host/files/input_file.h"

#include "host/host_error.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint64_t kWaveReaderLimit = 0x7FFFFFFF;

void CheckStatus(const std::filesystem::path& file, const std::string& what,
                 const struct stat& status) {
  if (!S_ISREG(status.st_mode))
    RefuseInput(file, what, NotRegularReason(status.st_mode));
}

// Opens a file that stat found regular. O_NONBLOCK keeps a FIFO swapped in since then
// from blocking; fstat then refuses it.
int OpenChecked(const std::filesystem::path& file, const std::string& what, struct stat& status) {
  if (stat(file.c_str(), &status) != 0)
    RefuseInput(file, what, std::strerror(errno));
  CheckStatus(file, what, status);
  int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    RefuseInput(file, what, std::strerror(errno));
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    RefuseInput(file, what, "the file changed while it was opened");
  }
  return fd;
}

} // namespace

std::string NotRegularReason(unsigned mode) {
  if (S_ISDIR(mode))
    return std::strerror(EISDIR);
  if (S_ISFIFO(mode))
    return "not a regular file (a FIFO)";
  if (S_ISCHR(mode))
    return "not a regular file (a character device)";
  if (S_ISBLK(mode))
    return "not a regular file (a block device)";
  if (S_ISSOCK(mode))
    return "not a regular file (a socket)";
  return "not a regular file";
}

void RefuseInput(const std::filesystem::path& file, const std::string& what,
                 const std::string& reason) {
  throw HostError(file.string() + ": cannot read the " + what + ": " + reason);
}

uint64_t CheckInputFile(const std::filesystem::path& file, const std::string& what) {
  struct stat status {};
  close(OpenChecked(file, what, status));
  return static_cast<uint64_t>(status.st_size);
}

void CheckWaveInput(const std::filesystem::path& file, const std::string& what) {
  uint64_t size = CheckInputFile(file, what);
  if (size == 0)
    RefuseInput(file, what, "the file is empty (0 bytes)");
  if (size > kWaveReaderLimit)
    RefuseInput(file, what,
                "file too large for the engine's 32-bit reader (" + std::to_string(size) +
                    " bytes; at most " + std::to_string(kWaveReaderLimit) + ")");
}

std::string ReadInputFile(const std::filesystem::path& file, const std::string& what,
                          uint64_t maxBytes) {
  struct stat status {};
  int fd = OpenChecked(file, what, status);
  std::string text;
  if (static_cast<uint64_t>(status.st_size) > maxBytes) {
    close(fd);
    RefuseInput(file, what,
                "file too large (" + std::to_string(status.st_size) + " bytes; at most " +
                    std::to_string(maxBytes) + ")");
  }
  char buffer[65536];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0) {
      int error = errno;
      close(fd);
      RefuseInput(file, what, std::strerror(error));
    }
    if (got == 0)
      break;
    text.append(buffer, static_cast<size_t>(got));
    // A file that grows while it is read is held to the same limit.
    if (text.size() > maxBytes) {
      close(fd);
      RefuseInput(file, what, "file too large (more than " + std::to_string(maxBytes) + " bytes)");
    }
  }
  close(fd);
  return text;
}
