// A failure the user caused or can mend (missing file, bad kit, unknown key code): it
// ends the command with its message on standard error and a non-zero exit status.
#pragma once

#include <stdexcept>
#include <string>

class HostError : public std::runtime_error {
public:
  explicit HostError(const std::string& message) : std::runtime_error(message) {}
};
