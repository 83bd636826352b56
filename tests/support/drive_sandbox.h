// Puts the drive table, the current directory and the file dialog handler back as they
// were when the object goes, so that tests may map drives and change directory freely.
// While it lives there are no automatic CD-ROM drives: only what the test maps.
#pragma once

#include "platform/emul/dialogs.h"
#include "platform/emul/drive_table.h"

#include <filesystem>
#include <string>

class DriveSandbox {
public:
  DriveSandbox();
  ~DriveSandbox();
  DriveSandbox(const DriveSandbox&) = delete;
  DriveSandbox& operator=(const DriveSandbox&) = delete;

private:
  std::filesystem::path startDirectory_;
};

// The current directory as GetCurrentDirectoryA reports it.
std::string CurrentDirectory();
