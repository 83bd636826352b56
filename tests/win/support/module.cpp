#include "module.h"

#include <cstring>
#include <fstream>
#include <iterator>

const ExportEntry kEngineExports[19] = {{"AudioDLLWndProc", 2},
                                        {"AudioInit", 3},
                                        {"AudioTerm", 4},
                                        {"StartAudition", 5},
                                        {"StopAudition", 6},
                                        {"StartTest", 7},
                                        {"PassPointer", 8},
                                        {"ReadFileContents", 9},
                                        {"WriteFileContents", 10},
                                        {"GetSongFileName", 11},
                                        {"GetSaveSongFileName", 12},
                                        {"InitialiseKeyMap", 13},
                                        {"UpdateKey", 14},
                                        {"GetSampleNumber", 15},
                                        {"AllNotesOff", 16},
                                        {"FindCD", 17},
                                        {"GetDirectory", 18},
                                        {"SetDirectory", 19},
                                        {"GetFileList", 20}};

const ExportEntry kSizedExports[2] = {{"ReadFileContentsEx", 24}, {"GetFileListEx", 25}};

std::string JoinNames(const std::vector<std::string>& names) {
  std::string joined;
  for (const auto& name : names)
    joined += (joined.empty() ? "" : ", ") + name;
  return joined;
}

Za32Module& Za32Module::Get() {
  static Za32Module module;
  return module;
}

Za32Module::Za32Module() {
  module_ = LoadLibraryA("ZA32.DLL");
  if (!module_) {
    ADD_FAILURE() << "LoadLibraryA(\"ZA32.DLL\") failed, error " << GetLastError();
    return;
  }
  auto& f = functions_;
// Through void (*)(void), the type that converts to every function type.
#define ZA32_FIND(name)                                                                            \
  f.name = reinterpret_cast<decltype(f.name)>(reinterpret_cast<void (*)()>(ByName(#name)))
  ZA32_FIND(AudioDLLWndProc);
  ZA32_FIND(AudioInit);
  ZA32_FIND(AudioTerm);
  ZA32_FIND(StartAudition);
  ZA32_FIND(StopAudition);
  ZA32_FIND(StartTest);
  ZA32_FIND(PassPointer);
  ZA32_FIND(ReadFileContents);
  ZA32_FIND(WriteFileContents);
  ZA32_FIND(GetSongFileName);
  ZA32_FIND(GetSaveSongFileName);
  ZA32_FIND(InitialiseKeyMap);
  ZA32_FIND(UpdateKey);
  ZA32_FIND(GetSampleNumber);
  ZA32_FIND(AllNotesOff);
  ZA32_FIND(FindCD);
  ZA32_FIND(GetDirectory);
  ZA32_FIND(SetDirectory);
  ZA32_FIND(GetFileList);
#undef ZA32_FIND

  ReadSymbolTable();
  auto& g = globals_;
  g.KeyMap = static_cast<KeyRecord*>(Symbol("_KeyMap"));
  g.VoiceTable = static_cast<VoiceRecord*>(Symbol("_VoiceTable"));
  g.SampleList = static_cast<SampleRecord*>(Symbol("_SampleList"));
  g.EngineWindow = static_cast<HWND*>(Symbol("_EngineWindow"));
  g.HostWindow = static_cast<HWND*>(Symbol("_HostWindow"));
  g.Instance = static_cast<HINSTANCE*>(Symbol("_Instance"));
  g.SoundDevice = static_cast<IDirectSound**>(Symbol("_SoundDevice"));
  g.BendValue = static_cast<int32_t*>(Symbol("_BendValue"));
  g.AuditionSample = static_cast<SampleRecord**>(Symbol("_AuditionSample"));
  g.SongBuffer = static_cast<LPVOID*>(Symbol("_SongBuffer"));
}

std::string Za32Module::path() const {
  char buffer[MAX_PATH] = "";
  if (module_)
    GetModuleFileNameA(module_, buffer, sizeof buffer);
  return buffer;
}

FARPROC Za32Module::ByName(const char* name) const {
  return module_ ? GetProcAddress(module_, name) : nullptr;
}

FARPROC Za32Module::ByOrdinal(WORD ordinal) const {
  return module_ ? GetProcAddress(module_, MAKEINTRESOURCEA(ordinal)) : nullptr;
}

std::vector<std::string> Za32Module::Missing(std::initializer_list<const char*> names) const {
  std::vector<std::string> missing;
  for (const char* name : names)
    if (!ByName(name))
      missing.push_back(name);
  return missing;
}

void* Za32Module::Symbol(const std::string& name) const {
  auto found = symbols_.find(name);
  if (!module_ || found == symbols_.end())
    return nullptr;
  return reinterpret_cast<BYTE*>(module_) + found->second;
}

std::string Za32Module::ExportedModuleName() const {
  if (!module_)
    return "";
  auto* base = reinterpret_cast<const BYTE*>(module_);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (dir.VirtualAddress == 0)
    return "";
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  return reinterpret_cast<const char*>(base + exports->Name);
}

// The linker leaves the COFF symbol table in the file (values relative to their
// section); the loaded image has the same section layout.
void Za32Module::ReadSymbolTable() {
  std::ifstream file(path(), std::ios::binary);
  std::vector<char> image{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  auto at = [&](size_t offset, size_t size) { return offset + size <= image.size(); };
  if (!at(0, sizeof(IMAGE_DOS_HEADER)))
    return;
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  if (!at(dos->e_lfanew, sizeof(IMAGE_NT_HEADERS32)))
    return;
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + dos->e_lfanew);
  const IMAGE_FILE_HEADER& header = nt->FileHeader;
  size_t sectionsAt =
      dos->e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + header.SizeOfOptionalHeader;
  if (!at(sectionsAt, header.NumberOfSections * sizeof(IMAGE_SECTION_HEADER)))
    return;
  auto* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(image.data() + sectionsAt);
  size_t symbolsAt = header.PointerToSymbolTable;
  size_t count = header.NumberOfSymbols;
  if (symbolsAt == 0 || !at(symbolsAt, count * IMAGE_SIZEOF_SYMBOL + 4))
    return;
  size_t stringsAt = symbolsAt + count * IMAGE_SIZEOF_SYMBOL;
  for (size_t i = 0; i < count; ++i) {
    IMAGE_SYMBOL symbol;
    std::memcpy(&symbol, image.data() + symbolsAt + i * IMAGE_SIZEOF_SYMBOL, IMAGE_SIZEOF_SYMBOL);
    size_t auxiliary = symbol.NumberOfAuxSymbols;
    if (symbol.StorageClass == IMAGE_SYM_CLASS_EXTERNAL && symbol.SectionNumber > 0 &&
        symbol.SectionNumber <= header.NumberOfSections) {
      std::string name;
      if (symbol.N.Name.Short != 0) {
        name.assign(reinterpret_cast<const char*>(symbol.N.ShortName),
                    strnlen(reinterpret_cast<const char*>(symbol.N.ShortName), 8));
      } else if (stringsAt + symbol.N.Name.Long < image.size()) {
        const char* text = image.data() + stringsAt + symbol.N.Name.Long;
        name.assign(text, strnlen(text, image.size() - (stringsAt + symbol.N.Name.Long)));
      }
      symbols_[name] = sections[symbol.SectionNumber - 1].VirtualAddress + symbol.Value;
    }
    i += auxiliary;
  }
}
