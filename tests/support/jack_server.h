// A JACK server of the caller's own: jackd on the dummy driver (44,100 Hz unless told) under a
// private name, started by the object and stopped by its process id when it goes. While
// it lives, JACK_DEFAULT_SERVER names it, for this process and the programs it starts.
#pragma once

#include <string>
#include <sys/types.h>

class JackServer {
public:
  explicit JackServer(unsigned period = 128, unsigned rate = 44100);
  ~JackServer();
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  // False when no server could be started or joined within a few seconds.
  bool ready() const { return ready_; }
  const std::string& name() const { return name_; }

private:
  std::string name_;
  pid_t pid_ = 0;
  bool ready_ = false;
};
