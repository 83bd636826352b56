// Ctrl-C and SIGTERM end a command cleanly rather than at once: the first signal only
// raises a flag that the long loops (rendering, playing, auditioning) look at, so that
// they stop their notes, close the device and remove their temporary files. A second
// signal ends the program at once, still removing every temporary output first.
#pragma once

#include "host/host_error.h"

// Installs the handlers for SIGINT and SIGTERM. Without it no flag is ever raised.
void CatchInterrupts();
// True once SIGINT or SIGTERM has come.
bool Interrupted();

// Thrown by a command that stops because it was interrupted; the program exits 130.
class InterruptedError : public HostError {
public:
  explicit InterruptedError(const std::string& message = "interrupted") : HostError(message) {}
};
constexpr int kInterruptedStatus = 130;

// Temporary files that the second signal removes before the program ends. The path is
// copied; a path too long for the fixed table is not registered (the first signal's
// orderly removal still covers it).
void RegisterTemporaryFile(const char* path);
void UnregisterTemporaryFile(const char* path);
