// A host linked with ZA32.DLL's import library: the loader resolves every function
// before this program starts. It then starts and closes the engine on a window of its
// own. Exit code 0 when all went well.
#include "engine/za32.h"

#include <cstdio>

namespace {
// Taking every function's address puts all of them in the import table, so the loader
// must resolve each of them before the program starts.
const void* const kEveryFunction[] = {reinterpret_cast<const void*>(&AudioDLLWndProc),
                                      reinterpret_cast<const void*>(&AudioInit),
                                      reinterpret_cast<const void*>(&AudioTerm),
                                      reinterpret_cast<const void*>(&StartAudition),
                                      reinterpret_cast<const void*>(&StopAudition),
                                      reinterpret_cast<const void*>(&StartTest),
                                      reinterpret_cast<const void*>(&PassPointer),
                                      reinterpret_cast<const void*>(&ReadFileContents),
                                      reinterpret_cast<const void*>(&WriteFileContents),
                                      reinterpret_cast<const void*>(&GetSongFileName),
                                      reinterpret_cast<const void*>(&GetSaveSongFileName),
                                      reinterpret_cast<const void*>(&InitialiseKeyMap),
                                      reinterpret_cast<const void*>(&UpdateKey),
                                      reinterpret_cast<const void*>(&GetSampleNumber),
                                      reinterpret_cast<const void*>(&AllNotesOff),
                                      reinterpret_cast<const void*>(&FindCD),
                                      reinterpret_cast<const void*>(&GetDirectory),
                                      reinterpret_cast<const void*>(&SetDirectory),
                                      reinterpret_cast<const void*>(&GetFileList)};
} // namespace

int main() {
  if (!GetModuleHandleA("ZA32.DLL")) {
    std::printf("ZA32.DLL is not loaded\n");
    return 1;
  }
  for (const void* function : kEveryFunction)
    if (!function)
      return 1;
  HWND host = CreateWindowExA(0, "STATIC", "linked host", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  HWND engine = AudioInit(GetModuleHandleA(nullptr), host);
  if (!engine) {
    std::printf("AudioInit failed\n");
    return 2;
  }
  if (SendMessageA(engine, WM_GETTEXTLENGTH, 0, 0) != 4) {
    std::printf("the engine window does not answer through AudioDLLWndProc\n");
    return 3;
  }
  LONG closed = AudioTerm(0);
  DestroyWindow(host);
  std::printf("linked host: ZA32.DLL resolved, engine started and closed\n");
  return closed == 0 ? 0 : 4;
}
