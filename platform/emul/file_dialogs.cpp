#include "dialogs.h"
#include "drive_table.h"
#include "fileapi.h"
#include "kernel32.h"
#include "paths.h"

#include <cstring>
#include <mutex>
#include <sys/stat.h>

namespace {

std::mutex handlerLock;
emul::FileDialogHandler currentHandler;
thread_local DWORD lastDialogError = 0;

emul::FileDialogHandler Handler() {
  std::lock_guard guard(handlerLock);
  if (currentHandler)
    return currentHandler;
  return [](const emul::FileDialogRequest&) { return emul::FileDialogAnswer::Cancel(); };
}

std::string Text(LPCSTR text) {
  return text ? std::string(text) : std::string();
}

std::string BoundedText(LPCSTR text, DWORD capacity) {
  if (!text)
    return std::string();
  size_t length = 0;
  while (length < capacity && text[length])
    ++length;
  return std::string(text, length);
}

// The filter list: pairs of zero-ended strings, ended by an empty string.
std::vector<std::pair<std::string, std::string>> Filters(LPCSTR list) {
  std::vector<std::pair<std::string, std::string>> filters;
  while (list && *list) {
    std::string text = list;
    list += text.size() + 1;
    std::string pattern = list;
    list += pattern.size() + 1;
    filters.emplace_back(text, pattern);
    if (pattern.empty())
      break;
  }
  return filters;
}

bool IsAbsolute(const std::string& name) {
  return (name.size() >= 2 && name[1] == ':') ||
         (!name.empty() && (name[0] == '\\' || name[0] == '/'));
}

// The full Windows form of `name`, taken in `directory` when it is relative.
bool FullPath(const std::string& name, const std::string& directory, std::string& full) {
  std::string path = name;
  if (!IsAbsolute(name) && !directory.empty())
    path = directory + (directory.back() == '\\' || directory.back() == '/' ? "" : "\\") + name;
  emul::ResolvedPath resolved;
  DWORD error = 0;
  if (!emul::ResolvePath(path.c_str(), resolved, error))
    return false;
  full = resolved.windows.empty() ? emul::ToWindowsPath(resolved.host) : resolved.windows;
  return true;
}

size_t NameStart(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? 0 : slash + 1;
}

// Offset of the extension (after its dot) within `path`, or npos when the name has none.
size_t ExtensionStart(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < NameStart(path) || dot + 1 == path.size())
    return std::string::npos;
  return dot + 1;
}

bool IsFile(const std::string& windowsPath) {
  struct stat st;
  std::string host = emul::ToHostPath(windowsPath.c_str());
  return !host.empty() && stat(host.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsDirectory(const std::string& windowsPath) {
  struct stat st;
  std::string host = emul::ToHostPath(windowsPath.c_str());
  return !host.empty() && stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string DirectoryOf(const std::string& path) {
  size_t start = NameStart(path);
  if (start == 0)
    return std::string();
  std::string directory = path.substr(0, start);
  // A drive's root keeps its backslash; any other directory loses it.
  bool driveRoot = directory.size() == 3 && directory[1] == ':';
  if (directory.size() > 1 && !driveRoot)
    directory.pop_back();
  return directory;
}

BOOL ShowFileDialog(LPOPENFILENAMEA dialog, emul::FileDialogKind kind) {
  lastDialogError = 0;
  if (!dialog || (dialog->lStructSize != OPENFILENAME_SIZE_VERSION_400A &&
                  dialog->lStructSize != sizeof(OPENFILENAMEA))) {
    lastDialogError = CDERR_STRUCTSIZE;
    return FALSE;
  }
  if (!dialog->lpstrFile || dialog->nMaxFile == 0) {
    lastDialogError = CDERR_INITIALIZATION;
    return FALSE;
  }

  emul::FileDialogRequest request{kind,
                                  dialog,
                                  dialog->hwndOwner,
                                  Text(dialog->lpstrTitle),
                                  Filters(dialog->lpstrFilter),
                                  dialog->nFilterIndex,
                                  BoundedText(dialog->lpstrFile, dialog->nMaxFile),
                                  Text(dialog->lpstrInitialDir),
                                  Text(dialog->lpstrDefExt),
                                  dialog->Flags,
                                  {}};
  emul::FileDialogHandler handler = Handler();
  const bool mustExist = dialog->Flags & OFN_FILEMUSTEXIST;
  const bool pathMustExist = mustExist || (dialog->Flags & OFN_PATHMUSTEXIST);

  for (;;) {
    emul::FileDialogAnswer answer = handler(request);
    if (answer.outcome == emul::FileDialogAnswer::Outcome::Cancelled)
      return FALSE;
    if (answer.outcome == emul::FileDialogAnswer::Outcome::Failed) {
      lastDialogError = CDERR_DIALOGFAILURE;
      return FALSE;
    }

    std::string full;
    if (answer.name.empty() || !FullPath(answer.name, request.initialDirectory, full)) {
      request.problem = answer.name + "\nPath does not exist.\nCheck the path and try again.";
      continue;
    }
    bool extensionDifferent = false;
    if (!request.defaultExtension.empty()) {
      size_t extension = ExtensionStart(full);
      if (extension == std::string::npos) {
        if (kind == emul::FileDialogKind::Save || !IsFile(full))
          full += (full.back() == '.' ? "" : ".") + request.defaultExtension;
      } else {
        extensionDifferent =
            lstrcmpiA(full.c_str() + extension, request.defaultExtension.c_str()) != 0;
      }
    }
    if (pathMustExist && !IsDirectory(DirectoryOf(full))) {
      request.problem = full + "\nPath does not exist.\nCheck the path and try again.";
      continue;
    }
    if (mustExist && !IsFile(full)) {
      request.problem = full + "\nFile not found.\nCheck the file name and try again.";
      continue;
    }

    if (full.size() + 1 > dialog->nMaxFile) {
      // Windows puts the size it needs into the buffer's first two bytes.
      if (dialog->nMaxFile >= 2) {
        WORD needed = static_cast<WORD>(full.size() + 1);
        std::memcpy(dialog->lpstrFile, &needed, sizeof needed);
      }
      lastDialogError = FNERR_BUFFERTOOSMALL;
      return FALSE;
    }
    std::memcpy(dialog->lpstrFile, full.c_str(), full.size() + 1);
    size_t nameStart = NameStart(full);
    size_t extension = ExtensionStart(full);
    dialog->nFileOffset = static_cast<WORD>(nameStart);
    dialog->nFileExtension =
        static_cast<WORD>(extension == std::string::npos ? full.size() : extension);
    if (dialog->lpstrFileTitle && dialog->nMaxFileTitle > 0)
      lstrcpynA(dialog->lpstrFileTitle, full.c_str() + nameStart,
                static_cast<int>(dialog->nMaxFileTitle));
    dialog->Flags = (dialog->Flags & ~static_cast<DWORD>(OFN_EXTENSIONDIFFERENT | OFN_READONLY)) |
                    (extensionDifferent ? OFN_EXTENSIONDIFFERENT : 0);

    if (kind == emul::FileDialogKind::Open || !(dialog->Flags & OFN_NOCHANGEDIR)) {
      DWORD error = GetLastError();
      SetCurrentDirectoryA(DirectoryOf(full).c_str());
      SetLastError(error);
    }
    return TRUE;
  }
}

} // namespace

namespace emul {

void SetFileDialogHandler(FileDialogHandler handler) {
  std::lock_guard guard(handlerLock);
  currentHandler = std::move(handler);
}

} // namespace emul

extern "C" BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA dialog) {
  return ShowFileDialog(dialog, emul::FileDialogKind::Open);
}

extern "C" BOOL WINAPI GetSaveFileNameA(LPOPENFILENAMEA dialog) {
  return ShowFileDialog(dialog, emul::FileDialogKind::Save);
}

extern "C" DWORD WINAPI CommDlgExtendedError(void) {
  return lastDialogError;
}
