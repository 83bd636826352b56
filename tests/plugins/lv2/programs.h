// Running the real programs the tests check the plugin with (lv2_validate, sordi, jalv,
// za32), each started by the test and stopped by its process id.
#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

struct ProgramResult {
  int status = -1; // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;
};

// Runs `args` (args[0] looked up in PATH) in `directory` and waits for it.
ProgramResult RunProgram(const std::vector<std::string>& args,
                         const std::filesystem::path& directory);

// A program left running, its standard input a pipe held open (jalv ends when it closes),
// its output into files in `directory`.
class RunningProgram {
public:
  RunningProgram(const std::vector<std::string>& args, const std::filesystem::path& directory);
  ~RunningProgram(); // stops it (SIGTERM, then SIGKILL) by its pid
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  bool started() const { return pid_ > 0; }
  // Writes a line to its standard input.
  void Send(const std::string& line);
  // Closes standard input and waits for it to end by itself, up to `seconds`.
  ProgramResult Finish(double seconds);
  std::string Output() const; // standard output and error so far

private:
  pid_t pid_ = -1;
  int input_ = -1;
  std::filesystem::path out_, err_;
};
