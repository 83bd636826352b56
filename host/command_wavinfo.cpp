// wavinfo: WAV files read as the engine reads them.
#include "commands.h"

#include "host_error.h"

#include <cstdio>

int RunWavInfo(const std::vector<std::string>& files) {
  // Waits for the engine's reader.
  throw HostError("wavinfo is not available yet");
}
