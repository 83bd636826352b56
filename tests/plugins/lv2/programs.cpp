#include "programs.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

std::string Slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

pid_t Spawn(const std::vector<std::string>& args, const std::filesystem::path& directory, int input,
            const std::filesystem::path& out, const std::filesystem::path& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input >= 0)
    posix_spawn_file_actions_adddup2(&actions, input, 0);
  else
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> words = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"",
                                    directory.string()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words)
    argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv.data(), environ) != 0)
    pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int ExitStatus(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

ProgramResult RunProgram(const std::vector<std::string>& args,
                         const std::filesystem::path& directory) {
  std::filesystem::path out = directory / ".program-out", err = directory / ".program-err";
  ProgramResult result;
  pid_t pid = Spawn(args, directory, -1, out, err);
  if (pid < 0)
    return result;
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = ExitStatus(status);
  result.out = Slurp(out);
  result.err = Slurp(err);
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return result;
}

RunningProgram::RunningProgram(const std::vector<std::string>& args,
                               const std::filesystem::path& directory)
    : out_(directory / ".running-out"), err_(directory / ".running-err") {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0)
    return;
  pid_ = Spawn(args, directory, pipeEnds[0], out_, err_);
  close(pipeEnds[0]);
  input_ = pipeEnds[1];
}

RunningProgram::~RunningProgram() {
  if (input_ >= 0)
    close(input_);
  if (pid_ <= 0)
    return;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 50; ++i) {
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_)
      return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(pid_, SIGKILL);
  int status;
  waitpid(pid_, &status, 0);
}

void RunningProgram::Send(const std::string& line) {
  std::string text = line + "\n";
  if (input_ >= 0 && write(input_, text.data(), text.size()) < 0) {
  }
}

ProgramResult RunningProgram::Finish(double seconds) {
  ProgramResult result;
  if (input_ >= 0)
    close(input_);
  input_ = -1;
  auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (pid_ > 0 && std::chrono::steady_clock::now() < until) {
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      result.status = ExitStatus(status);
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  result.out = Slurp(out_);
  result.err = Slurp(err_);
  return result;
}

std::string RunningProgram::Output() const {
  return Slurp(out_) + Slurp(err_);
}
