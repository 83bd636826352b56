// A failure the user caused or can mend (missing file, bad kit, unknown key code): it
// ends the command with its message on standard error and a non-zero exit status. The
// kit model's own faults (KitError) are of the same kind.
#pragma once

#include "kit/kit_error.h"

#include <string>

class HostError : public KitError {
public:
  explicit HostError(const std::string& message) : KitError(message) {}
};
