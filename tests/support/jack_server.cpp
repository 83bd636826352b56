#include "jack_server.h"

#include <jack/jack.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

JackServer::JackServer(unsigned period, unsigned rate)
    : name_("za32-test-" + std::to_string(getpid())) {
  const std::string periodArgument = "-p" + std::to_string(period);
  const std::string rateArgument = "-r" + std::to_string(rate);
  const char* args[] = {"jackd", "-n",    name_.c_str(),        "--no-realtime",
                        "-d",    "dummy", rateArgument.c_str(), periodArgument.c_str(),
                        nullptr};
  // The dummy driver reports every late period; none of that is the test's business.
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  const int spawned =
      posix_spawnp(&pid_, "jackd", &quiet, nullptr, const_cast<char**>(args), environ);
  posix_spawn_file_actions_destroy(&quiet);
  if (spawned != 0) {
    pid_ = 0;
    return;
  }
  setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
  // Ready once a client can join it.
  for (int attempt = 0; attempt < 100 && !ready_; ++attempt) {
    jack_status_t status;
    if (jack_client_t* probe = jack_client_open("za32-probe", JackNoStartServer, &status)) {
      jack_client_close(probe);
      ready_ = true;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
}

JackServer::~JackServer() {
  unsetenv("JACK_DEFAULT_SERVER");
  if (pid_ <= 0)
    return;
  kill(pid_, SIGTERM);
  int status;
  waitpid(pid_, &status, 0);
}
