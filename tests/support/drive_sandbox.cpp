#include "drive_sandbox.h"

DriveSandbox::DriveSandbox() : startDirectory_(std::filesystem::current_path()) {
  emul::ResetDriveTable();
  emul::SetMountTable("");
}

DriveSandbox::~DriveSandbox() {
  std::error_code ignored;
  std::filesystem::current_path(startDirectory_, ignored);
  emul::ResetDriveTable();
  emul::SetFileDialogHandler(nullptr);
}

std::string CurrentDirectory() {
  char buffer[4096];
  DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}
