// Started as a program rather than loaded by a host, the module does nothing and
// exits with code 0, as the Windows module's WinMain does.
#include <unistd.h>

extern "C" {
__attribute__((section(".interp"), used)) const char za32_interpreter[] = ZA32_ELF_INTERPRETER;

[[noreturn]] __attribute__((used)) void za32_program_entry() { _exit(0); }
}
