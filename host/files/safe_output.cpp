#include "host/files/safe_output.h"

#include "host/files/input_file.h"
#include "host/files/interrupt.h"
#include "host/host_error.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void Refuse(const std::filesystem::path& target, const std::string& why) {
  throw HostError(target.string() + ": cannot write the output: " + why);
}

// The mode a new file gets from open(..., 0666): mkstemp makes it 0600.
mode_t NewFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

} // namespace

OutputTarget CheckOutputTarget(const std::filesystem::path& target,
                               const std::vector<std::filesystem::path>& inputs,
                               bool allowStandardOutput) {
  OutputTarget where;
  if (target == "-") {
    if (!allowStandardOutput)
      Refuse(target, "this output cannot go to standard output; give a file name");
    where.standardOutput = true;
    return where;
  }
  if (target.empty())
    Refuse(target, "the file name is empty");
  // Absolute, so that the rename finds the file whatever the current directory is then.
  where.file = std::filesystem::absolute(target);
  struct stat link {};
  if (lstat(target.c_str(), &link) != 0) {
    if (errno != ENOENT)
      Refuse(target, std::strerror(errno));
    return where; // a new file; its directory is checked when the file is made
  }
  struct stat status {};
  if (stat(target.c_str(), &status) != 0) {
    // A link to nothing would make a file somewhere the user did not name.
    Refuse(target, errno == ENOENT ? "a symbolic link to a missing file"
                                   : std::string(std::strerror(errno)));
  }
  if (!S_ISREG(status.st_mode))
    Refuse(target, NotRegularReason(status.st_mode) + "; za32 writes only regular files");
  if (S_ISLNK(link.st_mode)) {
    // Replace the file the link names, so the link stays a link.
    std::error_code error;
    where.file = std::filesystem::canonical(target, error);
    if (error)
      Refuse(target, error.message());
  }
  for (const std::filesystem::path& input : inputs) {
    struct stat other {};
    if (!input.empty() && stat(input.c_str(), &other) == 0 && other.st_dev == status.st_dev &&
        other.st_ino == status.st_ino)
      Refuse(target,
             "it is the input " + input.string() + " of this command; choose another output file");
  }
  return where;
}

SafeOutput::SafeOutput(const std::filesystem::path& target,
                       const std::vector<std::filesystem::path>& inputs, bool allowStandardOutput)
    : target_(target), where_(CheckOutputTarget(target, inputs, allowStandardOutput)) {
  if (where_.standardOutput) {
    file_ = stdout;
    return;
  }
  struct stat existing {};
  mode_t mode =
      stat(where_.file.c_str(), &existing) == 0 ? existing.st_mode & 07777 : NewFileMode();
  std::filesystem::path directory = where_.file.parent_path();
  std::string pattern =
      (directory / ("." + where_.file.filename().string() + ".za32-XXXXXX")).string();
  int fd = mkstemp(pattern.data());
  if (fd < 0)
    throw HostError(target.string() + ": cannot create the file: " + std::strerror(errno));
  temporary_ = pattern;
  RegisterTemporaryFile(temporary_.c_str());
  if (fchmod(fd, mode) != 0 || !(file_ = fdopen(fd, "wb"))) {
    int error = errno;
    close(fd);
    Fail("cannot create the file", error);
  }
}

SafeOutput::~SafeOutput() {
  if (!committed_)
    Discard();
}

void SafeOutput::Discard() {
  if (file_ && file_ != stdout)
    std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) {
    unlink(temporary_.c_str());
    UnregisterTemporaryFile(temporary_.c_str());
    temporary_.clear();
  }
}

void SafeOutput::Fail(const std::string& what, int error) {
  Discard();
  throw HostError(target_.string() + ": " + what + ": " + std::strerror(error));
}

void SafeOutput::Write(const void* data, size_t bytes) {
  if (!file_)
    throw HostError(target_.string() + ": the output is closed");
  if (bytes && std::fwrite(data, 1, bytes, file_) != bytes)
    Fail("cannot write", errno);
}

void SafeOutput::WriteAt(uint64_t offset, const void* data, size_t bytes) {
  if (!file_ || where_.standardOutput)
    throw HostError(target_.string() + ": cannot go back in this output");
  if (std::fflush(file_) != 0)
    Fail("cannot write", errno);
  const char* from = static_cast<const char*>(data);
  while (bytes > 0) {
    ssize_t put = pwrite(fileno(file_), from, bytes, static_cast<off_t>(offset));
    if (put < 0 && errno == EINTR)
      continue;
    if (put <= 0)
      Fail("cannot write", put < 0 ? errno : EIO);
    from += put;
    bytes -= static_cast<size_t>(put);
    offset += static_cast<uint64_t>(put);
  }
}

void SafeOutput::StartWriteback() {
  if (!file_ || where_.standardOutput)
    return;
  // Only a hint: a failure shows again, and is reported, at Commit's sync.
  if (std::fflush(file_) == 0)
    sync_file_range(fileno(file_), 0, 0, SYNC_FILE_RANGE_WRITE);
}

void SafeOutput::Commit() {
  if (!file_)
    throw HostError(target_.string() + ": the output is closed");
  if (where_.standardOutput) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
      throw HostError("cannot write to standard output: " + std::string(std::strerror(errno)));
    committed_ = true;
    return;
  }
  if (std::fflush(file_) != 0 || fsync(fileno(file_)) != 0)
    Fail("cannot write", errno);
  int closed = std::fclose(file_);
  file_ = nullptr;
  if (closed != 0)
    Fail("cannot write", errno);
  if (rename(temporary_.c_str(), where_.file.c_str()) != 0)
    Fail("cannot replace the file", errno);
  UnregisterTemporaryFile(temporary_.c_str());
  temporary_.clear();
  committed_ = true;
  // The rename itself reaches the disk with its directory.
  std::filesystem::path directory = where_.file.parent_path();
  int fd = open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

void WriteFileSafely(const std::filesystem::path& target, std::string_view bytes,
                     const std::vector<std::filesystem::path>& inputs) {
  SafeOutput out(target, inputs);
  out.Write(bytes);
  out.Commit();
}
