// The user's side of the open and save dialogs: every GetOpenFileNameA and
// GetSaveFileNameA asks the handler set here. A host asks on its terminal or takes a
// name from its command line; a test scripts the answers.
//
// What the dialog then does with a chosen name, as Windows does:
//  - a relative name is taken in the dialog's initial directory (else the current one),
//    and the result is a full Windows path ("C:\songs\a.ZAN");
//  - a name without an extension gets the default extension (the open dialog first
//    tries the name as typed);
//  - a name whose extension differs from the default extension (letter case aside) is
//    returned as typed with OFN_EXTENSIONDIFFERENT set in Flags;
//  - with OFN_FILEMUSTEXIST a missing file, and with OFN_PATHMUSTEXIST or
//    OFN_FILEMUSTEXIST a missing directory, is refused: the handler is asked again,
//    with the system's message in `problem`;
//  - on success the current directory becomes the chosen file's directory, unless a
//    save dialog carries OFN_NOCHANGEDIR.
// OFN_OVERWRITEPROMPT and OFN_CREATEPROMPT ask nothing: the handler's choice is final.
#pragma once

#include "commdlg.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace emul {

enum class FileDialogKind { Open, Save };

struct FileDialogRequest {
  FileDialogKind kind;
  const OPENFILENAMEA* dialog; // the caller's structure, as passed
  HWND owner;
  std::string title;
  std::vector<std::pair<std::string, std::string>> filters; // text, pattern
  DWORD filterIndex;
  std::string fileName; // the file name buffer's contents on entry
  std::string initialDirectory;
  std::string defaultExtension;
  DWORD flags;
  std::string problem; // the system's message about the previous answer; empty at first
};

struct FileDialogAnswer {
  enum class Outcome { Chosen, Cancelled, Failed };
  Outcome outcome = Outcome::Cancelled;
  std::string name;

  static FileDialogAnswer Choose(std::string name) {
    return FileDialogAnswer{Outcome::Chosen, std::move(name)};
  }
  static FileDialogAnswer Cancel() { return FileDialogAnswer{Outcome::Cancelled, {}}; }
  // The dialog could not be shown: the call fails with CDERR_DIALOGFAILURE.
  static FileDialogAnswer Fail() { return FileDialogAnswer{Outcome::Failed, {}}; }
};

using FileDialogHandler = std::function<FileDialogAnswer(const FileDialogRequest& request)>;

// An empty handler restores the default, which cancels every dialog.
void SetFileDialogHandler(FileDialogHandler handler);

} // namespace emul
