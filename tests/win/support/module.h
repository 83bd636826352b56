// ZA32.DLL as a host sees it: loaded at run time by its file name, its functions found
// by name (and by ordinal, to compare), and the engine's globals found through the
// module's own symbol table so that scenarios can look at what the engine did.
#pragma once

#include "engine/state.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

// The export table a host relies on.
struct ExportEntry {
  const char* name;
  WORD ordinal;
};
extern const ExportEntry kEngineExports[19];
// The sized variants for hosts that tell their buffer's capacity.
extern const ExportEntry kSizedExports[2];

// The engine's functions; a function the module does not export is null.
struct Za32Functions {
  decltype(&::AudioDLLWndProc) AudioDLLWndProc;
  decltype(&::AudioInit) AudioInit;
  decltype(&::AudioTerm) AudioTerm;
  decltype(&::StartAudition) StartAudition;
  decltype(&::StopAudition) StopAudition;
  decltype(&::StartTest) StartTest;
  decltype(&::PassPointer) PassPointer;
  decltype(&::ReadFileContents) ReadFileContents;
  decltype(&::WriteFileContents) WriteFileContents;
  decltype(&::GetSongFileName) GetSongFileName;
  decltype(&::GetSaveSongFileName) GetSaveSongFileName;
  decltype(&::InitialiseKeyMap) InitialiseKeyMap;
  decltype(&::UpdateKey) UpdateKey;
  decltype(&::GetSampleNumber) GetSampleNumber;
  decltype(&::AllNotesOff) AllNotesOff;
  decltype(&::FindCD) FindCD;
  decltype(&::GetDirectory) GetDirectory;
  decltype(&::SetDirectory) SetDirectory;
  decltype(&::GetFileList) GetFileList;
};

// The engine's global state inside the loaded module (see engine/state.h).
struct Za32Globals {
  KeyRecord* KeyMap;
  VoiceRecord* VoiceTable;
  SampleRecord* SampleList;
  HWND* EngineWindow;
  HWND* HostWindow;
  HINSTANCE* Instance;
  IDirectSound** SoundDevice;
  int32_t* BendValue;
  SampleRecord** AuditionSample;
  LPVOID* SongBuffer;
};

class Za32Module {
public:
  // Loads "ZA32.DLL" once per process; a load failure fails the test that asks.
  static Za32Module& Get();

  HMODULE handle() const { return module_; }
  std::string path() const;
  FARPROC ByName(const char* name) const;
  FARPROC ByOrdinal(WORD ordinal) const;
  // Of the names given, those the module does not export.
  std::vector<std::string> Missing(std::initializer_list<const char*> names) const;
  const Za32Functions& functions() const { return functions_; }
  // Null members for globals the symbol table does not name.
  const Za32Globals& globals() const { return globals_; }
  // Address in the loaded module of a symbol of its table (decorated name), or null.
  void* Symbol(const std::string& name) const;
  // The module name its export directory carries.
  std::string ExportedModuleName() const;

private:
  Za32Module();
  void ReadSymbolTable();

  HMODULE module_ = nullptr;
  Za32Functions functions_{};
  Za32Globals globals_{};
  std::map<std::string, DWORD> symbols_; // name -> relative virtual address
};

inline const Za32Functions& Za32() {
  return Za32Module::Get().functions();
}
inline const Za32Globals& Engine() {
  return Za32Module::Get().globals();
}

std::string JoinNames(const std::vector<std::string>& names);

// Skips the test when the module lacks one of the named exports: the part of the
// engine that the scenario drives is not in this build yet.
#define ZA32_REQUIRE_EXPORTS(...)                                                                  \
  do {                                                                                             \
    auto missing_ = Za32Module::Get().Missing({__VA_ARGS__});                                      \
    if (!missing_.empty())                                                                         \
      GTEST_SKIP() << "not exported by this build of ZA32.DLL: " << JoinNames(missing_);           \
  } while (0)
