// A fresh directory under the system's temporary directory, removed with its
// contents when the object goes.
#pragma once

#include <filesystem>
#include <string>

class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the directory, as a string the engine can take.
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // Writes `bytes` into `name` and returns its path.
  std::string write(const std::string& name, const std::string& bytes) const;

private:
  std::filesystem::path path_;
};
