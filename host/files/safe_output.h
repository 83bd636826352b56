// Writing an output file without ever losing what was at its path. The bytes go to a new
// temporary file beside the target, created exclusively; only when complete is it
// flushed, synced and renamed over the target. On any failure, an exception or an
// interrupt, the temporary file is removed and the target is left as it was.
//
//   SafeOutput out(path, {kitFile, patternFile});  // refuses a bad target at once
//   out.Write(bytes, count);
//   out.Commit();                                   // or let it go: nothing changes
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// What CheckOutputTarget decided: where the bytes go.
struct OutputTarget {
  bool standardOutput = false;
  std::filesystem::path file; // the regular file to replace or create, links resolved
};

// Refuses, before anything is opened for writing, an output that is not a regular file
// (a device, a FIFO, a directory, a link to nothing), or that is the same file (device
// and inode, links resolved) as any of `inputs`. "-" is standard output where
// `allowStandardOutput`, and refused otherwise. HostError naming the target and why.
OutputTarget CheckOutputTarget(const std::filesystem::path& target,
                               const std::vector<std::filesystem::path>& inputs,
                               bool allowStandardOutput = false);

class SafeOutput {
public:
  // Checks the target as CheckOutputTarget does and creates the temporary file.
  SafeOutput(const std::filesystem::path& target,
             const std::vector<std::filesystem::path>& inputs = {},
             bool allowStandardOutput = false);
  ~SafeOutput(); // without Commit: the temporary file is removed, the target untouched
  SafeOutput(const SafeOutput&) = delete;
  SafeOutput& operator=(const SafeOutput&) = delete;

  // HostError naming the target when the system refuses the bytes (a full disk).
  void Write(const void* data, size_t bytes);
  void Write(std::string_view text) { Write(text.data(), text.size()); }
  // Overwrites bytes already written, e.g. a header whose sizes are known at the end.
  // Not possible on standard output.
  void WriteAt(uint64_t offset, const void* data, size_t bytes);

  // Asks the system to start writing to the disk what the file holds so far, without
  // waiting, so that the sync in Commit finds little left to wait for. Nothing on
  // standard output.
  void StartWriteback();

  // Flushes, syncs and renames the temporary file over the target. HostError when any
  // step fails; the temporary file is then removed and the target left as it was.
  void Commit();

  bool standardOutput() const { return where_.standardOutput; }
  // The path as the user gave it, for messages.
  const std::filesystem::path& target() const { return target_; }
  // The temporary file being written; empty for standard output.
  const std::filesystem::path& temporary() const { return temporary_; }

private:
  [[noreturn]] void Fail(const std::string& what, int error);
  void Discard();

  std::filesystem::path target_;
  OutputTarget where_;
  std::filesystem::path temporary_;
  std::FILE* file_ = nullptr;
  bool committed_ = false;
};

// Writes a whole file through SafeOutput.
void WriteFileSafely(const std::filesystem::path& target, std::string_view bytes,
                     const std::vector<std::filesystem::path>& inputs = {});
